#include "sim/ProgrammerFirmware.h"

#include "sim/ChipImageFile.h"
#include "sim/ChipModel.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <random>

namespace sim {
namespace {

constexpr size_t kCommandLogLimit = 1000;
constexpr uint32_t kMaxPacket = 64;
// A write data phase that gets no data for this long is given up, so that a host that
// abandoned a write can talk to the firmware again.
constexpr auto kWritePhaseIdleLimit = std::chrono::milliseconds(2000);
// A write data phase that has had no data for this long has paused (or been abandoned):
// what it programmed so far is written back.
constexpr auto kWriteDataPause = std::chrono::milliseconds(100);

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t bigEndian16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// What the fault generator decided for one command's answer.
struct AnswerFaults {
    bool drop = false;
    bool corrupt = false;
    bool stray = false;
    bool overlong = false;
    bool late = false;
};

} // namespace

struct ProgrammerFirmware::State {
    struct Packet {
        std::vector<uint8_t> bytes;
        Clock::time_point readyAt;
        bool isAnswer = false;
    };
    enum class Phase { Command, ReadData, WriteData };

    explicit State(const ChipInfo* chip, FirmwareOptions options)
        : options(std::move(options)), chip(chip) {
        if (this->options.versionText.size() > kMaxVersionText) {
            this->options.versionText.resize(kMaxVersionText);
        }
        resetLocked();
    }

    std::mutex mutex;
    std::condition_variable changed;

    FirmwareOptions options;
    ChipModel chip;
    std::string imagePath;
    std::string imageError;
    bool imageDirty = false;

    std::mt19937_64 random;
    std::deque<Packet> outgoing;
    std::deque<std::vector<uint8_t>> commandLog;
    std::deque<TransferRecord> transferLog;
    Phase phase = Phase::Command;
    uint8_t phaseFamily = 0;
    uint32_t phaseAddress = 0;
    uint64_t phaseLength = 0;
    uint64_t phaseDone = 0;
    uint32_t phasePageSize = 1;
    Clock::time_point phaseStart;
    Clock::time_point lastWriteData;
    Clock::time_point eraseEnd;
    uint32_t commands = 0;
    uint64_t dataBytesIn = 0;
    uint64_t dataBytesOut = 0;
    uint32_t answersSent = 0;
    bool stalled = false;
    bool gone = false;

    void resetLocked() {
        random.seed(options.faults.seed);
        outgoing.clear();
        commandLog.clear();
        transferLog.clear();
        phase = Phase::Command;
        phaseLength = phaseDone = 0;
        eraseEnd = {};
        commands = 0;
        dataBytesIn = dataBytesOut = 0;
        answersSent = 0;
        stalled = false;
        gone = false;
    }

    uint64_t dataBytes() const { return dataBytesIn + dataBytesOut; }

    bool crossesStall(uint64_t more) const {
        const auto& mark = options.faults.stallAfterDataBytes;
        return mark && more > 0 && dataBytes() + more > *mark;
    }

    bool crossesDisconnect(uint64_t more) const {
        const auto& mark = options.faults.disconnectAfterDataBytes;
        return mark && more > 0 && dataBytes() + more > *mark;
    }

    void addReadNoise(uint8_t* dest, uint64_t n) const {
        const auto& mark = options.faults.noisyReadAfterDataBytes;
        for (uint64_t i = 0; mark && i < n; ++i) {
            if (dataBytes() + i >= *mark) {
                dest[i] ^= 0x01;
            }
        }
    }

