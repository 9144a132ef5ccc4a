#include "bridge/SpiEeprom.h"

#include <algorithm>

namespace bridge {
namespace {

// Write cycle: 5 ms at most on most parts, 6 ms on the 1 Mbit ones; polled every 1 ms
// after a first wait, up to 20 ms.
constexpr uint32_t kFirstPollUs = 3000;
constexpr uint32_t kPollUs = 1000;
constexpr int kMaxPolls = 20;
constexpr uint32_t kWriteCycleUs = 6000;
constexpr uint32_t kReadChunk = 65536;

} // namespace

SpiEeprom::SpiEeprom(SpiBus& bus, EepromGeometry geometry) : bus_(bus), geometry_(geometry) {}

uint32_t SpiEeprom::addressBytes() const {
    return geometry_.capacity <= 512 ? 1 : geometry_.capacity <= 65536 ? 2 : 3;
}

std::vector<uint8_t> SpiEeprom::header(uint8_t opcode, uint32_t address) const {
    const uint32_t bytes = addressBytes();
    if (bytes == 1 && (address & 0x100))
        opcode |= 0x08;
    std::vector<uint8_t> out{opcode};
    for (uint32_t i = bytes; i-- > 0;)
        out.push_back(static_cast<uint8_t>(address >> (8 * i)));
    return out;
}

ChipResult SpiEeprom::checkPresence(std::stop_token stop) {
    // Read after the longest write cycle: the 25010-25040 class reads FF while it writes (a
    // write an interrupted operation left running), and ignores write enable then.
    SpiTransaction status{{0x05}, 1, kWriteCycleUs, {}};
    if (const BusResult r = bus_.run(std::span(&status, 1), stop); r != BusResult::Ok)
        return fromBus(r);
    if (status.in[0] == 0xFF)
        return {ChipOutcome::NoChip};
    if (ChipResult r = waitReady(status.in[0], stop); !r.ok())
        return r;
    std::vector<SpiTransaction> batch{
        {{0x06}, 0, 0, {}}, {{0x05}, 1, 0, {}}, {{0x04}, 0, 0, {}}, {{0x05}, 1, 0, {}}};
    if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    const uint8_t enabled = batch[1].in[0], disabled = batch[3].in[0];
    if ((enabled & 0x02) && !(disabled & 0x02))
        return {};
    return {enabled == 0x00 && disabled == 0x00 ? ChipOutcome::NoContact : ChipOutcome::NoChip};
}

ChipResult SpiEeprom::read(uint32_t address, std::span<uint8_t> dest, std::stop_token stop,
                           const Progress& progress) {
    if (address > geometry_.capacity || dest.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    for (uint32_t done = 0; done < dest.size();) {
        // The ninth address bit of a 512-byte part is sent once: no read crosses it.
        uint32_t chunk = std::min<uint32_t>(kReadChunk, static_cast<uint32_t>(dest.size()) - done);
        if (addressBytes() == 1)
            chunk = std::min(chunk, 256 - (address + done) % 256);
        std::vector<uint8_t> in;
        if (const BusResult r = bus_.transfer(header(0x03, address + done), chunk, &in, stop);
            r != BusResult::Ok)
            return fromBus(r);
        std::copy(in.begin(), in.end(), dest.begin() + done);
        done += chunk;
        if (progress)
            progress(Stage::Read, done, dest.size());
    }
    return {};
}

ChipResult SpiEeprom::waitReady(uint8_t status, std::stop_token stop) {
    for (int poll = 0; (status & 1) && poll < kMaxPolls; ++poll) {
        SpiTransaction again{{0x05}, 1, kPollUs, {}};
        if (const BusResult r = bus_.run(std::span(&again, 1), stop); r != BusResult::Ok)
            return fromBus(r);
        status = again.in[0];
    }
    return (status & 1) ? ChipResult{ChipOutcome::StillBusy} : ChipResult{};
}

ChipResult SpiEeprom::protectedRange(uint32_t* begin, uint8_t* status, std::stop_token stop) {
    std::vector<uint8_t> in;
    if (const BusResult r = bus_.transfer({0x05}, 1, &in, stop); r != BusResult::Ok)
        return fromBus(r);
    *status = in[0];
    const unsigned bp = (in[0] >> 2) & 3;
    *begin = bp == 0 ? geometry_.capacity : geometry_.capacity - (geometry_.capacity >> (3 - bp));
    return {};
}

ChipResult SpiEeprom::clearProtection(std::stop_token stop) {
    uint32_t begin = 0;
    uint8_t status = 0;
    if (ChipResult r = protectedRange(&begin, &status, stop); !r.ok())
        return r;
    std::vector<SpiTransaction> batch{{{0x06}, 0, 0, {}},
                                      {{0x01, static_cast<uint8_t>(status & ~0x0C)}, 0, 0, {}},
                                      {{0x05}, 1, kFirstPollUs, {}}};
    if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    if (ChipResult r = waitReady(batch[2].in[0], stop); !r.ok())
        return r;
    if (ChipResult r = protectedRange(&begin, &status, stop); !r.ok())
        return r;
    return begin < geometry_.capacity
               ? ChipResult{ChipOutcome::NotCleared, begin, geometry_.capacity}
               : ChipResult{};
}

ChipResult SpiEeprom::write(uint32_t address, std::span<const uint8_t> data, std::stop_token stop,
                            const Progress& progress) {
    if (address > geometry_.capacity || data.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    uint32_t protectedFrom = 0;
    uint8_t status = 0;
    if (ChipResult r = protectedRange(&protectedFrom, &status, stop); !r.ok())
        return r;
    if (address + data.size() > protectedFrom)
        return {ChipOutcome::Protected, protectedFrom, geometry_.capacity};
    for (uint32_t done = 0; done < data.size();) {
        const uint32_t at = address + done;
        const uint32_t length = std::min<uint32_t>(geometry_.pageSize - at % geometry_.pageSize,
                                                   static_cast<uint32_t>(data.size()) - done);
        std::vector<SpiTransaction> batch{
            {{0x06}, 0, 0, {}}, {header(0x02, at), 0, 0, {}}, {{0x05}, 1, kFirstPollUs, {}}};
        batch[1].out.insert(batch[1].out.end(), data.begin() + done, data.begin() + done + length);
        if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
            return fromBus(r);
        if (ChipResult r = waitReady(batch[2].in[0], stop); !r.ok())
            return {r.outcome, at, at + length};
        done += length;
        if (progress)
            progress(Stage::Write, done, data.size());
    }
    std::vector<uint8_t> back(data.size());
    if (ChipResult r = read(address, back, stop); !r.ok())
        return r;
    return compareReadBack(address, data, back);
}

} // namespace bridge
