#include "bridge/SpiNorFlash.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace bridge {
namespace {

constexpr uint8_t kWip = 0x01;
constexpr uint64_t kThreeByteLimit = 0x1000000;
constexpr uint64_t kReadChunk = 1 << 20;
constexpr size_t kPagesPerBatch = 64;
constexpr uint32_t kMaxPollBytes = 16000;
// Datasheet maxima (W25Q): page program 3 ms, status write 15 ms, 4 KiB erase 400 ms,
// 32 KiB 1.6 s, 64 KiB 2 s, chip erase 50 s per 4 MiB.
constexpr uint64_t kPageLimitUs = 3'000;
constexpr uint64_t kStatusWriteLimitUs = 15'000;

uint64_t eraseLimitUs(uint32_t size) {
    return size <= 4096 ? 400'000 : size <= 32768 ? 1'600'000 : 2'000'000;
}

// A little under the typical time, so the first poll usually finds the chip ready.
uint32_t eraseFirstWaitUs(uint32_t size) {
    return size <= 4096 ? 40'000 : size <= 32768 ? 100'000 : 135'000;
}

SpiTransaction command(std::vector<uint8_t> out, uint32_t inLength = 0, uint32_t delayUs = 0) {
    return {std::move(out), inLength, delayUs, {}};
}

// Adds [begin, end) to sorted spans, merged with the last one when they touch.
void addSpan(std::vector<std::pair<uint64_t, uint64_t>>* spans, uint64_t begin, uint64_t end) {
    if (!spans->empty() && spans->back().second >= begin)
        spans->back().second = std::max(spans->back().second, end);
    else
        spans->emplace_back(begin, end);
}

} // namespace

const char* outcomeName(ChipOutcome outcome) {
    switch (outcome) {
    case ChipOutcome::Ok:
        return "ok";
    case ChipOutcome::BusFailed:
        return "the bridge stopped answering";
    case ChipOutcome::BusGone:
        return "the bridge was unplugged";
    case ChipOutcome::Cancelled:
        return "cancelled";
    case ChipOutcome::NoChip:
        return "no chip (ID FF FF FF)";
    case ChipOutcome::NoContact:
        return "no contact (ID 00 00 00)";
    case ChipOutcome::Protected:
        return "write protected";
    case ChipOutcome::HardwareLocked:
        return "status register locked by the WP pin";
    case ChipOutcome::NotCleared:
        return "the protection did not clear";
    case ChipOutcome::StillBusy:
        return "the chip stayed busy";
    case ChipOutcome::VerifyFailed:
        return "verify failed";
    case ChipOutcome::ReadsDiffer:
        return "two reads differ";
    case ChipOutcome::OutOfRange:
        return "out of range";
    case ChipOutcome::Unsupported:
        return "unknown chip geometry";
    }
    return "?";
}

NorGeometry geometryFromJedec(const std::array<uint8_t, 3>& jedecId, uint64_t capacity) {
    NorGeometry g;
    g.jedecId = jedecId;
    g.capacity = capacity;
    g.eraseTypes = {{4096, 0x20, 0x21}, {32768, 0x52, 0x5C}, {65536, 0xD8, 0xDC}};
    g.fourByteOpcodes = capacity > kThreeByteLimit;
    g.protection = protectionSchemeFor(jedecId, capacity);
    g.status2 = hasStatus2(jedecId);
    return g;
}

NorGeometry geometryFromSfdp(const std::array<uint8_t, 3>& jedecId, const SfdpInfo& sfdp) {
    NorGeometry g = geometryFromJedec(jedecId, sfdp.capacity);
    g.pageSize = sfdp.pageSize;
    g.eraseTypes = sfdp.eraseTypes;
    g.fourByteOpcodes = sfdp.capacity > kThreeByteLimit && sfdp.fourByteOpcodes;
    g.enter4ByteMode = sfdp.capacity > kThreeByteLimit && !g.fourByteOpcodes && sfdp.enter4ByteB7;
    g.enterNeedsWren = sfdp.enter4ByteNeedsWren;
    if (g.fourByteOpcodes) {
        // Erase types without a 4-byte opcode cannot be used above 16 MiB.
        std::erase_if(g.eraseTypes, [](const EraseType& e) { return e.opcode4 == 0; });
        if (g.eraseTypes.empty())
            g.eraseTypes = geometryFromJedec(jedecId, sfdp.capacity).eraseTypes;
    }
    g.fromSfdp = true;
    return g;
}

