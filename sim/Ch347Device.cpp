#include "sim/Ch347Device.h"

#include "sim/I2cStreamEngine.h"
#include "usb/SimWire.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <vector>

namespace sim {
namespace {

constexpr uint8_t kConfigure = 0xC0;
constexpr uint8_t kChipSelect = 0xC1;
constexpr uint8_t kRead = 0xC3;
constexpr uint8_t kWrite = 0xC4;
constexpr uint8_t kFunctionSwitch = 0xE2;
constexpr uint8_t kI2cStream = 0xAA;
constexpr uint32_t kPacket = 512;
constexpr uint32_t kMaxData = Ch347Device::kMaxFrame - 3;

} // namespace

const Ch347Identity& ch347Identity(Ch347Variant variant) {
    static const Ch347Identity t{"CH347T", simwire::kCh347SocketPrefix};
    static const Ch347Identity f{"CH347F", simwire::kCh347fSocketPrefix};
    return variant == Ch347Variant::F ? f : t;
}

struct Ch347Device::State {
    struct Frame {
        std::vector<uint8_t> bytes;
        uint64_t readyAt = 0;
    };

    explicit State(Ch347Options options) : options(options), random(options.seed) {}

    const Ch347Options options;
    mutable std::mutex mutex;
    std::condition_variable changed;
    VirtualClock clock;
    SpiSlave* chip = nullptr;
    I2cSlave* i2c = nullptr;
    I2cStreamEngine i2cEngine{true, 100}; // 100 kHz until set
    std::deque<Frame> answers;
    std::vector<uint8_t> pending; // OUT bytes of a frame not yet complete
    uint64_t lastTakenReadyAt = 0;
    uint64_t spiBytes = 0;
    uint32_t clockHz = 15'000'000;
    uint32_t configurations = 0;
    bool selected = false;
    bool i2cPinsOn = options.variant == Ch347Variant::T;
    bool betweenTransactions = true;
    int waitingReads = 0; // IN transfers the host keeps pending
    uint64_t roundTrips = 0;
    bool stalled = false;
    bool gone = false;
    std::mt19937_64 random;

    bool reached(const std::optional<uint64_t>& mark) const { return mark && spiBytes >= *mark; }
    uint64_t byteNs() const { return 8'000'000'000 / clockHz; }

    void usbFrame(size_t bytes) {
        clock.advance(options.frameOverheadNs + bytes * options.usbByteNs);
    }

    void answer(std::vector<uint8_t> bytes) {
        usbFrame(bytes.size());
        answers.push_back({std::move(bytes), clock.now()});
    }

    // Counts a byte on the bus (SPI or I2C); false once a fault has stopped the bridge.
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

    // One SPI byte; false when a fault stops the bridge here.
    bool clockByte(uint8_t mosi, uint8_t* miso) {
        if (!busByte())
            return false;
        clock.advance(byteNs());
        if (options.misoHeldLow) { // the clip touches no chip: it gets nothing
            *miso = 0;
            return true;
        }
        *miso = noise(chip && selected ? chip->exchange(mosi) : kFloatingMiso);
        return true;
    }

    void setSelected(bool select) {
        if (chip && select != selected)
            select ? chip->select() : chip->deselect();
        selected = select;
    }

    // One whole frame; false when a fault stopped the bridge part-way.
    bool runFrame(const uint8_t* f, uint32_t length) {
        usbFrame(3 + length);
        const uint8_t* payload = f + 3;
        // A host that had taken every answer waited for them before this transaction.
        if (betweenTransactions && answers.empty() && waitingReads == 0 && f[0] != kConfigure) {
            clock.advanceTo(lastTakenReadyAt + options.roundTripNs);
            ++roundTrips;
        }
        betweenTransactions = f[0] == kChipSelect && length >= 1 && payload[0] == 0xC0;
        switch (f[0]) {
        case kConfigure:
            if (length >= 13) {
                clockHz = kBaseClockHz >> ((payload[12] >> 3) & 7);
                ++configurations;
            }
            answer({kConfigure, 1, 0, 0});
            break;
        case kFunctionSwitch:
            if (options.variant == Ch347Variant::F)
                i2cPinsOn = length >= 4 && payload[2] == 0x81 && payload[3] == 0x81;
            answer({kFunctionSwitch, 1, 0, 0});
            break;
        case kChipSelect:
            if (length >= 1 && (payload[0] == 0x80 || payload[0] == 0xC0))
                setSelected(payload[0] == 0x80);
            break;
        case kWrite: {
            uint8_t miso = 0;
            for (uint32_t i = 0; i < length; ++i)
                if (!clockByte(payload[i], &miso))
                    return false;
            answer({kWrite, 1, 0, 0});
            break;
        }
        case kRead: {
            if (length < 4)
                break;
            uint32_t count = uint32_t{payload[0]} | uint32_t{payload[1]} << 8 |
                             uint32_t{payload[2]} << 16 | uint32_t{payload[3]} << 24;
            while (count > 0) {
                const uint32_t n = std::min(count, kMaxData);
                std::vector<uint8_t> bytes{kRead, static_cast<uint8_t>(n),
                                           static_cast<uint8_t>(n >> 8)};
                bytes.resize(3 + n);
                for (uint32_t i = 0; i < n; ++i)
                    if (!clockByte(0xFF, &bytes[3 + i]))
                        return false;
                answer(std::move(bytes));
                count -= n;
            }
            break;
        }
        default:
            break;
        }
        return true;
    }

    // One packet of the I2C stream; its answers go up as one IN transfer.
    bool runI2c(const uint8_t* packet, uint32_t length) {
        usbFrame(length);
        Frame answer;
        const I2cStreamEngine::Hooks hooks{[this] { return busByte(); },
                                           [this](uint8_t value) { return noise(value); }};
        // Pins not switched to I2C: the stream runs, but no chip sees it.
        if (!i2cEngine.run(packet, length, i2cPinsOn ? i2c : nullptr, clock, hooks, &answer.bytes))
            return false;
        if (!answer.bytes.empty()) {
            usbFrame(answer.bytes.size());
            answer.readyAt = clock.now();
            answers.push_back(std::move(answer));
        }
        return true;
    }

    // One OUT transfer: 512-byte packets that start with AA outside a frame are I2C
    // stream packets, everything else goes to the frame stream.
    bool runTransfer(const uint8_t* data, uint32_t length) {
        bool waited = false;
        for (uint32_t at = 0; at < length; at += kPacket) {
            const uint32_t n = std::min(kPacket, length - at);
            if (!pending.empty() || data[at] != kI2cStream) {
                if (!runStream(data + at, n))
                    return false;
                continue;
            }
            // A host that had taken every answer waited for them before this exchange.
            if (!waited && answers.empty() && waitingReads == 0) {
                clock.advanceTo(lastTakenReadyAt + options.roundTripNs);
                ++roundTrips;
            }
            waited = true;
            if (!runI2c(data + at, n))
                return false;
        }
        return true;
    }

    bool runStream(const uint8_t* data, uint32_t length) {
        pending.insert(pending.end(), data, data + length);
        size_t head = 0;
        bool running = true;
        while (running && pending.size() - head >= 3) {
            const uint8_t* f = pending.data() + head;
            const uint32_t frameLength = f[1] | uint32_t{f[2]} << 8;
            if (frameLength > kMaxData) {
                head = pending.size();
                break;
            }
            if (pending.size() - head < 3 + frameLength)
                break;
            running = runFrame(f, frameLength);
            head += 3 + frameLength;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(head));
        return running;
    }
};

Ch347Device::Ch347Device(Ch347Options options) : state_(std::make_unique<State>(options)) {}

Ch347Device::~Ch347Device() = default;

const VirtualClock& Ch347Device::clock() const {
    return state_->clock;
}

void Ch347Device::attachChip(SpiSlave* chip) {
    std::lock_guard lock(state_->mutex);
    state_->chip = chip;
}

void Ch347Device::attachI2c(I2cSlave* chip) {
    std::lock_guard lock(state_->mutex);
    state_->i2c = chip;
}

uint32_t Ch347Device::i2cSpeedKHz() const {
    std::lock_guard lock(state_->mutex);
    return state_->i2cEngine.speedKHz();
}

TransferResult Ch347Device::hostOut(const uint8_t* data, uint32_t length,
                                    Clock::time_point waitUntil, const StillWanted& stillWanted) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.gone)
        return {TransferStatus::Gone, 0, {}};
    if (s.stalled || (stillWanted && !stillWanted())) {
        s.changed.wait_until(lock, std::min(waitUntil, kNever - std::chrono::hours(1)));
        return {s.gone ? TransferStatus::Gone : TransferStatus::NotYet, 0, kNever};
    }
    s.runTransfer(data, length);
    s.changed.notify_all();
    if (s.gone)
        return {TransferStatus::Gone, 0, {}};
    if (s.stalled)
        return {TransferStatus::NotYet, 0, kNever};
    return {TransferStatus::Done, length, {}};
}