    // When the first `bytes` bytes of the running data phase are due. Scheduling by the
    // total since the phase began keeps the rate exact over long transfers.
    Clock::time_point dueTime(uint64_t bytes) const {
        auto due = phaseStart;
        const uint32_t rate = options.pacing.bytesPerSecond;
        if (rate != 0) {
            due += std::chrono::nanoseconds(bytes * 1'000'000'000ull / rate);
        }
        if (phase == Phase::WriteData && options.pacing.pageProgramUs != 0) {
            due += std::chrono::microseconds(uint64_t{options.pacing.pageProgramUs} *
                                             (bytes / phasePageSize));
        }
        return due;
    }

    // How many of the next `take` bytes of the write data phase are due by `now`.
    uint64_t dueBy(Clock::time_point now, uint64_t take) const {
        uint64_t low = 0;
        uint64_t high = take;
        while (low < high) {
            const uint64_t middle = (low + high + 1) / 2;
            if (dueTime(phaseDone + middle) <= now) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        return low;
    }

    // Programs the next `count` bytes of the write data phase.
    void takeWriteData(const uint8_t* data, uint64_t count, Clock::time_point now) {
        chip.program(phaseFamily, uint64_t{phaseAddress} + phaseDone, data,
                     static_cast<size_t>(count));
        phaseDone += count;
        dataBytesIn += count;
        lastWriteData = now;
        // The bytes are in the chip even if the rest never comes; they are written back
        // when the phase ends or pauses (saveSettledImage).
        if (chip.answers(phaseFamily)) {
            imageDirty = true;
        }
        if (phaseDone == phaseLength) {
            phase = Phase::Command;
            if (chip.answers(phaseFamily)) {
                chipChangedLocked();
            }
        }
        changed.notify_all();
    }

    void logTransfer(bool in, uint32_t length) {
        transferLog.push_back({in, length});
        if (transferLog.size() > kCommandLogLimit) {
            transferLog.pop_front();
        }
    }

    void unplugLocked() {
        gone = true;
        outgoing.clear();
        phase = Phase::Command;
        changed.notify_all();
    }

    // The checks every pass of a transfer starts with; a result ends the transfer.
    // Asking `stillWanted` under the lock means nothing moves for a cancelled transfer.
    std::optional<TransferResult> passEnds(bool refused, const StillWanted& stillWanted,
                                           Clock::time_point now) const {
        if (gone)
            return TransferResult{TransferStatus::Gone, 0, {}};
        if (refused)
            return TransferResult{TransferStatus::Refused, 0, {}};
        if (stillWanted && !stillWanted())
            return TransferResult{TransferStatus::NotYet, 0, now};
        return std::nullopt;
    }

    // What the data-byte faults make of the next `more` bytes of a data phase.
    enum class DataFault { None, Unplugged, Stalled };
    DataFault applyDataFaults(uint64_t more) {
        if (crossesDisconnect(more)) {
            unplugLocked();
            return DataFault::Unplugged;
        }
        if (crossesStall(more)) {
            stalled = true;
            changed.notify_all();
            return DataFault::Stalled;
        }
        return DataFault::None;
    }

    bool fires(const FaultRule& rule, double draw) const {
        return (rule.atCommand != 0 && rule.atCommand == commands) ||
               (rule.probability > 0.0 && draw < rule.probability);
    }

    AnswerFaults drawAnswerFaults() {
        // Always draw the same amount per command, so that one seed gives one sequence
        // whatever faults are switched on.
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        double draws[5];
        for (double& d : draws) {
            d = uniform(random);
        }
        const Faults& f = options.faults;
        return {fires(f.dropAnswer, draws[0]), fires(f.corruptAnswer, draws[1]),
                fires(f.strayPackets, draws[2]), fires(f.overlongPackets, draws[3]),
                fires(f.lateAnswer, draws[4])};
    }

    uint32_t randomIn(uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random);
    }

    void queueAnswer(std::vector<uint8_t> answer, uint32_t maxAnswer, const AnswerFaults& faults,
                     Clock::time_point now) {
        const uint8_t opcode = answer[0];
        if (faults.stray) {
            const uint32_t count = randomIn(1, 3);
            for (uint32_t i = 0; i < count; ++i) {
                std::vector<uint8_t> stray(randomIn(1, kMaxPacket));
                for (uint8_t& b : stray) {
                    b = static_cast<uint8_t>(randomIn(0, 255));
                }
                stray[0] = static_cast<uint8_t>(opcode + randomIn(1, 255));
                outgoing.push_back({std::move(stray), now, false});
            }
        }
        if (faults.overlong && maxAnswer < kMaxPacket) {
            const uint32_t count = randomIn(1, 2);
            for (uint32_t i = 0; i < count; ++i) {
                std::vector<uint8_t> packet = answer;
                packet.resize(randomIn(maxAnswer + 1, kMaxPacket), 0);
                outgoing.push_back({std::move(packet), now, false});
            }
        }
        if (faults.drop) {
            return;
        }
        if (faults.corrupt) {
            for (size_t i = 1; i < answer.size(); ++i) {
                answer[i] = static_cast<uint8_t>(~answer[i]);
            }
        }
        const auto readyAt =
            faults.late ? now + std::chrono::milliseconds(options.faults.lateAnswerMs) : now;
        outgoing.push_back({std::move(answer), readyAt, true});
    }

    void chipChangedLocked() {
        imageDirty = true;
        if (!imagePath.empty()) {
            std::string error;
            if (!saveLocked(&error)) {
                imageError = error;
            }
        }
    }

    bool saveLocked(std::string* error) {
        if (imagePath.empty() || !imageDirty) {
            return true;
        }
        if (!saveChipImage(imagePath, chip.memory(), error)) {
            return false;
        }
        imageDirty = false;
        imageError.clear();
        return true;
    }

    // One command packet in command mode. Returns false when the device went away.
    bool handleCommand(const uint8_t* data, uint32_t length, Clock::time_point now) {
        ++commands;
        commandLog.emplace_back(data, data + length);
        if (commandLog.size() > kCommandLogLimit) {
            commandLog.pop_front();
        }
        if (options.faults.disconnectAtCommand == commands) {
            unplugLocked();
            return false;
        }
        phase = Phase::Command; // a new command ends an unfinished read data phase
        const AnswerFaults faults = drawAnswerFaults();
        if (options.faults.stallAtCommand == commands) {
            stalled = true;
            return true;
        }
        const uint8_t opcode = data[0];
        switch (opcode) {
        case 0x01: // Read chip
            if (length < 15) {
                return true;
            }
            queueAnswer({0x01, 0x01, 0x00}, 3, faults, now);
            phase = Phase::ReadData;
            phaseFamily = data[2];
            phaseAddress = bigEndian32(data + 3);
            phaseLength = uint64_t{bigEndian32(data + 7)} + options.faults.extraReadBytes;
            phaseDone = 0;
            phaseStart = now;
            return true;
        case 0x02: { // Write chip
            if (length < 17) {
                return true;
            }
            queueAnswer({0x02, 0x01, 0x01}, 3, faults, now);
            const uint32_t total = bigEndian32(data + 7);
            if (total == 0) {
                return true;
            }
            phase = Phase::WriteData;
            phaseFamily = data[2];
            phaseAddress = bigEndian32(data + 3);
            phaseLength = total;
            phaseDone = 0;
            phasePageSize = std::max<uint32_t>(1, bigEndian16(data + 11));
            phaseStart = now;
            lastWriteData = now;
            return true;
        }
        case 0x03: // Erase status
            if (length < 3) {
                return true;
            }
            queueAnswer({0x03, 0x01, static_cast<uint8_t>(now < eraseEnd ? 1 : 0)}, 3, faults, now);
            return true;
        case 0x04: // Erase chip
            if (length < 3) {
                return true;
            }
            queueAnswer({0x04, 0x01, 0x01}, 3, faults, now);
            eraseEnd = now + std::chrono::milliseconds(options.pacing.eraseMs);
            if (chip.erase(data[2])) {
                chipChangedLocked();
            }
            return true;
        case 0x05: { // Read chip ID
            if (length < 3) {
                return true;
            }
            const auto id = chip.id(data[2]);
            queueAnswer({0x05, 0x02, id[0], id[1]}, 4, faults, now);
            return true;
        }
        case 0x07: { // Firmware version
            if (length < 2) {
                return true;
            }
            const std::string& text = options.versionText;
            std::vector<uint8_t> answer{0x07, static_cast<uint8_t>(text.size())};
            answer.insert(answer.end(), text.begin(), text.end());
            answer.push_back(0);
            queueAnswer(std::move(answer), 2 + kMaxVersionText + 1, faults, now);
            return true;
        }
        default:
            return true; // not a command of this firmware: no answer
        }
    }
};

ProgrammerFirmware::ProgrammerFirmware(const ChipInfo* chip, FirmwareOptions options)
    : state_(std::make_unique<State>(chip, std::move(options))) {}

ProgrammerFirmware::~ProgrammerFirmware() {
    std::lock_guard lock(state_->mutex);
    state_->saveLocked(nullptr);
}

TransferResult ProgrammerFirmware::hostOut(const uint8_t* data, uint32_t length,
                                           Clock::time_point waitUntil,
                                           const StillWanted& stillWanted) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const auto now = Clock::now();
        if (auto ended = s.passEnds(s.options.faults.refuseOut, stillWanted, now)) {
            return *ended;
        }
        auto due = now;
        if (s.stalled) {
            due = kNever;
        } else if (s.phase == State::Phase::WriteData &&
                   now - std::max(s.lastWriteData, s.dueTime(s.phaseDone + 1)) >
                       kWritePhaseIdleLimit) {
            // The host gave up on this write. The time the chip spends programming what
            // it has is not idle time.
            s.phase = State::Phase::Command;
        }
        if (!s.stalled && s.phase == State::Phase::WriteData) {
            const uint64_t take = std::min<uint64_t>(length, s.phaseLength - s.phaseDone);
            const auto fault = s.applyDataFaults(take);
            if (fault == State::DataFault::Unplugged) {
                return {TransferStatus::Gone, 0, {}};
            }
            if (fault == State::DataFault::Stalled) {
                continue;
            }
            due = s.dueTime(s.phaseDone + take);
            // A slow chip takes what is due by now and leaves the rest of the transfer
            // for later, as a device takes a bulk transfer packet by packet.
            const uint64_t part = now >= due ? take : now >= waitUntil ? s.dueBy(now, take) : 0;
            if (part > 0) {
                s.takeWriteData(data, part, now);
                s.logTransfer(false, part == take ? length : static_cast<uint32_t>(part));
                return {
                    TransferStatus::Done, part == take ? length : static_cast<uint32_t>(part), {}};
            }
        } else if (!s.stalled) {
            if (length > 0 && !s.handleCommand(data, length, now)) {
                return {TransferStatus::Gone, 0, {}};
            }
            s.logTransfer(false, length);
            s.changed.notify_all();
            return {TransferStatus::Done, length, {}};
        }
        if (now >= waitUntil) {
            return {TransferStatus::NotYet, 0, due};
        }
        s.changed.wait_until(lock, std::min(due, waitUntil));
    }
}