ChipResult identifyNor(SpiBus& bus, NorIdentity* identity, std::stop_token stop) {
    *identity = {};
    std::vector<SpiTransaction> batch{command({0x9F}, 3), command({0x90, 0, 0, 0}, 2),
                                      command({0x5A, 0, 0, 0, 0}, kSfdpHeaderBytes)};
    if (const BusResult r = bus.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    std::copy_n(batch[0].in.begin(), 3, identity->jedecId.begin());
    std::copy_n(batch[1].in.begin(), 2, identity->manufacturerDeviceId.begin());
    const auto& id = identity->jedecId;
    if (id == std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}) {
        identity->presence = Presence::NoChip;
        return {ChipOutcome::NoChip};
    }
    if (id == std::array<uint8_t, 3>{0, 0, 0}) {
        identity->presence = Presence::NoContact;
        return {ChipOutcome::NoContact};
    }
    identity->presence = Presence::Chip;
    const uint64_t jedecCapacity = capacityFromJedec(id[2]);
    std::vector<uint8_t> image = batch[2].in;
    if (const uint32_t needed = sfdpBytesNeeded(image); needed > image.size()) {
        if (const BusResult r = bus.transfer({0x5A, 0, 0, 0, 0}, needed, &image, stop);
            r != BusResult::Ok)
            return fromBus(r);
    }
    identity->sfdp = parseSfdp(image, jedecCapacity);
    if (identity->sfdp.state == SfdpState::Sound)
        identity->geometry = geometryFromSfdp(id, identity->sfdp);
    else if (jedecCapacity != 0)
        identity->geometry = geometryFromJedec(id, jedecCapacity);
    return {};
}

SpiNorFlash::SpiNorFlash(SpiBus& bus, NorGeometry geometry)
    : bus_(bus), geometry_(std::move(geometry)) {
    if (wide() && !geometry_.enter4ByteMode)
        geometry_.fourByteOpcodes = true;
}

void SpiNorFlash::putAddress(std::vector<uint8_t>* out, uint64_t address) const {
    if (wide())
        out->push_back(static_cast<uint8_t>(address >> 24));
    out->push_back(static_cast<uint8_t>(address >> 16));
    out->push_back(static_cast<uint8_t>(address >> 8));
    out->push_back(static_cast<uint8_t>(address));
}

ChipResult SpiNorFlash::enterAddressMode(std::stop_token stop) {
    if (!wide() || !geometry_.enter4ByteMode)
        return {};
    std::vector<SpiTransaction> batch;
    if (geometry_.enterNeedsWren)
        batch.push_back(command({0x06}));
    batch.push_back(command({0xB7}));
    return fromBus(bus_.run(batch, stop));
}

ChipResult SpiNorFlash::leaveAddressMode(std::stop_token stop) {
    if (!wide() || !geometry_.enter4ByteMode)
        return {};
    return fromBus(bus_.transfer({0xE9}, 0, nullptr, stop));
}

ChipResult SpiNorFlash::readStatus(StatusRegisters* status, std::stop_token stop) {
    std::vector<SpiTransaction> batch{command({0x05}, 1), command({0x35}, 1), command({0x15}, 1)};
    if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    for (size_t i = 0; i < 3; ++i)
        status->value[i] = batch[i].in[0];
    const uint8_t status2 = geometry_.status2 ? status->value[1] : 0;
    status->protectedRange =
        decodeProtection(geometry_.protection, geometry_.capacity, status->value[0], status2);
    status->hardwareLockable = (status->value[0] & kStatusSrp) != 0;
    return {};
}