TransferResult Ch347Device::hostIn(uint8_t* dest, uint32_t maxLength, Clock::time_point waitUntil,
                                   const StillWanted& stillWanted) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    const auto deliverable = [&s] { return s.gone || (!s.stalled && !s.answers.empty()); };
    if (!deliverable()) {
        ++s.waitingReads;
        s.changed.wait_until(lock, std::min(waitUntil, kNever - std::chrono::hours(1)),
                             deliverable);
        --s.waitingReads;
    }
    if (s.gone)
        return {TransferStatus::Gone, 0, {}};
    if (!deliverable() || (stillWanted && !stillWanted()))
        return {TransferStatus::NotYet, 0, s.stalled ? kNever : Clock::time_point{}};
    State::Frame& frame = s.answers.front();
    if (frame.bytes.size() > maxLength)
        return {TransferStatus::Refused, 0, {}}; // an overflow: the frame ends the transfer
    std::copy(frame.bytes.begin(), frame.bytes.end(), dest);
    const auto length = static_cast<uint32_t>(frame.bytes.size());
    s.lastTakenReadyAt = frame.readyAt;
    s.answers.pop_front();
    return {TransferStatus::Done, length, {}};
}

void Ch347Device::wakeWaiters() {
    std::lock_guard lock(state_->mutex);
    state_->changed.notify_all();
}

bool Ch347Device::isGone() const {
    std::lock_guard lock(state_->mutex);
    return state_->gone;
}

void Ch347Device::unplug() {
    std::lock_guard lock(state_->mutex);
    state_->gone = true;
    state_->changed.notify_all();
}

uint64_t Ch347Device::time() const {
    std::lock_guard lock(state_->mutex);
    return std::max(state_->clock.now(), state_->lastTakenReadyAt);
}

uint64_t Ch347Device::spiBytes() const {
    std::lock_guard lock(state_->mutex);
    return state_->spiBytes;
}

bool Ch347Device::chipSelected() const {
    std::lock_guard lock(state_->mutex);
    return state_->selected;
}

uint32_t Ch347Device::clockHz() const {
    std::lock_guard lock(state_->mutex);
    return state_->clockHz;
}

uint64_t Ch347Device::roundTrips() const {
    std::lock_guard lock(state_->mutex);
    return state_->roundTrips;
}

uint32_t Ch347Device::configurations() const {
    std::lock_guard lock(state_->mutex);
    return state_->configurations;
}

} // namespace sim