TransferResult ProgrammerFirmware::hostIn(uint8_t* dest, uint32_t maxLength,
                                          Clock::time_point waitUntil,
                                          const StillWanted& stillWanted) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const auto now = Clock::now();
        if (auto ended = s.passEnds(s.options.faults.refuseIn, stillWanted, now)) {
            return *ended;
        }
        auto due = kNever;
        if (s.stalled) {
            // silence
        } else if (!s.outgoing.empty()) {
            State::Packet& front = s.outgoing.front();
            if (front.readyAt <= now) {
                // A packet longer than asked goes out in pieces, as a bulk pipe splits it.
                const uint32_t n = std::min<uint32_t>(maxLength, front.bytes.size());
                if (n > 0) {
                    std::memcpy(dest, front.bytes.data(), n);
                }
                if (n < front.bytes.size()) {
                    front.bytes.erase(front.bytes.begin(), front.bytes.begin() + n);
                } else {
                    s.answersSent += front.isAnswer ? 1 : 0;
                    s.outgoing.pop_front();
                }
                s.logTransfer(true, maxLength);
                s.changed.notify_all();
                return {TransferStatus::Done, n, {}};
            }
            due = front.readyAt;
        } else if (s.phase == State::Phase::ReadData) {
            const uint64_t n = std::min<uint64_t>(maxLength, s.phaseLength - s.phaseDone);
            const auto fault = s.applyDataFaults(n);
            if (fault == State::DataFault::Unplugged) {
                return {TransferStatus::Gone, 0, {}};
            }
            if (fault == State::DataFault::Stalled) {
                continue;
            }
            due = s.dueTime(s.phaseDone + n);
            if (now >= due) {
                s.chip.read(s.phaseFamily, uint64_t{s.phaseAddress} + s.phaseDone, dest,
                            static_cast<size_t>(n));
                s.addReadNoise(dest, n);
                s.phaseDone += n;
                s.dataBytesOut += n;
                if (n < maxLength) {
                    s.phase = State::Phase::Command; // the short transfer ends the data
                }
                s.logTransfer(true, maxLength);
                s.changed.notify_all();
                return {TransferStatus::Done, static_cast<uint32_t>(n), {}};
            }
        }
        if (now >= waitUntil) {
            return {TransferStatus::NotYet, 0, due};
        }
        s.changed.wait_until(lock, std::min(due, waitUntil));
    }
}

