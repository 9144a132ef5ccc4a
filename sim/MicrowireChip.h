// A 93-series Microwire EEPROM on four pins: CS (active high), SK, DI and DO.
//
// With CS high, DI is taken at each rising SK edge: a start bit 1, two opcode bits and
// the address (7/6 bits for a 93C46 in x8/x16, 9/8 for 93C56/66, 11/10 for 93C76/86),
// then for WRITE/WRAL the data, most significant bit first:
//   READ 10 a  (a dummy 0 on DO after the address, then the data; reading continues
//              into the following cells), WRITE 01 a d, ERASE 11 a, EWEN 00 11x..,
//   EWDS 00 00x.., ERAL 00 10x.., WRAL 00 01x.. d.
// Programming needs EWEN first and starts when CS falls; the chip is busy for its write
// cycle and ignores instructions meanwhile. While CS is high and no instruction is under
// way, DO shows ready (1) or busy (0). x16 cells sit in memory high byte first.
#pragma once

#include "sim/SpiSlave.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

class MicrowireSlave {
  public:
    virtual ~MicrowireSlave() = default;
    virtual void setSelect(bool high) = 0;
    virtual void risingEdge(bool di) = 0;
    virtual bool dataOut() const = 0;
};

struct MicrowireConfig {
    std::string name;
    uint32_t capacity = 0;
    uint64_t writeCycleNs = 5'000'000;
    uint64_t eraseAllNs = 15'000'000;
};

std::optional<MicrowireConfig> findMicrowire(const std::string& name);
std::vector<std::string> microwireNames();
// Address bits of a part of `capacity` bytes organised in `width`-bit cells.
uint32_t microwireAddressBits(uint32_t capacity, uint32_t width);

class MicrowireChip : public MicrowireSlave {
  public:
    MicrowireChip(MicrowireConfig config, uint32_t width, const VirtualClock& clock);

    void setSelect(bool high) override;
    void risingEdge(bool di) override;
    bool dataOut() const override;

    std::vector<uint8_t>& memory() { return memory_; }
    bool writeEnabled() const { return writeEnabled_; }

  private:
    enum class Phase { WaitStart, Instruction, Data, Reading, Done };
    bool busy() const { return clock_.now() < busyUntil_; }
    uint32_t cells() const { return config_.capacity * 8 / width_; }
    uint32_t cell(uint32_t index) const;
    void setCell(uint32_t index, uint32_t value);
    void instructionComplete();

    MicrowireConfig config_;
    uint32_t width_;
    uint32_t addressBits_;
    const VirtualClock& clock_;
    std::vector<uint8_t> memory_;
    bool selected_ = false;
    bool writeEnabled_ = false;
    Phase phase_ = Phase::WaitStart;
    uint32_t bits_ = 0;  // instruction bits taken after the start bit
    uint32_t shift_ = 0; // opcode and address as shifted in
    uint32_t data_ = 0;
    uint32_t dataBits_ = 0;
    bool out_ = true;
    uint32_t readCell_ = 0;
    uint32_t readBit_ = 0;
    // Programming that starts when CS falls.
    enum class Pending { None, Write, Erase, EraseAll, WriteAll } pending_ = Pending::None;
    uint32_t pendingCell_ = 0;
    uint64_t busyUntil_ = 0;
};

} // namespace sim
