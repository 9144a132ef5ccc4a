// What a chip algorithm reports, and how it reports progress.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "bridge/SpiBus.h"

namespace bridge {

enum class Stage { Read, Erase, Write, Verify };
// (stage, done, total) in bytes; may be empty.
using Progress = std::function<void(Stage, uint64_t, uint64_t)>;

enum class ChipOutcome {
    Ok,
    BusFailed,      // the bridge stalled or answered nonsense
    BusGone,        // the bridge was unplugged
    Cancelled,      // the stop token was triggered
    NoChip,         // the ID reads FF FF FF: nothing answers
    NoContact,      // the ID reads 00 00 00: MISO held low, a clip without contact
    Protected,      // the target range is write protected (range in `begin`, `end`)
    HardwareLocked, // the status register is locked by SRP and the WP pin
    NotCleared,     // the status write did not take
    StillBusy,      // the chip stayed busy past its longest datasheet time
    VerifyFailed,   // the chip holds other data than written (first address in `begin`)
    ReadsDiffer,    // two reads of the same range differ (loose contact; `begin`)
    OutOfRange,     // the range does not fit the chip
    Unsupported,    // the chip's geometry is unknown
};

struct ChipResult {
    ChipOutcome outcome = ChipOutcome::Ok;
    uint64_t begin = 0;
    uint64_t end = 0;
    bool ok() const { return outcome == ChipOutcome::Ok; }
};

inline ChipResult fromBus(BusResult result) {
    switch (result) {
    case BusResult::Ok:
        return {};
    case BusResult::Gone:
        return {ChipOutcome::BusGone};
    case BusResult::Cancelled:
        return {ChipOutcome::Cancelled};
    case BusResult::Failed:
        break;
    }
    return {ChipOutcome::BusFailed};
}

// Ok when the chip read `back` what was written (`data` at `address`), else VerifyFailed
// at the first address that differs.
inline ChipResult compareReadBack(uint64_t address, std::span<const uint8_t> data,
                                  std::span<const uint8_t> back) {
    const auto [a, b] = std::mismatch(data.begin(), data.end(), back.begin());
    if (a == data.end())
        return {};
    const uint64_t bad = address + static_cast<uint64_t>(a - data.begin());
    return {ChipOutcome::VerifyFailed, bad, bad + 1};
}

// A short English name of the outcome, for logs and the benchmark.
const char* outcomeName(ChipOutcome outcome);

} // namespace bridge