void ProgrammerFirmware::wakeWaiters() {
    std::lock_guard lock(state_->mutex);
    state_->changed.notify_all();
}

void ProgrammerFirmware::unplug() {
    std::lock_guard lock(state_->mutex);
    state_->unplugLocked();
}

bool ProgrammerFirmware::isGone() const {
    std::lock_guard lock(state_->mutex);
    return state_->gone;
}

void ProgrammerFirmware::powerCycle() {
    std::lock_guard lock(state_->mutex);
    state_->resetLocked();
    state_->changed.notify_all();
}

bool ProgrammerFirmware::attachImage(const std::string& path, std::string* error) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    std::vector<uint8_t> memory(s.chip.capacity(), 0xFF);
    bool found = false;
    if (!loadChipImage(path, memory, &found, error)) {
        return false;
    }
    s.chip.memory() = std::move(memory);
    s.imagePath = path;
    s.imageDirty = false;
    return true;
}

bool ProgrammerFirmware::saveImage(std::string* error) {
    std::lock_guard lock(state_->mutex);
    return state_->saveLocked(error);
}

bool ProgrammerFirmware::saveSettledImage(std::string* error) {
    std::lock_guard lock(state_->mutex);
    State& s = *state_;
    if (s.phase == State::Phase::WriteData && Clock::now() - s.lastWriteData < kWriteDataPause) {
        return true;
    }
    return s.saveLocked(error);
}

