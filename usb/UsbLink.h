// The device link: finds the programmer, opens its two bulk pipes and moves
// blocks of bytes through them on worker threads under time limits.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace usb {
class InterfaceHandle;
class PipeChannel;
} // namespace usb

class UsbLink {
  public:
    UsbLink();
    ~UsbLink(); // abandons running transfers and joins their workers
    UsbLink(const UsbLink&) = delete;
    UsbLink& operator=(const UsbLink&) = delete;

    // 1 when a programmer (vendor 0x10C4, product 0x505D) was found and its interface
    // opened (a pipe that failed has shown its own box); 0 otherwise.
    int open();

    // Started form. The caller keeps `buffer` and `count` alive until the poll reports
    // the transfer over. 0 when the pipe is not open (nothing started, nothing changed).
    int startRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                  uint32_t timeoutMs);
    // 1 when over (`*result` stored: non-zero success), 0 while running.
    int pollRead(int* result);
    // Blocking form: start, then wait until over. Returns the result (0 failed).
    int timedRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                  uint32_t timeoutMs);

    // Waits until the running read is over, at most `maxMs`, and returns as soon as it
    // is: 1 over (or nothing running), 0 time passed. pollRead still takes the result.
    int waitReadDone(uint32_t maxMs);

    int startWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                   uint32_t timeoutMs);
    int pollWrite(int* result);
    int timedWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                   uint32_t timeoutMs);
    // As waitReadDone, for the running write.
    int waitWriteDone(uint32_t maxMs);

  private:
    // Null while not open. The workers of the process-wide transfer records keep their
    // own reference to the pipe they use, so reopening never pulls a pipe from under one.
    std::shared_ptr<usb::InterfaceHandle> interfaceHandle_;
    std::shared_ptr<usb::PipeChannel> writePipe_; // "PIPE01", host to programmer
    std::shared_ptr<usb::PipeChannel> readPipe_;  // "PIPE00", programmer to host
};
