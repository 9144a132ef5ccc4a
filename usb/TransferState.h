// The record of the one transfer of each direction that may run in the process, and
// the worker that moves its chunks.
#pragma once

#include "usb/DeviceBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class UsbLink;

namespace usb {

constexpr uint32_t kChunkBytes = 4096;
constexpr uint32_t kReadIdleMs = 2000;
// The blocking forms look at their deadlines at least this often.
constexpr uint32_t kPollIntervalMs = 5;
// Pause before a failed write call is tried again.
constexpr uint32_t kWriteRetryPauseMs = 2;

// Milliseconds of a monotonic clock; 64 bits, so the deadlines never wrap.
uint64_t tickMs();

enum class Direction { Read, Write };

struct TransferState {
    explicit TransferState(Direction direction) : direction(direction) {}
    ~TransferState(); // stops a worker still running at process exit

    const Direction direction;

    // Window's side: start, poll and abandon run under this lock.
    std::mutex control;
    std::thread worker;
    const UsbLink* owner = nullptr;
    std::shared_ptr<PipeChannel> handle;
    std::atomic<uint32_t> spareCount{0}; // stands in for a caller that passed no count

    // Shared with the worker. `done` is published last (release), so a poller that
    // sees it set (acquire) sees the final `result` and count.
    std::atomic<uint32_t>* countOut = nullptr;
    std::atomic<int> result{0};
    std::atomic<int> done{0};
    std::atomic<uint64_t> deadline{0};
    std::atomic<uint64_t> idleDeadline{0}; // read direction only
    std::atomic<bool> abandoned{false};

    // Lets a blocking wait end as soon as the worker has finished.
    std::mutex wakeLock;
    std::condition_variable wake;
};

// The two process-wide records.
TransferState& readTransfer();
TransferState& writeTransfer();

// 0 without a pipe (nothing changes); else stops the direction's previous worker if
// it still runs, fills the record and starts the worker.
int startTransfer(TransferState& state, const UsbLink* owner, std::shared_ptr<PipeChannel> pipe,
                  uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count,
                  uint32_t timeoutMs);
// 1 when over, with the result in *result; 0 while running. A passed deadline stops
// the worker before this returns.
int pollTransfer(TransferState& state, int* result);
// Start, then wait until over; the result (0 failed).
int runTransfer(TransferState& state, const UsbLink* owner, std::shared_ptr<PipeChannel> pipe,
                uint8_t* buffer, uint32_t length, std::atomic<uint32_t>* count, uint32_t timeoutMs);
// Waits until the direction's transfer is over, at most `maxMs`; 1 when it is over (or
// none was started), 0 when the time passed first. Does not poll: the deadlines are
// the poll's to check.
int waitTransfer(TransferState& state, uint32_t maxMs);
// Stops and joins a worker that `owner` started and that still runs.
void stopTransfersOf(TransferState& state, const UsbLink* owner);

} // namespace usb
