// An SPI NOR flash chip as the W25Q/GD25Q/MX25L datasheets describe it:
//   9F JEDEC ID (3 bytes), 90 manufacturer/device ID, 5A SFDP (3 address bytes + dummy;
//   FF when the chip has none), 05/35/15 status 1-3 (answered continuously, also while
//   busy), 06/04 write enable/disable, 50 volatile status write enable, 01 write status
//   1 (and 2), 31/11 write status 2/3, 03/0B read (0B with one dummy byte), 02 page
//   program, 20/52/D8 4/32/64 KiB erase, 60/C7 chip erase, B7/E9 enter/exit 4-byte
//   addressing, 13/0C/12/21/DC the 4-byte-address forms of 03/0B/02/20/D8.
// Commands that change the chip take effect when chip select goes high, and only with
// exactly their bytes; while busy (WIP) every command but a status read is ignored and
// MISO floats. Program and erase need WEL, clear it, and are silently ignored (no
// busy time) in a protected range. Page program only clears bits; its data wraps inside
// the page, and of more than a page only the last page-size bytes count. Reads wrap at
// the end of the chip.
//
// Status 1: bit 0 WIP, 1 WEL, BP bits from 2 on, then TB, (SEC), SRP. Status 2: bit 6
// CMP. Status 3: bit 0 ADS (4-byte addressing). Protection schemes:
//   Fraction3: BP0-2, TB bit 5, SEC bit 6. BP 7 = all; SEC 0: the top (TB: bottom)
//              capacity >> (7 - BP); SEC 1: 4 KiB << min(BP - 1, 3).
//   Blocks4:   BP0-3, TB bit 6. 64 KiB << (BP - 1), at most the whole chip.
//   CMP 1 protects the complement. With SRP set and the WP pin low, status writes are
//   ignored (the hardware lock).
#pragma once

#include "sim/SpiSlave.h"

#include <array>
#include <string>
#include <vector>

namespace sim {

enum class ProtectionScheme { Fraction3, Blocks4 };

struct SpiNorTimes {
    uint64_t pageProgramNs = 700'000;
    uint64_t sector4kNs = 45'000'000;
    uint64_t block32kNs = 120'000'000;
    uint64_t block64kNs = 150'000'000;
    uint64_t chipNs = 10'000'000'000;
    uint64_t statusWriteNs = 10'000'000;
};

struct SpiNorConfig {
    std::string name;
    std::array<uint8_t, 3> jedecId{};
    std::array<uint8_t, 2> manufacturerDeviceId{};
    uint32_t capacity = 0;
    uint32_t pageSize = 256;
    std::vector<uint8_t> sfdp; // empty: the chip has no SFDP
    ProtectionScheme protection = ProtectionScheme::Fraction3;
    SpiNorTimes times;
};

class SpiNorChip : public SpiSlave {
  public:
    SpiNorChip(SpiNorConfig config, const VirtualClock& clock);

    void select() override;
    uint8_t exchange(uint8_t mosi) override;
    void deselect() override;

    // The WP pin: low (true) with SRP set locks the status registers.
    void setWriteProtectPin(bool low) { wpLow_ = low; }
    // Test access: status registers as stored, memory.
    void setStatus(int index, uint8_t value) { status_.at(index) = value; }
    uint8_t status(int index) const;
    std::vector<uint8_t>& memory() { return memory_; }
    const SpiNorConfig& config() const { return config_; }
    bool busy() const { return clock_.now() < busyUntil_; }
    // The protected byte range [begin, end) the status registers select.
    std::pair<uint32_t, uint32_t> protectedRange() const;

  private:
    bool isProtected(uint32_t begin, uint32_t end) const;
    uint32_t addressLength(uint8_t opcode) const;
    uint32_t addressAt(size_t from, uint32_t length) const;
    void finishCommand();
    void startBusy(uint64_t ns) { busyUntil_ = clock_.now() + ns; }
    void writeStatus(size_t firstRegister);
    void erase(uint32_t address, uint32_t size, uint64_t ns);

    SpiNorConfig config_;
    const VirtualClock& clock_;
    std::vector<uint8_t> memory_;
    std::array<uint8_t, 3> status_{};
    uint64_t busyUntil_ = 0;
    bool wpLow_ = false;
    bool volatileWriteEnable_ = false;
    bool selected_ = false;
    bool ignored_ = false;         // the command arrived while busy
    std::vector<uint8_t> command_; // opcode and address bytes
    size_t bytes_ = 0;             // bytes of the command so far
    uint32_t readAddress_ = 0;
    uint32_t programAddress_ = 0;
    uint32_t programCount_ = 0;
    std::vector<uint8_t> pageBuffer_;
};

} // namespace sim
