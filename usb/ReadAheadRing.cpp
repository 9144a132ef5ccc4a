#include "usb/ReadAheadRing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace usb {

namespace {

// How long one wait for USB events lasts before the reader looks at the ring again.
constexpr int kEventWaitUs = 100'000;
// A caller asking for more than this still gets transfers of this size: the ring's
// memory stays small whatever a caller asks.
constexpr uint32_t kLargestTransfer = 64 * 1024;

} // namespace

ReadAheadRing::ReadAheadRing(libusb_context* context, libusb_device_handle* handle,
                             uint8_t endpoint, uint32_t packetSize, uint32_t count)
    : context_(context), handle_(handle), endpoint_(endpoint),
      packetSize_(std::clamp<uint32_t>(packetSize, 8, kLargestTransfer)),
      count_(std::max<uint32_t>(count, 1)) {}

ReadAheadRing::~ReadAheadRing() {
    std::unique_lock lock(mutex_);
    cancelled_ = true;
    for (const auto& slot : slots_)
        if (slot->state == State::Flying)
            libusb_cancel_transfer(slot->transfer);
    // A transfer libusb still holds would complete into freed memory.
    while (anyFlying())
        waitForEvents(lock);
    for (const auto& slot : slots_)
        libusb_free_transfer(slot->transfer);
}

void LIBUSB_CALL ReadAheadRing::transferDone(libusb_transfer* transfer) {
    auto* slot = static_cast<Slot*>(transfer->user_data);
    std::lock_guard lock(slot->ring->mutex_);
    slot->state = State::Done;
    slot->ring->woken_ = 1;
}

bool ReadAheadRing::anyFlying() const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [](const auto& slot) { return slot->state == State::Flying; });
}

void ReadAheadRing::waitForEvents(std::unique_lock<std::mutex>& lock) {
    woken_ = 0;
    lock.unlock();
    timeval wait{0, kEventWaitUs};
    if (libusb_handle_events_timeout_completed(context_, &wait, &woken_) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    lock.lock();
}

IoStatus ReadAheadRing::refill() {
    for (uint32_t k = 0; k < count_; ++k) {
        if (gone_)
            return IoStatus::Gone;
        Slot& slot = *slots_[(head_ + k) % count_];
        if (slot.state != State::Idle)
            continue;
        libusb_fill_bulk_transfer(slot.transfer, handle_, endpoint_, slot.buffer.data(),
                                  static_cast<int>(slot.buffer.size()), transferDone, &slot, 0);
        const int r = libusb_submit_transfer(slot.transfer);
        if (r == LIBUSB_ERROR_NO_DEVICE)
            gone_ = true;
        if (r != 0)
            return gone_ ? IoStatus::Gone : IoStatus::Failed;
        slot.state = State::Flying;
    }
    return IoStatus::Ok;
}

IoResult ReadAheadRing::takeHead(uint8_t* dest, uint32_t length) {
    Slot& slot = *slots_[head_];
    const libusb_transfer& transfer = *slot.transfer;
    IoResult result{IoStatus::Failed, 0};
    if (transfer.status == LIBUSB_TRANSFER_COMPLETED) {
        const auto actual = static_cast<uint32_t>(
            std::clamp(transfer.actual_length, 0, static_cast<int>(slot.buffer.size())));
        result = {IoStatus::Ok, std::min(length, actual - slot.handedOut)};
        std::memcpy(dest, slot.buffer.data() + slot.handedOut, result.bytes);
        slot.handedOut += result.bytes;
        if (slot.handedOut < actual)
            return result;
    } else if (transfer.status == LIBUSB_TRANSFER_NO_DEVICE) {
        gone_ = true;
        result.status = IoStatus::Gone;
    }
    // The slot is spent: it goes back to the end of the queue.
    slot.state = State::Idle;
    slot.handedOut = 0;
    head_ = (head_ + 1) % count_;
    refill(); // a refusal shows when the read reaches the slot that was not queued
    return result;
}

IoResult ReadAheadRing::read(uint8_t* dest, uint32_t length) {
    // Asking the device for nothing is not a USB transfer.
    if (length == 0)
        return {IoStatus::Ok, 0};
    std::unique_lock lock(mutex_);
    if (slots_.empty()) {
        const uint32_t wanted = std::min(length, kLargestTransfer);
        const uint32_t size = (wanted + packetSize_ - 1) / packetSize_ * packetSize_;
        for (uint32_t i = 0; i < count_; ++i) {
            auto slot = std::make_unique<Slot>();
            slot->ring = this;
            slot->transfer = libusb_alloc_transfer(0);
            if (!slot->transfer) {
                for (const auto& made : slots_)
                    libusb_free_transfer(made->transfer);
                slots_.clear();
                return {IoStatus::Failed, 0};
            }
            slot->buffer.resize(size);
            slots_.push_back(std::move(slot));
        }
    }
    for (;;) {
        if (cancelled_)
            return {IoStatus::Cancelled, 0};
        if (stale_) {
            if (anyFlying()) {
                waitForEvents(lock);
                continue;
            }
            for (const auto& slot : slots_) {
                slot->state = State::Idle;
                slot->handedOut = 0;
            }
            head_ = 0;
            stale_ = false;
        }
        Slot& head = *slots_[head_];
        if (head.state == State::Done)
            return takeHead(dest, length);
        if (head.state == State::Idle) {
            const IoStatus status = refill();
            if (head.state == State::Idle)
                return {status == IoStatus::Ok ? IoStatus::Failed : status, 0};
        }
        waitForEvents(lock);
    }
}

void ReadAheadRing::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        for (const auto& slot : slots_)
            if (slot->state == State::Flying)
                libusb_cancel_transfer(slot->transfer);
    }
    // A reader waiting for events (its own or another thread's handling) looks again now.
    libusb_interrupt_event_handler(context_);
}

void ReadAheadRing::rearm() {
    std::lock_guard lock(mutex_);
    // Callers also rearm after an exchange that ended well: nothing is dropped then.
    if (cancelled_)
        stale_ = !slots_.empty();
    cancelled_ = false;
}

} // namespace usb
