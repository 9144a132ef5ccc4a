#include "sim/Ch341aDevice.h"

#include "sim/I2cStreamEngine.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <vector>

namespace sim {
namespace {

uint8_t reverseBits(uint8_t value) {
    value = static_cast<uint8_t>((value & 0xF0) >> 4 | (value & 0x0F) << 4);
    value = static_cast<uint8_t>((value & 0xCC) >> 2 | (value & 0x33) << 2);
    return static_cast<uint8_t>((value & 0xAA) >> 1 | (value & 0x55) << 1);
}

} // namespace

struct Ch341aDevice::State {
    struct Packet {
        std::vector<uint8_t> bytes;
        uint64_t readyAt = 0;
    };

    explicit State(Ch341aOptions options) : options(options), random(options.seed) {}

    const Ch341aOptions options;
    mutable std::mutex mutex;
    std::condition_variable changed;
    VirtualClock clock;
    SpiSlave* chip = nullptr;
    I2cSlave* i2c = nullptr;
    MicrowireSlave* wire = nullptr;
    I2cStreamEngine i2cEngine{false, 20}; // 20 kHz until set
    uint64_t skEdges = 0;
    std::deque<Packet> answers;
    uint64_t lastTakenReadyAt = 0;
    uint64_t spiBytes = 0;
    uint8_t pins = 0xFF; // D0 high: chip deselected
    bool stalled = false;
    bool gone = false;
    std::mt19937_64 random;

    bool reached(const std::optional<uint64_t>& mark) const { return mark && spiBytes >= *mark; }

    // Counts a byte on the bus; false once a fault has stopped the device.
    bool busByte() {
        if (reached(options.unplugAfterSpiBytes))
            gone = true;
        if (reached(options.stallAfterSpiBytes))
            stalled = true;
        if (gone || stalled)
            return false;
        ++spiBytes;
        return true;
    }

    uint8_t noise(uint8_t value) {
        if (reached(options.noisyAfterSpiBytes) && random() % 64 == 0)
            value ^= static_cast<uint8_t>(1u << (random() % 8));
        return value;
    }

    bool setPins(uint8_t value) {
        if (wire) {
            const uint8_t was = pins;
            pins = value;
            wire->setSelect(pins & 1);
            if (!(was & 0x08) && (pins & 0x08)) {
                if (++skEdges % 8 == 0 && !busByte())
                    return false;
                wire->risingEdge(pins & 0x20);
            }
            return true;
        }
        const bool wasSelected = (pins & 1) == 0;
        pins = value;
        const bool selected = (pins & 1) == 0;
        if (chip && selected != wasSelected) {
            if (selected)
                chip->select();
            else
                chip->deselect();
        }
        return true;
    }

    uint8_t readPins() {
        if (options.misoHeldLow)
            return static_cast<uint8_t>(pins & 0x7F);
        if (!wire)
            return static_cast<uint8_t>(pins | 0x80);
        const bool out = wire->dataOut();
        return static_cast<uint8_t>((pins & 0x7F) | (noise(out ? 0x80 : 0) & 0x80));
    }

    bool runI2c(const uint8_t* packet, uint32_t length) {
        Packet answer;
        const I2cStreamEngine::Hooks hooks{[this] { return busByte(); },
                                           [this](uint8_t value) { return noise(value); }};
        if (!i2cEngine.run(packet, length, i2c, clock, hooks, &answer.bytes))
            return false;
        if (!answer.bytes.empty()) {
            answer.readyAt = clock.now();
            answers.push_back(std::move(answer));
        }
        return true;
    }

    uint8_t clockByte(uint8_t wire) {
        clock.advance(options.spiByteNs);
        ++spiBytes;
        const bool selected = (pins & 1) == 0;
        if (options.misoHeldLow)
            return 0;
        uint8_t miso = chip && selected ? chip->exchange(reverseBits(wire)) : kFloatingMiso;
        if (reached(options.noisyAfterSpiBytes) && random() % 64 == 0)
            miso ^= static_cast<uint8_t>(1u << (random() % 8));
        return reverseBits(miso);
    }

