// One I2C bus behind a bridge: a script of bus conditions and bytes, run as one batch so
// that a bridge can keep it in flight without a USB round trip per step.
//
// Answers come back in script order: one byte per address() (0 when the byte was
// acknowledged, non-zero when not) and the bytes of every read().
#pragma once

#include "bridge/SpiBus.h"

#include <cstdint>
#include <span>
#include <stop_token>
#include <vector>

namespace bridge {

struct I2cOp {
    enum Kind : uint8_t { Start, Stop, Address, Write, Read, WaitUs };
    Kind kind = Start;
    uint32_t count = 0;         // Read: bytes (the last one not acknowledged); WaitUs: µs
    std::vector<uint8_t> bytes; // Address: the one byte; Write: the bytes
};

class I2cScript {
  public:
    void start() { ops_.push_back({I2cOp::Start, 0, {}}); }
    void stop() { ops_.push_back({I2cOp::Stop, 0, {}}); }
    // Writes `byte` and answers whether it was acknowledged.
    void address(uint8_t byte) {
        ops_.push_back({I2cOp::Address, 0, {byte}});
        ++answers_;
    }
    void write(std::span<const uint8_t> bytes) {
        if (!bytes.empty())
            ops_.push_back({I2cOp::Write, 0, {bytes.begin(), bytes.end()}});
    }
    void read(uint32_t count) {
        if (count == 0)
            return;
        ops_.push_back({I2cOp::Read, count, {}});
        answers_ += count;
    }
    void waitUs(uint32_t us) { ops_.push_back({I2cOp::WaitUs, us, {}}); }

    const std::vector<I2cOp>& ops() const { return ops_; }
    uint64_t answers() const { return answers_; }

  private:
    std::vector<I2cOp> ops_;
    uint64_t answers_ = 0;
};

class I2cBus {
  public:
    virtual ~I2cBus() = default;
    // Bus clock in kHz; the bus may round down to a speed it has.
    virtual uint32_t clockKHz() const = 0;
    virtual BusResult setClockKHz(uint32_t kHz) = 0;
    virtual BusResult run(const I2cScript& script, std::vector<uint8_t>* answers,
                          std::stop_token stop = {}) = 0;
};

} // namespace bridge
