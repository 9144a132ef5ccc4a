// The record of one direction's transfer on one link, and the worker that moves its
// chunks. Each UsbLink owns one record per direction, so a process may run transfers
// on several links at once; on one link at most one read and one write run at a time.
//
// Threads: start, poll, wait and abandon are called by the thread that drives the link
// (the window's thread, or one CLI thread per programmer). The worker shares only the
// atomics below and the caller's buffer and count with it.
#pragma once

#include "usb/DeviceBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace usb {

constexpr uint32_t kChunkBytes = 4096;
constexpr uint32_t kReadIdleMs = 2000;
// A write during which the device takes no byte for this long has stalled. Progress is
// measured in bytes, not chunks: a byte-mode EEPROM taking a few milliseconds per byte
// keeps moving and is never cut off.
constexpr uint32_t kWriteIdleMs = 3000;
// The blocking forms look at their deadlines at least this often.
constexpr uint32_t kPollIntervalMs = 5;
// Pause before a failed write call is tried again.
constexpr uint32_t kWriteRetryPauseMs = 2;

// Milliseconds of a monotonic clock; 64 bits, so the deadlines never wrap.
uint64_t tickMs();

enum class Direction { Read, Write };

struct TransferState {
    explicit TransferState(Direction direction) : direction(direction) {}
    ~TransferState(); // stops a worker still running
    TransferState(const TransferState&) = delete;
    TransferState& operator=(const TransferState&) = delete;

    const Direction direction;

    // Driving thread's side: start, poll and abandon run under this lock.
    std::mutex control;
    std::thread worker;
    std::shared_ptr<PipeChannel> handle;
    std::atomic<uint32_t> spareCount{0}; // stands in for a caller that passed no count

    // Shared with the worker. `done` is published last (release), so a poller that
    // sees it set (acquire) sees the final `result` and count.
    std::atomic<uint32_t>* countOut = nullptr;
    std::atomic<int> result{0};
    std::atomic<int> done{0};
    std::atomic<uint64_t> deadline{0};
    std::atomic<uint64_t> idleDeadline{0}; // moved on by every chunk read, every byte written
    std::atomic<bool> abandoned{false};
    std::atomic<bool> timedOut{false}; // the poll stopped it at a deadline
    // When this direction last moved a byte or ended a transfer (0: never).
    std::atomic<uint64_t> lastActivityMs{0};
    // Called on the worker with the time whenever a write moves bytes; set by the owner
    // before the first transfer and left alone afterwards.
    std::function<void(uint64_t)> onWriteActivity;

    // Lets a blocking wait end as soon as the worker has finished.
    std::mutex wakeLock;
    std::condition_variable wake;
};

// 0 without a pipe (nothing changes); else stops the direction's previous worker if
// it still runs, fills the record and starts the worker.
int startTransfer(TransferState& state, std::shared_ptr<PipeChannel> pipe, uint8_t* buffer,
                  uint32_t length, std::atomic<uint32_t>* count, uint32_t timeoutMs);
// 1 when over, with the result in *result; 0 while running. A passed deadline stops
// the worker before this returns.
int pollTransfer(TransferState& state, int* result);
// Start, then wait until over; the result (0 failed).
int runTransfer(TransferState& state, std::shared_ptr<PipeChannel> pipe, uint8_t* buffer,
                uint32_t length, std::atomic<uint32_t>* count, uint32_t timeoutMs);
// Waits until the direction's transfer is over, at most `maxMs`; 1 when it is over (or
// none was started), 0 when the time passed first. Does not poll: the deadlines are
// the poll's to check.
int waitTransfer(TransferState& state, uint32_t maxMs);
// Stops a running transfer at once, as a passed deadline does: its poll then reports
// result 0. Nothing happens when none runs.
void abandonTransfer(TransferState& state);

} // namespace usb
