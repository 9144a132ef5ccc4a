#include "bridge/I2cEeprom.h"

#include <algorithm>

namespace bridge {
namespace {

// A read of this many bytes is one I2C transaction and one exchange with the bridge.
constexpr uint32_t kReadChunk = 4096;
// Pages sent to the bridge together, each followed by its polls.
constexpr uint32_t kPagesPerBatch = 8;
// Polling gives up after this much bus time: ten times the longest datasheet write cycle.
constexpr uint32_t kMaxPollUs = 50'000;
constexpr uint32_t kPollStepUs = 1000;
// A poll is start, one byte and its acknowledgement, stop: about 11 clocks.
constexpr uint32_t kClocksPerPoll = 11;

bool acked(uint8_t answer) {
    return (answer & 0x80) == 0;
}

} // namespace

uint32_t i2cPageSize(uint32_t capacity) {
    return capacity <= 256     ? 8
           : capacity <= 2048  ? 16
           : capacity <= 8192  ? 32
           : capacity <= 32768 ? 64
           : capacity <= 65536 ? 128
                               : 256;
}

I2cEeprom::I2cEeprom(I2cBus& bus, I2cEepromGeometry geometry) : bus_(bus), geometry_(geometry) {
    if (geometry_.pageSize == 0)
        geometry_.pageSize = i2cPageSize(geometry_.capacity);
}

uint8_t I2cEeprom::deviceAddress(uint32_t address) const {
    const uint32_t block = (address >> (8 * addressBytes())) & 0x07;
    return static_cast<uint8_t>(kDeviceAddress | block << 1);
}

uint32_t I2cEeprom::pollsFor(uint32_t us) const {
    const uint64_t pollUs =
        uint64_t{kClocksPerPoll} * 1000 / std::max<uint32_t>(bus_.clockKHz(), 1);
    return static_cast<uint32_t>(
        std::max<uint64_t>(1, (us + pollUs - 1) / std::max<uint64_t>(pollUs, 1)));
}

void I2cEeprom::addPolls(I2cScript* script, uint32_t address, uint32_t us) const {
    for (uint32_t i = pollsFor(us); i > 0; --i) {
        script->start();
        script->address(deviceAddress(address));
        script->stop();
    }
}

ChipResult I2cEeprom::waitReady(uint32_t address, std::stop_token stop) {
    for (uint32_t waited = 0; waited < kMaxPollUs; waited += kPollStepUs) {
        I2cScript script;
        addPolls(&script, address, kPollStepUs);
        std::vector<uint8_t> answers;
        if (const BusResult r = bus_.run(script, &answers, stop); r != BusResult::Ok)
            return fromBus(r);
        if (std::any_of(answers.begin(), answers.end(), acked))
            return {};
    }
    return {ChipOutcome::StillBusy};
}

ChipResult I2cEeprom::probe(std::stop_token stop) {
    const ChipResult r = waitReady(0, stop);
    return r.outcome == ChipOutcome::StillBusy ? ChipResult{ChipOutcome::NoChip} : r;
}

ChipResult I2cEeprom::read(uint32_t address, std::span<uint8_t> dest, int passes,
                           std::stop_token stop, const Progress& progress) {
    if (address > geometry_.capacity || dest.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    if (ChipResult r = readOnce(address, dest, stop, progress); !r.ok())
        return r;
    std::vector<uint8_t> again(dest.size());
    for (int pass = 1; pass < passes; ++pass) {
        if (ChipResult r = readOnce(address, again, stop, progress); !r.ok())
            return r;
        const auto [a, b] = std::mismatch(dest.begin(), dest.end(), again.begin());
        if (a != dest.end()) {
            const uint64_t bad = address + static_cast<uint64_t>(a - dest.begin());
            return {ChipOutcome::ReadsDiffer, bad, bad + 1};
        }
    }
    return {};
}

ChipResult I2cEeprom::readOnce(uint32_t address, std::span<uint8_t> dest, std::stop_token stop,
                               const Progress& progress) {
    const uint32_t block = 1u << (8 * addressBytes());
    for (uint32_t done = 0; done < dest.size();) {
        const uint32_t at = address + done;
        // A read stays inside one block: the block bits are sent once, with the address.
        const uint32_t chunk =
            std::min({kReadChunk, static_cast<uint32_t>(dest.size()) - done, block - at % block});
        I2cScript script;
        script.start();
        script.address(deviceAddress(at));
        std::vector<uint8_t> word;
        for (uint32_t i = addressBytes(); i-- > 0;)
            word.push_back(static_cast<uint8_t>(at >> (8 * i)));
        script.write(word);
        script.start();
        script.address(static_cast<uint8_t>(deviceAddress(at) | 1));
        script.read(chunk);
        script.stop();
        std::vector<uint8_t> answers;
        if (const BusResult r = bus_.run(script, &answers, stop); r != BusResult::Ok)
            return fromBus(r);
        if (answers.size() != chunk + 2)
            return {ChipOutcome::BusFailed};
        if (!acked(answers[0]) || !acked(answers[1]))
            return {ChipOutcome::NoChip, at, at + chunk};
        std::copy(answers.begin() + 2, answers.end(), dest.begin() + done);
        done += chunk;
        if (progress)
            progress(Stage::Read, done, dest.size());
    }
    return {};
}

ChipResult I2cEeprom::write(uint32_t address, std::span<const uint8_t> data, std::stop_token stop,
                            const Progress& progress) {
    if (address > geometry_.capacity || data.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    if (ChipResult r = probe(stop); !r.ok())
        return r;
    const uint32_t page = geometry_.pageSize;
    int retries = 0; // batches in a row that wrote nothing
    for (uint32_t done = 0; done < data.size();) {
        // Several pages in one exchange, each followed by polls covering a write cycle, so
        // the bridge never waits for the host between pages.
        I2cScript script;
        std::vector<uint32_t> starts;
        uint32_t planned = done;
        for (uint32_t n = 0; n < kPagesPerBatch && planned < data.size(); ++n) {
            const uint32_t at = address + planned;
            const uint32_t length =
                std::min<uint32_t>(page - at % page, static_cast<uint32_t>(data.size()) - planned);
            script.start();
            script.address(deviceAddress(at));
            std::vector<uint8_t> bytes;
            for (uint32_t i = addressBytes(); i-- > 0;)
                bytes.push_back(static_cast<uint8_t>(at >> (8 * i)));
            bytes.insert(bytes.end(), data.begin() + planned, data.begin() + planned + length);
            script.write(bytes);
            script.stop();
            addPolls(&script, at, geometry_.writeCycleUs);
            starts.push_back(planned);
            planned += length;
        }
        std::vector<uint8_t> answers;
        if (const BusResult r = bus_.run(script, &answers, stop); r != BusResult::Ok)
            return fromBus(r);
        const uint32_t polls = pollsFor(geometry_.writeCycleUs);
        if (answers.size() != starts.size() * (1 + polls))
            return {ChipOutcome::BusFailed};
        // A page whose address went unanswered was not written (the chip was still busy,
        // or it is gone): that page is sent again once the chip answers.
        for (size_t i = 0; i < starts.size(); ++i) {
            const uint8_t* pageAnswers = answers.data() + i * (1 + polls);
            const uint32_t at = address + starts[i];
            if (!acked(pageAnswers[0])) {
                planned = starts[i];
                if (ChipResult r = waitReady(at, stop); !r.ok())
                    return {r.outcome, at, at + 1};
                break;
            }
            ++pagesWritten_;
            if (!std::any_of(pageAnswers + 1, pageAnswers + 1 + polls, acked)) {
                planned = i + 1 < starts.size() ? starts[i + 1] : planned;
                if (ChipResult r = waitReady(at, stop); !r.ok())
                    return {r.outcome, at, at + 1};
                break;
            }
        }
        retries = planned == done ? retries + 1 : 0;
        if (retries > 3)
            return {ChipOutcome::StillBusy, address + done, address + done + 1};
        done = planned;
        if (progress)
            progress(Stage::Write, done, data.size());
    }
    std::vector<uint8_t> back(data.size());
    if (ChipResult r = read(address, back, 1, stop); !r.ok())
        return r;
    return compareReadBack(address, data, back);
}

} // namespace bridge
