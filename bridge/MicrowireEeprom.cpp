#include "bridge/MicrowireEeprom.h"

#include <algorithm>
#include <bit>

namespace bridge {
namespace {

constexpr uint32_t kRead = 2;
constexpr uint32_t kWrite = 1;
constexpr uint32_t kEwen = 3;
constexpr uint32_t kEwds = 0;
constexpr uint32_t kEral = 2;
// Cells written in one exchange, each followed by its ready poll.
constexpr uint32_t kCellsPerBatch = 32;
// Waiting for ready gives up after this long: ten times the longest datasheet cycle.
constexpr uint32_t kMaxWaitUs = 150'000;
constexpr uint32_t kWaitStepUs = 2000;
constexpr uint32_t kReadChunk = 2048;

bool anyReady(const std::vector<uint8_t>& in, size_t from) {
    return std::find(in.begin() + long(std::min(from, in.size())), in.end(), 1) != in.end();
}

} // namespace

uint32_t microwireAddressBits(uint32_t capacity, uint32_t width) {
    // x8 addresses have odd length: the 93C56 and 93C76 carry a bit they do not use.
    const uint32_t x8 =
        static_cast<uint32_t>(std::bit_width(std::max<uint32_t>(capacity, 2) - 1)) | 1;
    return width == 8 ? x8 : x8 - 1;
}

MicrowireEeprom::MicrowireEeprom(MicrowireBus& bus, MicrowireGeometry geometry)
    : bus_(bus), geometry_(geometry),
      addressBits_(microwireAddressBits(geometry.capacity, geometry.width)) {}

MicrowireFrame MicrowireEeprom::instruction(uint32_t opcode, uint32_t address) const {
    MicrowireFrame f;
    f.bits.push_back(1);
    f.bits.push_back((opcode >> 1) & 1);
    f.bits.push_back(opcode & 1);
    for (uint32_t i = addressBits_; i-- > 0;)
        f.bits.push_back((address >> i) & 1);
    return f;
}

ChipResult MicrowireEeprom::waitReady(std::stop_token stop) {
    for (uint32_t waited = 0; waited < kMaxWaitUs; waited += kWaitStepUs) {
        MicrowireFrame poll;
        poll.samples = 1;
        poll.readyPollUs = kWaitStepUs;
        if (const BusResult r = bus_.run(std::span(&poll, 1), stop); r != BusResult::Ok)
            return fromBus(r);
        if (anyReady(poll.in, 0))
            return {};
    }
    return {ChipOutcome::StillBusy};
}

ChipResult MicrowireEeprom::readOnce(uint32_t cell, std::span<uint8_t> dest, std::stop_token stop) {
    const uint32_t cells = static_cast<uint32_t>(dest.size()) / cellBytes();
    MicrowireFrame f = instruction(kRead, cell);
    f.samples = 1 + cells * geometry_.width;
    if (const BusResult r = bus_.run(std::span(&f, 1), stop); r != BusResult::Ok)
        return fromBus(r);
    if (f.in.size() != f.samples)
        return {ChipOutcome::BusFailed};
    if (f.in[0] != 0) // no dummy 0: nothing drives DO
        return {ChipOutcome::NoChip};
    for (size_t byte = 0; byte < dest.size(); ++byte) {
        uint8_t value = 0;
        for (size_t bit = 0; bit < 8; ++bit)
            value = static_cast<uint8_t>(value << 1 | f.in[1 + byte * 8 + bit]);
        dest[byte] = value;
    }
    return {};
}

ChipResult MicrowireEeprom::read(uint32_t address, std::span<uint8_t> dest, int passes,
                                 std::stop_token stop, const Progress& progress) {
    if (address > geometry_.capacity || dest.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    // Whole cells are read; an odd x16 range takes the cells around it.
    const uint32_t first = address / cellBytes() * cellBytes();
    const uint32_t end = (address + static_cast<uint32_t>(dest.size()) + cellBytes() - 1) /
                         cellBytes() * cellBytes();
    std::vector<uint8_t> cells(end - first), again(end - first);
    for (int pass = 0; pass < std::max(passes, 1); ++pass) {
        std::vector<uint8_t>& into = pass == 0 ? cells : again;
        for (uint32_t done = 0; done < into.size();) {
            const uint32_t chunk = std::min<uint32_t>(kReadChunk, uint32_t(into.size()) - done);
            if (ChipResult r = readOnce((first + done) / cellBytes(),
                                        std::span(into).subspan(done, chunk), stop);
                !r.ok())
                return r;
            done += chunk;
            if (progress)
                progress(Stage::Read, std::min<uint64_t>(done, dest.size()), dest.size());
        }
        if (pass > 0) {
            const auto [a, b] = std::mismatch(cells.begin(), cells.end(), again.begin());
            if (a != cells.end()) {
                const uint64_t bad = first + static_cast<uint64_t>(a - cells.begin());
                return {ChipOutcome::ReadsDiffer, bad, bad + 1};
            }
        }
    }
    std::copy_n(cells.begin() + (address - first), dest.size(), dest.begin());
    return {};
}

ChipResult MicrowireEeprom::write(uint32_t address, std::span<const uint8_t> data,
                                  std::stop_token stop, const Progress& progress) {
    if (address > geometry_.capacity || data.size() > geometry_.capacity - address ||
        address % cellBytes() != 0 || data.size() % cellBytes() != 0)
        return {ChipOutcome::OutOfRange};
    uint8_t probe[2];
    if (ChipResult r = readOnce(0, std::span(probe, cellBytes()), stop); !r.ok())
        return r;
    MicrowireFrame enable = control(kEwen);
    if (const BusResult r = bus_.run(std::span(&enable, 1), stop); r != BusResult::Ok)
        return fromBus(r);
    const auto cells = static_cast<uint32_t>(data.size() / cellBytes());
    int retries = 0; // batches in a row that wrote nothing
    for (uint32_t done = 0; done < cells;) {
        std::vector<MicrowireFrame> frames;
        for (uint32_t c = done; c < cells && frames.size() < kCellsPerBatch; ++c) {
            MicrowireFrame f = instruction(kWrite, address / cellBytes() + c);
            for (uint32_t byte = 0; byte < cellBytes(); ++byte)
                for (int bit = 7; bit >= 0; --bit)
                    f.bits.push_back((data[c * cellBytes() + byte] >> bit) & 1);
            // A little past the longest cycle: the poll runs on the bridge in full.
            f.readyPollUs = geometry_.writeCycleUs + geometry_.writeCycleUs / 10;
            frames.push_back(std::move(f));
        }
        if (const BusResult r = bus_.run(frames, stop); r != BusResult::Ok)
            return fromBus(r);
        // A cell whose poll never saw ready leaves the chip busy: the cells after it were
        // ignored and go again.
        uint32_t written = 0;
        while (written < frames.size() && anyReady(frames[written].in, 0))
            ++written;
        if (written < frames.size()) {
            ++written;
            if (ChipResult r = waitReady(stop); !r.ok())
                return {r.outcome, address + (done + written - 1) * cellBytes(),
                        address + (done + written) * cellBytes()};
        }
        retries = written == 0 ? retries + 1 : 0;
        if (retries > 3)
            return {ChipOutcome::StillBusy, address + done * cellBytes(),
                    address + (done + 1) * cellBytes()};
        done += written;
        if (progress)
            progress(Stage::Write, uint64_t{done} * cellBytes(), data.size());
    }
    MicrowireFrame disable = control(kEwds);
    if (const BusResult r = bus_.run(std::span(&disable, 1), stop); r != BusResult::Ok)
        return fromBus(r);
    std::vector<uint8_t> back(data.size());
    if (ChipResult r = read(address, back, 1, stop); !r.ok())
        return r;
    return compareReadBack(address, data, back);
}

ChipResult MicrowireEeprom::eraseAll(std::stop_token stop) {
    uint8_t probe[2];
    if (ChipResult r = readOnce(0, std::span(probe, cellBytes()), stop); !r.ok())
        return r;
    std::vector<MicrowireFrame> frames{control(kEwen), control(kEral)};
    frames[1].readyPollUs = geometry_.wholeCycleUs + geometry_.wholeCycleUs / 10;
    if (const BusResult r = bus_.run(frames, stop); r != BusResult::Ok)
        return fromBus(r);
    if (!anyReady(frames[1].in, 0))
        if (ChipResult r = waitReady(stop); !r.ok())
            return r;
    MicrowireFrame disable = control(kEwds);
    if (const BusResult r = bus_.run(std::span(&disable, 1), stop); r != BusResult::Ok)
        return fromBus(r);
    std::vector<uint8_t> back(geometry_.capacity);
    if (ChipResult r = read(0, back, 1, stop); !r.ok())
        return r;
    const auto bad = std::find_if(back.begin(), back.end(), [](uint8_t v) { return v != 0xFF; });
    if (bad == back.end())
        return {};
    const uint64_t at = static_cast<uint64_t>(bad - back.begin());
    return {ChipOutcome::VerifyFailed, at, at + 1};
}

} // namespace bridge