    // One 32-byte packet; false when a fault stopped the device part-way.
    bool runPacket(const uint8_t* packet, uint32_t length) {
        if (length == 0)
            return true;
        if (packet[0] == 0xA8) {
            Packet answer;
            for (uint32_t i = 1; i < length; ++i) {
                if (reached(options.unplugAfterSpiBytes))
                    gone = true;
                if (reached(options.stallAfterSpiBytes))
                    stalled = true;
                if (gone || stalled)
                    return false;
                answer.bytes.push_back(clockByte(packet[i]));
            }
            answer.readyAt = clock.now();
            answers.push_back(std::move(answer));
        } else if (packet[0] == 0xAA) {
            return runI2c(packet, length);
        } else if (packet[0] == 0xAB) {
            if (wire)
                clock.advance(kPinPacketNs);
            Packet answer;
            for (uint32_t i = 1; i < length; ++i) {
                const uint8_t op = packet[i];
                if (op == 0x20)
                    break;
                if ((op & 0xC0) == 0x80) {
                    if (!setPins(static_cast<uint8_t>((pins & 0xC0) | (op & 0x3F))))
                        return false;
                } else if ((op & 0xC0) == 0xC0) {
                    clock.advance(uint64_t{op & 0x3Fu} * 1000);
                } else if (op == 0x00) {
                    answer.bytes.push_back(readPins());
                }
            }
            if (!answer.bytes.empty()) {
                answer.readyAt = clock.now();
                answers.push_back(std::move(answer));
            }
        }
        return true;
    }
};

Ch341aDevice::Ch341aDevice(Ch341aOptions options) : state_(std::make_unique<State>(options)) {}

Ch341aDevice::~Ch341aDevice() = default;

const VirtualClock& Ch341aDevice::clock() const {
    return state_->clock;
}

void Ch341aDevice::attachChip(SpiSlave* chip) {
    std::lock_guard lock(state_->mutex);
    state_->chip = chip;
}

void Ch341aDevice::attachI2c(I2cSlave* chip) {
    std::lock_guard lock(state_->mutex);
    state_->i2c = chip;
}

void Ch341aDevice::attachMicrowire(MicrowireSlave* chip) {
    std::lock_guard lock(state_->mutex);
    state_->wire = chip;
}

TransferResult Ch341aDevice::hostOut(const uint8_t* data, uint32_t length,
                                     Clock::time_point waitUntil, const StillWanted& stillWanted) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.gone)
        return {TransferStatus::Gone, 0, {}};
    if (s.stalled || (stillWanted && !stillWanted())) {
        s.changed.wait_until(lock, std::min(waitUntil, kNever - std::chrono::hours(1)));
        return {s.gone ? TransferStatus::Gone : TransferStatus::NotYet, 0, kNever};
    }
    // A host that had taken every answer was waiting for them: one round trip passes.
    if (s.answers.empty())
        s.clock.advanceTo(s.lastTakenReadyAt + s.options.roundTripNs);
    for (uint32_t at = 0; at < length; at += kPacketSize)
        if (!s.runPacket(data + at, std::min(kPacketSize, length - at)))
            break;
    s.changed.notify_all();
    if (s.gone)
        return {TransferStatus::Gone, 0, {}};
    // A stall part-way: the transfer never completes.
    if (s.stalled)
        return {TransferStatus::NotYet, 0, kNever};
    return {TransferStatus::Done, length, {}};
}

TransferResult Ch341aDevice::hostIn(uint8_t* dest, uint32_t maxLength, Clock::time_point waitUntil,
                                    const StillWanted& stillWanted) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    const auto deliverable = [&s] { return s.gone || (!s.stalled && !s.answers.empty()); };
    if (!deliverable())
        s.changed.wait_until(lock, std::min(waitUntil, kNever - std::chrono::hours(1)),
                             deliverable);
    if (s.gone)
        return {TransferStatus::Gone, 0, {}};
    if (!deliverable() || (stillWanted && !stillWanted()))
        return {TransferStatus::NotYet, 0, s.stalled ? kNever : Clock::time_point{}};
    State::Packet& packet = s.answers.front();
    // Each packet is shorter than the endpoint's 32 bytes, so it ends the transfer; one
    // that does not fit the request is an overflow.
    if (packet.bytes.size() > maxLength)
        return {TransferStatus::Refused, 0, {}};
    std::copy(packet.bytes.begin(), packet.bytes.end(), dest);
    const auto length = static_cast<uint32_t>(packet.bytes.size());
    s.lastTakenReadyAt = packet.readyAt;
    s.answers.pop_front();
    return {TransferStatus::Done, length, {}};
}

void Ch341aDevice::wakeWaiters() {
    std::lock_guard lock(state_->mutex);
    state_->changed.notify_all();
}

bool Ch341aDevice::isGone() const {
    std::lock_guard lock(state_->mutex);
    return state_->gone;
}

std::optional<std::vector<uint8_t>> Ch341aDevice::vendorRead(uint8_t request, uint16_t length) {
    if (request != kVersionRequest || isGone())
        return std::nullopt;
    return std::vector<uint8_t>(kVersion, kVersion + std::min<uint16_t>(length, 2));
}

void Ch341aDevice::unplug() {
    std::lock_guard lock(state_->mutex);
    state_->gone = true;
    state_->changed.notify_all();
}

uint64_t Ch341aDevice::time() const {
    std::lock_guard lock(state_->mutex);
    return std::max(state_->clock.now(), state_->lastTakenReadyAt);
}

uint64_t Ch341aDevice::spiBytes() const {
    std::lock_guard lock(state_->mutex);
    return state_->spiBytes;
}

bool Ch341aDevice::chipSelected() const {
    std::lock_guard lock(state_->mutex);
    return (state_->pins & 1) == 0;
}

} // namespace sim