ChipResult SpiNorFlash::waitReady(uint32_t firstWaitUs, uint64_t limitUs, std::stop_token stop) {
    // The waits happen on the bridge: one round trip per poll, not per status byte.
    const uint32_t step = std::max<uint32_t>(1000, firstWaitUs / 20);
    uint64_t waited = 0;
    for (uint32_t wait = firstWaitUs;; wait = step) {
        SpiTransaction poll = command({0x05}, 1, wait);
        if (const BusResult r = bus_.run(std::span(&poll, 1), stop); r != BusResult::Ok)
            return fromBus(r);
        waited += wait;
        if ((poll.in[0] & kWip) == 0)
            return {};
        if (waited > limitUs)
            return {ChipOutcome::StillBusy};
    }
}

ChipResult SpiNorFlash::clearProtection(std::stop_token stop) {
    StatusRegisters before;
    if (ChipResult r = readStatus(&before, stop); !r.ok())
        return r;
    const uint8_t bits = protectionBits(geometry_.protection);
    std::vector<uint8_t> write{0x01, static_cast<uint8_t>(before.value[0] & ~bits)};
    if (geometry_.status2)
        write.push_back(static_cast<uint8_t>(before.value[1] & ~kStatus2Cmp));
    std::vector<SpiTransaction> batch{command({0x06}), command(std::move(write)),
                                      command({0x05}, 1, 2000)};
    if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    if (batch[2].in[0] & kWip)
        if (ChipResult r = waitReady(2000, kStatusWriteLimitUs, stop); !r.ok())
            return r;
    StatusRegisters after;
    if (ChipResult r = readStatus(&after, stop); !r.ok())
        return r;
    if (after.protectedRange.empty())
        return {};
    const ChipOutcome why =
        after.hardwareLockable ? ChipOutcome::HardwareLocked : ChipOutcome::NotCleared;
    return {why, after.protectedRange.begin, after.protectedRange.end};
}

ChipResult SpiNorFlash::readOnce(uint64_t address, std::span<uint8_t> dest, std::stop_token stop,
                                 const Progress& progress, Stage stage) {
    const uint8_t opcode = wide() && geometry_.fourByteOpcodes ? 0x0C : 0x0B;
    for (uint64_t done = 0; done < dest.size();) {
        const auto chunk =
            static_cast<uint32_t>(std::min<uint64_t>(kReadChunk, dest.size() - done));
        SpiTransaction t = command({opcode}, chunk);
        putAddress(&t.out, address + done);
        t.out.push_back(0x00); // dummy byte
        const auto header = t.out.size();
        const auto report = [&](uint64_t clocked) {
            if (progress)
                progress(stage, done + (clocked > header ? clocked - header : 0), dest.size());
        };
        if (const BusResult r = bus_.run(std::span(&t, 1), stop, report); r != BusResult::Ok)
            return fromBus(r);
        std::copy(t.in.begin(), t.in.end(), dest.begin() + static_cast<ptrdiff_t>(done));
        done += chunk;
        if (progress)
            progress(stage, done, dest.size());
    }
    return {};
}

