// The application's side of the conversation with the programmer: command packets and
// their answers, the data phases of chip reads and writes, and the busy state and
// progress that poll() advances.
//
// Threads and ownership: one thread drives a Programmer and the UsbLink it is bound
// to (the window's thread, or a CLI thread per programmer). It owns its 16 MiB
// transfer buffer; the link's workers write into it while a data phase runs. The
// chip-family bytes are the process-wide set for the window's programmer (as the
// window has always had them) or a set of the caller's, one per programmer.
//
// A command is only sent on a link that is in step: an exchange or data phase that
// failed part-way leaves the link out of step, and the next command first brings it
// back (UsbLink::bringInStep), so no stale answer is taken and no command byte
// becomes chip data.
//
// Wire: a command is one write of the whole packet (500 ms); each answer is one
// 64-byte read (1000 ms) whose first byte repeats the opcode. Numbers are big-endian.
//   01 Read chip     01 0A fam addr[4] len[4] addressMode widthMode 00 00  -> 01 01 00
//   02 Write chip    02 0C fam addr[4] len[4] page[2] addressMode widthMode 00 00 -> 02 01 01
//   03 Erase status  03 00 fam  -> 03 01 status   (1 = still erasing)
//   04 Erase chip    04 01 fam  -> 04 xx 01
//   05 Read chip ID  05 00 fam  -> 05 02 manufacturer device
//   07 Firmware ver. 07 00      -> 07 xx text...
#pragma once

#include "chipdb/ChipInfo.h"
#include "protocol/FamilyParams.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <stop_token>

class UsbLink;

enum class BusyState : int { Idle = 0, Reading = 1, Writing = 2, Erasing = 3 };

enum class OpStatus : int { Idle = 0, Reading = 1, Writing = 2, Erasing = 3, Failed = 4 };

class Programmer {
  public:
    // The largest chip image a read or write moves (16 MiB).
    static constexpr uint32_t kMaxChipLength = 0x1000000;
    // A read asks the pipe for 64 bytes more than the chip's length; the buffer has
    // room for them so a 16 MiB read cannot write past it.
    static constexpr uint32_t kReadSlack = 64;
    static constexpr uint32_t kTransferBufferSize = kMaxChipLength + kReadSlack;
    static constexpr uint32_t kCommandTimeoutMs = 500;
    static constexpr uint32_t kAnswerTimeoutMs = 1000;
    static constexpr uint32_t kReadTimeoutMs = 100'000;
    static constexpr uint32_t kWriteTimeoutMs = 1'000'000;
    static constexpr uint32_t kPacketSize = 64;
    // waitResponse gives up after skipping this many packets of other commands, so a
    // device that floods the pipe cannot hold the window's thread for ever.
    static constexpr uint32_t kMaxSkippedPackets = 1024;
    static constexpr uint32_t kVersionTextSize = 100; // 99 characters and the zero

    // Uses the process-wide FamilyParams.
    Programmer();
    // Uses `params`, which must outlive the programmer.
    explicit Programmer(FamilyParams& params);
    ~Programmer();
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;

    // Binds the link and allocates the transfer buffer. Always 1; without the buffer
    // every later chip read and write fails.
    int init(UsbLink* link);
    // Keeps a copy of `chip` and sets this programmer's FamilyParams from it: 1 for a
    // known family, 0 otherwise.
    int prepareFamily(const ChipInfo& chip);
    const FamilyParams& params() const { return params_; }
    // Every later exchange gives up as soon as `stop` is requested (the link is then out
    // of step), instead of waiting out its answer's limit.
    void setStopToken(std::stop_token stop) { stop_ = std::move(stop); }

    // 1 = started; poll() then runs the operation. 0 = refused or failed; state unchanged.
    // A read or write of more than kMaxChipLength bytes is refused before anything is sent.
    int startReadChip(uint8_t* dest, uint32_t address, uint32_t length);
    int startWriteChip(const uint8_t* src, uint32_t address, uint32_t length, uint16_t pageSize);
    int startErase();

    // Single exchanges. 1 = answered (out values set), 0 = failed (out values untouched).
    int queryEraseStatus(int* status);
    int readChipId(uint8_t ids[2]);
    int readFirmwareVersion(char text[kVersionTextSize]);

    // Reads 64-byte packets until one starts with `key` and is at most `maxLength` bytes
    // long; copies it to `answer` (room for min(maxLength, 64) bytes) and its length to
    // `answerLength` (when given). Packets of another command, over-long and empty ones
    // are skipped, each skip restarting the 1000 ms limit. 0 when a read fails or times
    // out, or after kMaxSkippedPackets skips.
    int waitResponse(uint8_t key, uint8_t* answer, uint16_t maxLength,
                     uint16_t* answerLength = nullptr);

    // Advances the running operation; Failed is reported once, then Idle. A read that
    // brings fewer bytes than asked, or a write that sends fewer, has failed: the
    // destination is left as it was.
    OpStatus poll();
    // 0..100, set by poll, kept between operations.
    uint16_t getProgress() const { return progress_; }
    // What getProgress was computed from: bytes moved of bytes asked (an erase counts
    // 0 of 1 while it runs and 1 of 1 once over).
    uint32_t progressDone() const { return progressDone_; }
    uint32_t progressTotal() const { return progressTotal_; }
    // Ends the running operation at once without a result: a data transfer is abandoned
    // (the link is then out of step), an erase is no longer polled. State Idle.
    void cancel();
    // Gives the running operation up to `maxMs` to move on, returning as soon as its
    // data transfer is over; at once when nothing runs. An erase has no transfer to
    // watch: its status is only learnt by polling, so the whole time is waited.
    void waitForChange(uint32_t maxMs);
    // Bytes received so far by the running or latest chip read (the spare ones included).
    uint32_t readCount() const { return readCount_.load(); }

    BusyState state() const { return state_; }
    const ChipInfo& preparedChip() const { return preparedChip_; }

  private:
    // Writes the command and waits for its answer; the answer's length in
    // `answerLength`. 0 when the write or the wait failed.
    int exchange(const uint8_t* command, uint32_t length, uint8_t* answer, uint16_t maxAnswer,
                 uint16_t* answerLength);
    void setProgress(uint32_t count, uint32_t length);
    // `answerMatches`, marking the link out of step when it is false.
    bool accepted(bool answerMatches);

    FamilyParams& params_;
    UsbLink* link_ = nullptr;
    BusyState state_ = BusyState::Idle;
    std::unique_ptr<uint8_t[]> transferBuffer_;
    uint8_t* readDest_ = nullptr;
    uint32_t readLength_ = 0;
    std::atomic<uint32_t> readCount_{0};
    uint32_t writeLength_ = 0;
    std::atomic<uint32_t> writeCount_{0};
    uint16_t progress_ = 0;
    uint32_t progressDone_ = 0;
    uint32_t progressTotal_ = 0;
    ChipInfo preparedChip_{};
    std::stop_token stop_;
};
