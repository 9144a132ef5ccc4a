#include "sim/SpiEepromChip.h"

namespace sim {

SpiEepromChip::SpiEepromChip(SpiEepromConfig config, const VirtualClock& clock)
    : config_(std::move(config)), clock_(clock), memory_(config_.capacity, 0xFF) {}

uint32_t SpiEepromChip::highAddressBit(uint8_t opcode) const {
    // Only the one-address-byte parts above 256 bytes carry A8 in the opcode.
    return config_.addressBytes == 1 && config_.capacity > 256 && (opcode & 0x08) ? 0x100 : 0;
}

void SpiEepromChip::select() {
    selected_ = true;
    ignored_ = false;
    bytes_ = 0;
    address_ = 0;
    writes_.clear();
}

uint8_t SpiEepromChip::exchange(uint8_t mosi) {
    if (!selected_)
        return kFloatingMiso;
    const size_t position = bytes_++;
    if (position == 0) {
        opcode_ = mosi;
        ignored_ = busy() && mosi != 0x05;
        return kFloatingMiso;
    }
    if (ignored_ || config_.capacity == 0)
        return kFloatingMiso;
    const uint8_t base = config_.addressBytes == 1 ? (opcode_ & ~0x08) : opcode_;
    if (opcode_ == 0x05)
        return status();
    if (opcode_ == 0x01) {
        if (position == 1)
            newStatus_ = mosi;
        return kFloatingMiso;
    }
    if (base != 0x03 && base != 0x02)
        return kFloatingMiso;
    if (position <= config_.addressBytes) {
        address_ = (address_ << 8) | mosi;
        if (position == config_.addressBytes)
            address_ = (address_ | highAddressBit(opcode_)) % config_.capacity;
        return kFloatingMiso;
    }
    const uint32_t offset = static_cast<uint32_t>(position - 1 - config_.addressBytes);
    if (base == 0x03)
        return memory_[(address_ + offset) % config_.capacity];
    // Inside the page: the address counter's low bits wrap.
    const uint32_t page = address_ / config_.pageSize * config_.pageSize;
    if (writes_.size() < 4 * config_.pageSize)
        writes_.emplace_back(page + (address_ + offset) % config_.pageSize, mosi);
    return kFloatingMiso;
}

void SpiEepromChip::deselect() {
    if (!selected_ || ignored_ || bytes_ == 0) {
        selected_ = false;
        return;
    }
    selected_ = false;
    const bool enabled = (status_ & 0x02) != 0;
    const uint8_t base = config_.addressBytes == 1 ? (opcode_ & ~0x08) : opcode_;
    if (opcode_ == 0x06 && bytes_ == 1) {
        status_ |= 0x02;
    } else if (opcode_ == 0x04 && bytes_ == 1) {
        status_ &= ~0x02;
    } else if (opcode_ == 0x01 && bytes_ == 2 && enabled) {
        status_ = static_cast<uint8_t>((newStatus_ & 0x8C) | (status_ & 0x03)) & ~0x02;
        busyUntil_ = clock_.now() + config_.writeCycleNs;
    } else if (base == 0x02 && enabled && !writes_.empty()) {
        status_ &= ~0x02;
        const unsigned bp = (status_ >> 2) & 3;
        const uint32_t protectedFrom =
            bp == 0 ? config_.capacity : config_.capacity - (config_.capacity >> (3 - bp));
        bool wrote = false;
        for (const auto& [address, value] : writes_)
            if (address < protectedFrom) {
                memory_[address] = value;
                wrote = true;
            }
        if (wrote)
            busyUntil_ = clock_.now() + config_.writeCycleNs;
    }
}

} // namespace sim