ChipResult SpiNorFlash::read(uint64_t address, std::span<uint8_t> dest, int passes,
                             std::stop_token stop, const Progress& progress) {
    if (address > geometry_.capacity || dest.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    if (ChipResult r = enterAddressMode(stop); !r.ok())
        return r;
    ChipResult result = readOnce(address, dest, stop, progress, Stage::Read);
    std::vector<uint8_t> again(passes > 1 ? dest.size() : 0);
    for (int pass = 1; pass < passes && result.ok(); ++pass) {
        result = readOnce(address, again, stop, progress, Stage::Verify);
        const auto [a, b] = std::mismatch(dest.begin(), dest.end(), again.begin());
        if (result.ok() && a != dest.end()) {
            const uint64_t at = address + static_cast<uint64_t>(a - dest.begin());
            result = {ChipOutcome::ReadsDiffer, at, at + 1};
        }
    }
    if (ChipResult r = leaveAddressMode(stop); result.ok())
        result = r;
    return result;
}

ChipResult SpiNorFlash::eraseUnit(uint64_t address, const EraseType& type, std::stop_token stop) {
    const uint8_t opcode = wide() && geometry_.fourByteOpcodes ? type.opcode4 : type.opcode;
    const uint32_t firstWait = eraseFirstWaitUs(type.size);
    std::vector<SpiTransaction> batch{command({0x06}), command({opcode}),
                                      command({0x05}, 1, firstWait)};
    putAddress(&batch[1].out, address);
    if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    sectorsErased_ += type.size / geometry_.eraseTypes.front().size;
    if ((batch[2].in[0] & kWip) == 0)
        return {};
    return waitReady(firstWait / 8, eraseLimitUs(type.size), stop);
}

ChipResult SpiNorFlash::eraseChip(std::stop_token stop, const Progress& progress) {
    if (ChipResult r = checkProtection(0, geometry_.capacity, stop); !r.ok())
        return r;
    if (progress)
        progress(Stage::Erase, 0, geometry_.capacity);
    // 10 s typical and 50 s at most per 4 MiB (W25Q32JV).
    const uint64_t units = std::max<uint64_t>(1, geometry_.capacity >> 22);
    std::vector<SpiTransaction> batch{command({0x06}), command({0xC7})};
    if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
        return fromBus(r);
    ChipResult result =
        waitReady(static_cast<uint32_t>(std::min<uint64_t>(units * 9'000'000, UINT32_MAX)),
                  units * 50'000'000, stop);
    if (result.ok()) {
        sectorsErased_ += geometry_.capacity / geometry_.eraseTypes.front().size;
        if (progress)
            progress(Stage::Erase, geometry_.capacity, geometry_.capacity);
    }
    return result;
}

ChipResult SpiNorFlash::checkProtection(uint64_t begin, uint64_t end, std::stop_token stop) {
    StatusRegisters status;
    if (ChipResult r = readStatus(&status, stop); !r.ok())
        return r;
    if (status.protectedRange.overlaps(begin, end))
        return {ChipOutcome::Protected, status.protectedRange.begin, status.protectedRange.end};
    return {};
}

ChipResult SpiNorFlash::eraseRange(uint64_t address, uint64_t length, std::stop_token stop,
                                   const Progress& progress) {
    if (geometry_.eraseTypes.empty())
        return {ChipOutcome::Unsupported};
    const uint32_t sector = geometry_.eraseTypes.front().size;
    if (address % sector != 0 || length % sector != 0 || address > geometry_.capacity ||
        length > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    if (ChipResult r = checkProtection(address, address + length, stop); !r.ok())
        return r;
    if (ChipResult r = enterAddressMode(stop); !r.ok())
        return r;
    ChipResult result;
    for (uint64_t at = address; at < address + length && result.ok();) {
        // The largest erase that starts here and stays inside the range.
        const EraseType* use = &geometry_.eraseTypes.front();
        for (const EraseType& type : geometry_.eraseTypes)
            if (at % type.size == 0 && at + type.size <= address + length)
                use = &type;
        result = eraseUnit(at, *use, stop);
        at += use->size;
        if (progress)
            progress(Stage::Erase, at - address, length);
    }
    if (ChipResult r = leaveAddressMode(stop); result.ok())
        result = r;
    return result;
}

ChipResult SpiNorFlash::programPages(std::vector<Page> pages, std::stop_token stop,
                                     const Progress& progress) {
    const uint8_t opcode = wide() && geometry_.fourByteOpcodes ? 0x12 : 0x02;
    uint64_t total = 0;
    for (const Page& page : pages)
        total += page.length;
    uint64_t done = 0;
    std::deque<Page> work(pages.begin(), pages.end());
    while (!work.empty()) {
        const size_t count = std::min(kPagesPerBatch, work.size());
        std::vector<SpiTransaction> batch;
        for (size_t i = 0; i < count; ++i) {
            const Page& page = work[i];
            batch.push_back(command({0x06}));
            SpiTransaction program = command({opcode});
            putAddress(&program.out, page.address);
            program.out.insert(program.out.end(), page.data, page.data + page.length);
            batch.push_back(std::move(program));
            batch.push_back(command({0x05}, pollBytes_));
        }
        if (const BusResult r = bus_.run(batch, stop); r != BusResult::Ok)
            return fromBus(r);
        // A page whose write enable came while the page before was still being
        // programmed was ignored by the chip: it goes again.
        std::vector<Page> repeat;
        uint32_t slowest = 0;
        bool lateSeen = false;
        bool previousLate = false;
        for (size_t i = 0; i < count; ++i) {
            if (previousLate)
                repeat.push_back(work[i]);
            else
                done += work[i].length;
            const std::vector<uint8_t>& polls = batch[3 * i + 2].in;
            const auto ready =
                std::find_if(polls.begin(), polls.end(), [](uint8_t s) { return !(s & kWip); });
            previousLate = ready == polls.end();
            lateSeen = lateSeen || previousLate;
            if (!previousLate)
                slowest = std::max(slowest, static_cast<uint32_t>(ready - polls.begin()));
        }
        pagesProgrammed_ += count;
        pagesRepeated_ += repeat.size();
        if (batch.back().in.back() & kWip)
            if (ChipResult r = waitReady(200, kPageLimitUs, stop); !r.ok())
                return r;
        pollBytes_ = lateSeen ? std::min(kMaxPollBytes, pollBytes_ * 3 / 2)
                              : std::clamp(slowest + slowest / 8 + 4, 16u, kMaxPollBytes);
        work.erase(work.begin(), work.begin() + static_cast<ptrdiff_t>(count));
        work.insert(work.begin(), repeat.begin(), repeat.end());
        if (progress)
            progress(Stage::Write, std::min(done, total), total);
    }
    return {};
}

ChipResult SpiNorFlash::program(uint64_t address, std::span<const uint8_t> data,
                                std::stop_token stop, const Progress& progress) {
    if (address > geometry_.capacity || data.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    std::vector<Page> pages;
    const uint32_t pageSize = geometry_.pageSize;
    for (uint64_t at = address; at < address + data.size();) {
        const uint64_t pageEnd = (at / pageSize + 1) * pageSize;
        const auto length = static_cast<uint32_t>(std::min(pageEnd, address + data.size()) - at);
        const uint8_t* bytes = data.data() + (at - address);
        if (std::any_of(bytes, bytes + length, [](uint8_t b) { return b != 0xFF; }))
            pages.push_back({at, length, bytes});
        at += length;
    }
    if (ChipResult r = enterAddressMode(stop); !r.ok())
        return r;
    ChipResult result = programPages(std::move(pages), stop, progress);
    if (ChipResult r = leaveAddressMode(stop); result.ok())
        result = r;
    return result;
}

ChipResult SpiNorFlash::verify(uint64_t address, std::span<const uint8_t> data,
                               std::stop_token stop, const Progress& progress) {
    std::vector<uint8_t> back(data.size());
    if (ChipResult r = read(address, back, 1, stop,
                            [&](Stage, uint64_t d, uint64_t t) {
                                if (progress)
                                    progress(Stage::Verify, d, t);
                            });
        !r.ok())
        return r;
    return compareReadBack(address, data, back);
}

ChipResult SpiNorFlash::write(uint64_t address, std::span<const uint8_t> data, WriteMode mode,
                              std::stop_token stop, const Progress& progress) {
    pagesProgrammed_ = pagesRepeated_ = sectorsErased_ = 0;
    if (geometry_.eraseTypes.empty() || geometry_.capacity == 0)
        return {ChipOutcome::Unsupported};
    if (address > geometry_.capacity || data.size() > geometry_.capacity - address)
        return {ChipOutcome::OutOfRange};
    if (data.empty())
        return {};
    const uint32_t sector = geometry_.eraseTypes.front().size;
    const uint64_t lo = address / sector * sector;
    const uint64_t hi = (address + data.size() + sector - 1) / sector * sector;
    if (ChipResult r = checkProtection(lo, hi, stop); !r.ok())
        return r;
    const auto relay = [&](Stage stage, uint64_t d, uint64_t t) {
        if (progress)
            progress(stage, d, t);
    };

    // What the chip holds now: all of it (differential), or only the sectors the data
    // covers in part, whose other bytes must survive the erase.
    std::vector<uint8_t> current(hi - lo, 0xFF);
    std::vector<bool> needsErase((hi - lo) / sector, mode == WriteMode::Full);
    if (mode == WriteMode::Differential) {
        if (ChipResult r = read(lo, current, 1, stop, relay); !r.ok())
            return r;
    } else {
        for (uint64_t edge : {lo, hi - sector}) {
            const bool partial = edge < address || edge + sector > address + data.size();
            if (partial)
                if (ChipResult r =
                        read(edge, std::span(current).subspan(edge - lo, sector), 1, stop, {});
                    !r.ok())
                    return r;
        }
    }
    std::vector<uint8_t> desired = current;
    std::copy(data.begin(), data.end(), desired.begin() + static_cast<ptrdiff_t>(address - lo));
    if (mode == WriteMode::Differential) {
        for (size_t s = 0; s < needsErase.size(); ++s)
            for (size_t i = s * sector; i < (s + 1) * sector && !needsErase[s]; ++i)
                needsErase[s] = (current[i] & desired[i]) != desired[i];
    }

    if (ChipResult r = enterAddressMode(stop); !r.ok())
        return r;
    ChipResult result;
    std::vector<std::pair<uint64_t, uint64_t>> touched;
    if (mode == WriteMode::Full && lo == 0 && hi == geometry_.capacity) {
        result = eraseChip(stop, relay);
    } else {
        const uint64_t erasing =
            static_cast<uint64_t>(std::count(needsErase.begin(), needsErase.end(), true)) * sector;
        uint64_t erased = 0;
        for (uint64_t at = lo; at < hi && result.ok();) {
            if (!needsErase[(at - lo) / sector]) {
                at += sector;
                continue;
            }
            // The largest erase starting here whose every sector needs erasing.
            const EraseType* use = &geometry_.eraseTypes.front();
            for (const EraseType& type : geometry_.eraseTypes) {
                if (at % type.size != 0 || at + type.size > hi)
                    continue;
                const auto first = needsErase.begin() + static_cast<ptrdiff_t>((at - lo) / sector);
                if (std::all_of(first, first + type.size / sector, [](bool b) { return b; }))
                    use = &type;
            }
            result = eraseUnit(at, *use, stop);
            addSpan(&touched, at, at + use->size);
            at += use->size;
            erased += use->size;
            relay(Stage::Erase, erased, erasing);
        }
    }
    for (size_t s = 0; s < needsErase.size(); ++s)
        if (needsErase[s])
            std::fill_n(current.begin() + static_cast<ptrdiff_t>(s * sector), sector, 0xFF);

    std::vector<Page> pages;
    const uint32_t pageSize = geometry_.pageSize;
    for (uint64_t at = lo; at < hi && result.ok(); at += pageSize) {
        const size_t offset = at - lo;
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(pageSize, hi - at));
        if (!std::equal(desired.begin() + static_cast<ptrdiff_t>(offset),
                        desired.begin() + static_cast<ptrdiff_t>(offset + length),
                        current.begin() + static_cast<ptrdiff_t>(offset))) {
            pages.push_back({at, length, desired.data() + offset});
            addSpan(&touched, at, at + length);
        }
    }
    if (result.ok())
        result = programPages(std::move(pages), stop, progress);
    if (ChipResult r = leaveAddressMode(stop); result.ok())
        result = r;
    if (!result.ok())
        return result;

    // Read back what changed: everything in a full write, else the sectors erased and
    // the pages programmed.
    if (mode == WriteMode::Full)
        touched = {{lo, hi}};
    std::sort(touched.begin(), touched.end());
    std::vector<std::pair<uint64_t, uint64_t>> merged;
    for (const auto& [b, e] : touched)
        addSpan(&merged, b, e);
    touched = std::move(merged);
    uint64_t checked = 0, toCheck = 0;
    for (const auto& [b, e] : touched)
        toCheck += e - b;
    for (const auto& [b, e] : touched) {
        const std::span<const uint8_t> expect(desired.data() + (b - lo), e - b);
        result = verify(b, expect, stop, [&](Stage, uint64_t d, uint64_t) {
            relay(Stage::Verify, checked + d, toCheck);
        });
        checked += e - b;
        if (!result.ok())
            return result;
    }
    return {};
}

} // namespace bridge
