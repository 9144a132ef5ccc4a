#include "usb/TransferState.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace usb {

uint64_t tickMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

void finish(TransferState& state, int result) {
    state.result.store(result, std::memory_order_relaxed);
    state.lastActivityMs.store(tickMs());
    state.done.store(1, std::memory_order_release);
    std::lock_guard lock(state.wakeLock);
    state.wake.notify_all();
}

// A read ends at its first short chunk, at a chunk below the full size, or at a failed
// call; a length that is a multiple of the chunk size ends with a call for 0 bytes.
void readerMain(TransferState& state, std::shared_ptr<PipeChannel> pipe, uint8_t* cursor,
                uint32_t remaining, std::atomic<uint32_t>* count) {
    count->store(0);
    int result = 0;
    for (;;) {
        if (state.abandoned.load())
            return;
        uint32_t chunk = std::min(remaining, kChunkBytes);
        remaining -= chunk;
        state.idleDeadline.store(tickMs() + kReadIdleMs);
        IoResult call = pipe->read(cursor, chunk);
        if (call.status == IoStatus::Cancelled)
            return;
        result = call.status == IoStatus::Ok ? 1 : 0;
        if (!result)
            break;
        uint32_t moved = std::min(call.bytes, chunk);
        cursor += moved;
        count->fetch_add(moved);
        state.lastActivityMs.store(tickMs());
        if (moved != chunk || chunk != kChunkBytes)
            break;
    }
    finish(state, result);
}

// A failed write call is tried again after a short pause until a deadline; a device
// that is gone ends the write at once. Every byte the device takes, even inside a
// chunk, counts as progress and moves the idle deadline on.
void writerMain(TransferState& state, std::shared_ptr<PipeChannel> pipe, const uint8_t* cursor,
                uint32_t remaining, std::atomic<uint32_t>* count) {
    count->store(0);
    uint32_t sent = 0;
    const PipeChannel::WriteProgress progress = [&](uint32_t taken) {
        count->store(sent + taken);
        const uint64_t now = tickMs();
        state.idleDeadline.store(now + kWriteIdleMs);
        state.lastActivityMs.store(now);
        if (state.onWriteActivity)
            state.onWriteActivity(now);
    };
    for (;;) {
        uint32_t chunk = std::min(remaining, kChunkBytes);
        remaining -= chunk;
        IoResult call;
        for (;;) {
            if (state.abandoned.load())
                return;
            call = pipe->write(cursor, chunk, progress);
            if (call.status == IoStatus::Ok)
                break;
            if (call.status == IoStatus::Cancelled)
                return;
            if (call.status == IoStatus::Gone) {
                finish(state, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kWriteRetryPauseMs));
        }
        uint32_t moved = std::min(call.bytes, chunk);
        cursor += moved;
        sent += moved;
        progress(0);
        if (moved != chunk || chunk != kChunkBytes)
            break;
    }
    finish(state, 1);
}

// Stops a running worker (its blocked call is cancelled) and joins it, so that it
// touches neither the record nor the caller's memory afterwards. Called under `control`.
void abandon(TransferState& state) {
    state.abandoned.store(true);
    if (state.handle)
        state.handle->cancel();
    state.worker.join();
    state.handle.reset();
    if (!state.done.load(std::memory_order_acquire)) {
        state.result.store(0);
        state.lastActivityMs.store(tickMs());
        state.done.store(1, std::memory_order_release);
    }
}

// Clears the way for a new transfer. Called under `control`.
void retire(TransferState& state) {
    if (!state.worker.joinable())
        return;
    if (state.done.load(std::memory_order_acquire)) {
        state.worker.join();
        state.handle.reset();
    } else {
        abandon(state);
    }
}

} // namespace

TransferState::~TransferState() {
    if (worker.joinable())
        abandon(*this);
}

int startTransfer(TransferState& state, std::shared_ptr<PipeChannel> pipe, uint8_t* buffer,
                  uint32_t length, std::atomic<uint32_t>* count, uint32_t timeoutMs) {
    std::lock_guard lock(state.control);
    if (!pipe || (!buffer && length > 0))
        return 0;
    retire(state);
    pipe->rearm();
    state.handle = pipe;
    state.countOut = count ? count : &state.spareCount;
    state.result.store(0);
    state.done.store(0);
    state.abandoned.store(false);
    state.timedOut.store(false);
    uint64_t now = tickMs();
    state.deadline.store(now + timeoutMs);
    state.idleDeadline.store(now +
                             (state.direction == Direction::Read ? kReadIdleMs : kWriteIdleMs));
    try {
        if (state.direction == Direction::Read)
            state.worker = std::thread(readerMain, std::ref(state), std::move(pipe), buffer, length,
                                       state.countOut);
        else
            state.worker = std::thread(writerMain, std::ref(state), std::move(pipe),
                                       static_cast<const uint8_t*>(buffer), length, state.countOut);
    } catch (const std::system_error&) {
        state.handle.reset();
        state.done.store(1);
        return 0;
    }
    return 1;
}

int pollTransfer(TransferState& state, int* result) {
    std::lock_guard lock(state.control);
    if (state.worker.joinable()) {
        if (state.done.load(std::memory_order_acquire)) {
            state.worker.join();
            state.handle.reset();
        } else {
            uint64_t now = tickMs();
            if (now <= state.deadline.load() && now <= state.idleDeadline.load())
                return 0;
            state.timedOut.store(true);
            abandon(state);
        }
    }
    if (result)
        *result = state.result.load();
    return 1;
}

int runTransfer(TransferState& state, std::shared_ptr<PipeChannel> pipe, uint8_t* buffer,
                uint32_t length, std::atomic<uint32_t>* count, uint32_t timeoutMs) {
    if (!startTransfer(state, std::move(pipe), buffer, length, count, timeoutMs))
        return 0;
    for (;;) {
        int result = 0;
        if (pollTransfer(state, &result))
            return result;
        waitTransfer(state, kPollIntervalMs);
    }
}

int waitTransfer(TransferState& state, uint32_t maxMs) {
    {
        std::lock_guard lock(state.control);
        if (!state.worker.joinable())
            return 1;
    }
    std::unique_lock lock(state.wakeLock);
    return state.wake.wait_for(lock, std::chrono::milliseconds(maxMs),
                               [&] { return state.done.load(std::memory_order_acquire) != 0; })
               ? 1
               : 0;
}

void abandonTransfer(TransferState& state) {
    std::lock_guard lock(state.control);
    if (state.worker.joinable() && !state.done.load(std::memory_order_acquire))
        abandon(state);
}

} // namespace usb