std::string ProgrammerFirmware::imageError() const {
    std::lock_guard lock(state_->mutex);
    return state_->imageError;
}

void ProgrammerFirmware::setFaults(const Faults& faults) {
    std::lock_guard lock(state_->mutex);
    state_->options.faults = faults;
    state_->random.seed(faults.seed);
    state_->changed.notify_all();
}

void ProgrammerFirmware::setPacing(const Pacing& pacing) {
    std::lock_guard lock(state_->mutex);
    state_->options.pacing = pacing;
    state_->changed.notify_all();
}

uint32_t ProgrammerFirmware::chipCapacity() const {
    std::lock_guard lock(state_->mutex);
    return state_->chip.capacity();
}

std::vector<uint8_t> ProgrammerFirmware::chipContents() const {
    std::lock_guard lock(state_->mutex);
    return state_->chip.memory();
}

void ProgrammerFirmware::setChipContents(uint32_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(state_->mutex);
    std::vector<uint8_t>& memory = state_->chip.memory();
    if (memory.empty()) {
        return;
    }
    size_t position = address % memory.size();
    for (uint8_t b : bytes) {
        memory[position] = b;
        position = (position + 1) % memory.size();
    }
    state_->chipChangedLocked();
}

void ProgrammerFirmware::injectPacket(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(state_->mutex);
    state_->outgoing.push_back({bytes, Clock::now(), false});
    state_->changed.notify_all();
}

FirmwareStats ProgrammerFirmware::stats() const {
    std::lock_guard lock(state_->mutex);
    const State& s = *state_;
    return {s.commands, s.dataBytesIn, s.dataBytesOut, s.answersSent, Clock::now() < s.eraseEnd,
            s.stalled,  s.gone};
}

std::vector<std::vector<uint8_t>> ProgrammerFirmware::commandLog() const {
    std::lock_guard lock(state_->mutex);
    return {state_->commandLog.begin(), state_->commandLog.end()};
}

std::vector<TransferRecord> ProgrammerFirmware::transferLog() const {
    std::lock_guard lock(state_->mutex);
    return {state_->transferLog.begin(), state_->transferLog.end()};
}

} // namespace sim
