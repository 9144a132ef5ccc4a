#include "sim/MicrowireChip.h"

#include <algorithm>
#include <bit>

namespace sim {
namespace {

// Atmel AT93C / Microchip 93LC: 5 ms write, 15 ms erase or write of the whole array.
const MicrowireConfig kParts[] = {
    {"93C46", 128}, {"93C56", 256}, {"93C66", 512}, {"93C76", 1024}, {"93C86", 2048},
};

} // namespace

std::optional<MicrowireConfig> findMicrowire(const std::string& name) {
    for (const MicrowireConfig& c : kParts)
        if (c.name == name)
            return c;
    return std::nullopt;
}

std::vector<std::string> microwireNames() {
    std::vector<std::string> names;
    for (const MicrowireConfig& c : kParts)
        names.push_back(c.name);
    return names;
}

uint32_t microwireAddressBits(uint32_t capacity, uint32_t width) {
    // The x8 address of a part is odd-length: the 93C56 and 93C76 carry one unused bit.
    uint32_t x8 = static_cast<uint32_t>(std::bit_width(std::max<uint32_t>(capacity, 2) - 1));
    x8 |= 1;
    return width == 16 ? x8 - 1 : x8;
}

MicrowireChip::MicrowireChip(MicrowireConfig config, uint32_t width, const VirtualClock& clock)
    : config_(std::move(config)), width_(width == 8 ? 8 : 16),
      addressBits_(microwireAddressBits(config_.capacity, width_)), clock_(clock),
      memory_(config_.capacity, 0xFF) {}

uint32_t MicrowireChip::cell(uint32_t index) const {
    if (width_ == 8)
        return memory_[index];
    return uint32_t{memory_[2 * index]} << 8 | memory_[2 * index + 1];
}

void MicrowireChip::setCell(uint32_t index, uint32_t value) {
    if (width_ == 8) {
        memory_[index] = static_cast<uint8_t>(value);
        return;
    }
    memory_[2 * index] = static_cast<uint8_t>(value >> 8);
    memory_[2 * index + 1] = static_cast<uint8_t>(value);
}

void MicrowireChip::setSelect(bool high) {
    if (high == selected_)
        return;
    selected_ = high;
    if (!high && pending_ != Pending::None && !busy()) {
        const uint32_t mask = (1u << width_) - 1;
        switch (pending_) {
        case Pending::Write:
            setCell(pendingCell_, data_ & mask);
            break;
        case Pending::Erase:
            setCell(pendingCell_, mask);
            break;
        case Pending::EraseAll:
            std::fill(memory_.begin(), memory_.end(), 0xFF);
            break;
        case Pending::WriteAll:
            for (uint32_t i = 0; i < cells(); ++i)
                setCell(i, data_ & mask);
            break;
        case Pending::None:
            break;
        }
        const bool whole = pending_ == Pending::EraseAll || pending_ == Pending::WriteAll;
        busyUntil_ = clock_.now() + (whole ? config_.eraseAllNs : config_.writeCycleNs);
    }
    pending_ = Pending::None;
    phase_ = Phase::WaitStart;
    bits_ = shift_ = data_ = dataBits_ = 0;
    out_ = true;
}

void MicrowireChip::instructionComplete() {
    const uint32_t opcode = shift_ >> addressBits_;
    const uint32_t address = shift_ & ((1u << addressBits_) - 1);
    const uint32_t index = address % cells();
    const uint32_t sub = address >> (addressBits_ - 2); // the two bits after 00
    phase_ = Phase::Done;
    if (opcode == 2) { // READ: a dummy 0, then the data
        readCell_ = index;
        readBit_ = 0;
        out_ = false;
        phase_ = Phase::Reading;
    } else if (opcode == 1) {
        pendingCell_ = index;
        phase_ = Phase::Data;
    } else if (opcode == 3) {
        if (writeEnabled_) {
            pending_ = Pending::Erase;
            pendingCell_ = index;
        }
    } else if (sub == 3) {
        writeEnabled_ = true;
    } else if (sub == 0) {
        writeEnabled_ = false;
    } else if (sub == 2) {
        if (writeEnabled_)
            pending_ = Pending::EraseAll;
    } else {
        phase_ = Phase::Data; // WRAL
        pendingCell_ = ~0u;
    }
}

void MicrowireChip::risingEdge(bool di) {
    if (!selected_ || busy())
        return;
    switch (phase_) {
    case Phase::WaitStart:
        if (di) {
            phase_ = Phase::Instruction;
            out_ = true;
        }
        break;
    case Phase::Instruction:
        shift_ = shift_ << 1 | (di ? 1 : 0);
        if (++bits_ == 2 + addressBits_)
            instructionComplete();
        break;
    case Phase::Data:
        data_ = data_ << 1 | (di ? 1 : 0);
        if (++dataBits_ == width_) {
            if (writeEnabled_)
                pending_ = pendingCell_ == ~0u ? Pending::WriteAll : Pending::Write;
            phase_ = Phase::Done;
        }
        break;
    case Phase::Reading:
        out_ = (cell(readCell_) >> (width_ - 1 - readBit_)) & 1;
        if (++readBit_ == width_) {
            readBit_ = 0;
            readCell_ = (readCell_ + 1) % cells();
        }
        break;
    case Phase::Done:
        break;
    }
}

bool MicrowireChip::dataOut() const {
    if (!selected_)
        return true; // DO floats, the pull-up wins
    if (phase_ == Phase::WaitStart)
        return !busy();
    return out_;
}

} // namespace sim
