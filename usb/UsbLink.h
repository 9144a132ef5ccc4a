// The device link: finds the programmer among the interfaces its back ends list, opens
// its two bulk pipes and moves blocks of bytes through them on worker threads under
// time limits.
//
// Threads and ownership: one thread drives a link (the window's thread; in a command-
// line front end, one thread per programmer). The link owns its interface list, its
// pipes and one transfer record per direction; the workers it starts touch only those
// and the caller's buffer and count. Links share nothing but their back ends, so
// several can run side by side in one process.
//
// In step: an exchange that failed or was cut off part-way can leave a late answer on
// its way to the host, or the programmer still in a data phase, where a real firmware
// takes the next bytes it receives as chip data until it has had none for
// kDeviceDataIdleMs. A transfer that fails, times out or is abandoned therefore puts
// the link out of step, and bringInStep() must bring it back before the next command.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace usb {
class DataPhaseNote;
class DeviceBackend;
class DeviceInterfaceList;
class InterfaceHandle;
class PipeChannel;
struct TransferState;
} // namespace usb

class UsbLink {
  public:
    // The programmer leaves a write data phase that gets no data for this long.
    static constexpr uint32_t kDeviceDataIdleMs = 2000;
    // Every answer comes within this time of its command; a pipe that has been silent
    // for as long holds no late answer any more.
    static constexpr uint32_t kInStepQuietMs = 1000;
    static constexpr uint32_t kInStepMarginMs = 500;
    // A process that keeps a write data phase going notes the time of the programmer's
    // last byte at least this often, so a note lags the truth by at most this.
    static constexpr uint32_t kNoteRefreshMs = 250;
    // Draining gives up after this long: a 16 MiB data phase drains in about 14 s at the
    // full-speed rate, anything longer is a device that keeps talking.
    static constexpr uint32_t kInStepLimitMs = 30'000;

    // The default back ends: USB devices through libusb, then simulated programmers.
    UsbLink();
    explicit UsbLink(std::vector<std::shared_ptr<usb::DeviceBackend>> backends);
    ~UsbLink(); // abandons running transfers and joins their workers
    UsbLink(const UsbLink&) = delete;
    UsbLink& operator=(const UsbLink&) = delete;

    // The device paths of the present programmers (vendor 0x10C4, product 0x505D) in
    // the order open() tries them.
    std::vector<std::string> listProgrammers();
    // The device paths of the present bridges (CH341A 1a86:5512, CH347T/F 1a86:55db/55de),
    // in listing order.
    std::vector<std::string> listBridges();
    // Every device the program drives: the programmers, then the bridges. Each path's
    // kind and label come from usb::deviceKindOf / usb::deviceKindLabel.
    std::vector<std::string> listDevices();
    // The back end that lists the bridge at `devicePath`, to open it with (the bridge
    // code owns its pipes); null when no bridge with that path is present. Valid while
    // the link lives.
    usb::DeviceBackend* bridgeBackend(const std::string& devicePath);
    // 1 when a programmer was found and its interface opened (a pipe that failed has
    // shown its own box); 0 otherwise. The preferred programmer wins while it is
    // present; otherwise the first one listed.
    int open();
    // The programmer open() tries first (the user's choice among several); "" for none.
    void setPreferredPath(std::string devicePath) { preferredPath_ = std::move(devicePath); }
    const std::string& preferredPath() const { return preferredPath_; }
    // As open(), for the programmer whose device path is `devicePath`; 0 for a bridge's
    // path (nothing of it is opened: bridges are opened through bridgeBackend).
    int openPath(const std::string& devicePath);
    // The device path of the programmer opened last ("" before the first).
    std::string devicePath() const;

    // Started form. The caller keeps `buffer` and `count` alive until the poll reports
    // the transfer over. 0 when the pipe is not open (nothing started, nothing changed).
    int startRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                  uint32_t timeoutMs);
    // 1 when over (`*result` stored: non-zero success), 0 while running.
    int pollRead(int* result);
    // Blocking form: start, then wait until over. Returns the result (0 failed).
    // `stop` ends the wait at once, as a passed deadline does.
    int timedRead(uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                  uint32_t timeoutMs, std::stop_token stop = {});
    // Waits until the running read is over, at most `maxMs`, and returns as soon as it
    // is: 1 over (or nothing running), 0 time passed. pollRead still takes the result.
    int waitReadDone(uint32_t maxMs);

    // Writes also end, failed, when the device takes no byte for usb::kWriteIdleMs.
    int startWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                   uint32_t timeoutMs);
    int pollWrite(int* result);
    int timedWrite(const uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                   uint32_t timeoutMs, std::stop_token stop = {});
    // As waitReadDone, for the running write.
    int waitWriteDone(uint32_t maxMs);

    // Stops the running read and write at once, as a passed deadline does: their polls
    // report failure and the link is out of step.
    void abandonTransfers();

    bool inStep() const { return inStep_; }
    // For failures the link cannot see itself: an answer the protocol refused, a data
    // phase that ended early.
    void markOutOfStep();
    // Whether the programmer may be in a write data phase: from the moment a Write
    // command goes out until its data has all gone. Only then does bringInStep wait
    // out the programmer's data-phase idle limit. Other processes learn it from the
    // programmer's note (usb/DataPhaseNote.h), which the link keeps meanwhile; open()
    // reads it, so a phase another process left open is waited out here too.
    void setWriteDataPending(bool pending);
    // Drains whatever the programmer still sends until the read pipe has been quiet for
    // kInStepQuietMs, and, while write data may be pending, waits until no data has
    // gone out for longer than the programmer's data-phase idle limit. `between` runs between the
    // waits (the window handles its messages there). True when in step (at once when it already
    // was); false when the read pipe is not open or fails, the device keeps sending past
    // kInStepLimitMs, or `stop` was requested: the link then stays out of step.
    bool bringInStep(std::stop_token stop = {}, const std::function<void()>& between = {});

  private:
    int openAt(int index);
    // Notes the write direction's last activity while write data may be pending.
    void noteDataPhase();

    std::unique_ptr<usb::DeviceInterfaceList> interfaces_;
    std::string devicePath_;
    std::string preferredPath_;
    // Null while not open. The workers keep their own reference to the pipe they use,
    // so reopening never pulls a pipe from under one.
    std::shared_ptr<usb::InterfaceHandle> interfaceHandle_;
    std::shared_ptr<usb::PipeChannel> writePipe_; // "PIPE01", host to programmer
    std::shared_ptr<usb::PipeChannel> readPipe_;  // "PIPE00", programmer to host
    std::unique_ptr<usb::TransferState> readTransfer_;
    std::unique_ptr<usb::TransferState> writeTransfer_;
    bool inStep_ = true;
    std::atomic<bool> writeDataPending_{false};
    std::unique_ptr<usb::DataPhaseNote> note_; // of the programmer opened last
    std::mutex noteLock_;                      // the note is also refreshed by the writer
    std::atomic<uint64_t> notedAtMs_{0};
    std::atomic<bool> writingHere_{false}; // the pending phase is this process's own
};
