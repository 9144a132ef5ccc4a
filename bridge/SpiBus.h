// One SPI bus behind a bridge, as the chip algorithms use it: transactions (chip select,
// write n bytes, read m bytes, deselect), sent together in batches so that a bridge
// can keep many in flight instead of paying a USB round trip for each.
//
// Threads: one thread drives a bus. A failed batch (anything but Ok) leaves the bus
// unusable: its answers may still be on their way, so every later batch fails at once
// and the caller opens the bridge again.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <vector>

namespace bridge {

enum class BusResult {
    Ok,
    Failed,    // the bridge did not answer in time, or answered what makes no sense
    Gone,      // the bridge was unplugged
    Cancelled, // the stop token was triggered
};

struct SpiTransaction {
    std::vector<uint8_t> out;   // clocked out after chip select goes low
    uint32_t inLength = 0;      // then this many bytes clocked in (MOSI low)
    uint32_t delayUsBefore = 0; // the bus waits this long first, on the bridge's side
                                // where it can (a busy chip is then polled without
                                // a round trip per poll)
    std::vector<uint8_t> in;    // the `inLength` bytes read, filled by run()
};

class SpiBus {
  public:
    virtual ~SpiBus() = default;
    // Runs the transactions in order. `progress` (may be empty) gets the bytes clocked
    // so far, now and then.
    virtual BusResult run(std::span<SpiTransaction> batch, std::stop_token stop = {},
                          const std::function<void(uint64_t)>& progress = {}) = 0;

    // One transaction; its answer in `*in` (may be null when nothing is read).
    BusResult transfer(std::vector<uint8_t> out, uint32_t inLength, std::vector<uint8_t>* in,
                       std::stop_token stop = {}) {
        SpiTransaction t{std::move(out), inLength, 0, {}};
        const BusResult result = run(std::span(&t, 1), stop);
        if (in != nullptr)
            *in = std::move(t.in);
        return result;
    }
};

} // namespace bridge
