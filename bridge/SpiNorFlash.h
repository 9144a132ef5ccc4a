// SPI NOR flash algorithms over any SpiBus: identify (JEDEC ID, 90 ID, SFDP), status and
// block protection, clearing protection, read, erase, page program and differential
// write, with 4-byte addressing above 16 MiB.
//
// Busy waits cost no round trip per poll where they need not: a page program is sent
// with a continuous status read long enough to cover its typical time, and the next
// page follows in the same batch; a page whose write enable met a still busy chip
// (the status read shows it) is sent again. Long waits (erases) poll with the wait
// done on the bridge.
#pragma once

#include "bridge/ChipResult.h"
#include "bridge/NorProtection.h"
#include "bridge/Sfdp.h"
#include "bridge/SpiBus.h"

#include <array>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

namespace bridge {

struct NorGeometry {
    std::array<uint8_t, 3> jedecId{};
    uint64_t capacity = 0;
    uint32_t pageSize = 256;
    std::vector<EraseType> eraseTypes; // ascending by size; the smallest is the sector
    bool fourByteOpcodes = false;      // above 16 MiB: 13/0C/12 and 4-byte erase opcodes
    bool enter4ByteMode = false;       // above 16 MiB without them: B7 ... E9
    bool enterNeedsWren = false;
    ProtectionScheme protection = ProtectionScheme::Fraction3;
    bool status2 = false;
    bool fromSfdp = false; // built from the chip's SFDP: unconfirmed until read back
};

enum class Presence { Chip, NoChip, NoContact };

struct NorIdentity {
    Presence presence = Presence::NoChip;
    std::array<uint8_t, 3> jedecId{};
    std::array<uint8_t, 2> manufacturerDeviceId{};
    SfdpInfo sfdp;
    std::optional<NorGeometry> geometry; // from sound SFDP, else from the JEDEC capacity
};

// Reads 9F, 90 and SFDP. FF FF FF and 00 00 00 are reported as no chip and no contact.
ChipResult identifyNor(SpiBus& bus, NorIdentity* identity, std::stop_token stop = {});
// The usual geometry of a chip of `capacity` (4/32/64 KiB erase with 20/52/D8, 256-byte
// pages, 4-byte opcodes above 16 MiB): for chips known by ID without SFDP.
NorGeometry geometryFromJedec(const std::array<uint8_t, 3>& jedecId, uint64_t capacity);
NorGeometry geometryFromSfdp(const std::array<uint8_t, 3>& jedecId, const SfdpInfo& sfdp);

enum class WriteMode {
    Full,         // erase the range (the whole chip when it is the range), program, verify
    Differential, // read first; erase only sectors that need bits set, program only pages
                  // that differ, verify only those
};

struct StatusRegisters {
    std::array<uint8_t, 3> value{};
    ProtectedRange protectedRange;
    bool hardwareLockable = false; // SRP set: locked while the WP pin is low
};

class SpiNorFlash {
  public:
    SpiNorFlash(SpiBus& bus, NorGeometry geometry);

    const NorGeometry& geometry() const { return geometry_; }

    ChipResult readStatus(StatusRegisters* status, std::stop_token stop = {});
    // Clears BP/TB/SEC (and CMP) with write enable and a status write, then reads back:
    // HardwareLocked when SRP is set and the bits stayed, NotCleared when they stayed
    // otherwise.
    ChipResult clearProtection(std::stop_token stop = {});

    // `passes` reads compared with each other (ReadsDiffer at the first difference).
    ChipResult read(uint64_t address, std::span<uint8_t> dest, int passes = 1,
                    std::stop_token stop = {}, const Progress& progress = {});
    ChipResult eraseChip(std::stop_token stop = {}, const Progress& progress = {});
    // Erases the sectors [address, address + length) touches; both must be sector aligned.
    ChipResult eraseRange(uint64_t address, uint64_t length, std::stop_token stop = {},
                          const Progress& progress = {});
    // Programs `data` at `address` (the chip must be erased there): pages of all FF are
    // skipped.
    ChipResult program(uint64_t address, std::span<const uint8_t> data, std::stop_token stop = {},
                       const Progress& progress = {});
    // Writes `data` at `address`, keeping every byte outside it. Protected when a
    // protected range overlaps the sectors touched; VerifyFailed when the read-back differs.
    ChipResult write(uint64_t address, std::span<const uint8_t> data, WriteMode mode,
                     std::stop_token stop = {}, const Progress& progress = {});
    // Compares the chip with `data` at `address`.
    ChipResult verify(uint64_t address, std::span<const uint8_t> data, std::stop_token stop = {},
                      const Progress& progress = {});

    // Bytes of page data sent by the last write (program passes and repeats), and pages
    // sent again because the chip was still busy.
    uint64_t pagesProgrammed() const { return pagesProgrammed_; }
    uint64_t pagesRepeated() const { return pagesRepeated_; }
    uint64_t sectorsErased() const { return sectorsErased_; }

  private:
    struct Page {
        uint64_t address;
        uint32_t length;
        const uint8_t* data;
    };
    bool wide() const { return geometry_.capacity > 0x1000000; }
    void putAddress(std::vector<uint8_t>* out, uint64_t address) const;
    ChipResult enterAddressMode(std::stop_token stop);
    ChipResult leaveAddressMode(std::stop_token stop);
    ChipResult waitReady(uint32_t firstWaitUs, uint64_t limitUs, std::stop_token stop);
    ChipResult eraseUnit(uint64_t address, const EraseType& type, std::stop_token stop);
    ChipResult programPages(std::vector<Page> pages, std::stop_token stop,
                            const Progress& progress);
    ChipResult readOnce(uint64_t address, std::span<uint8_t> dest, std::stop_token stop,
                        const Progress& progress, Stage stage);
    ChipResult checkProtection(uint64_t begin, uint64_t end, std::stop_token stop);

    SpiBus& bus_;
    NorGeometry geometry_;
    uint32_t pollBytes_ = 160; // status samples after a page program (adapts)
    uint64_t pagesProgrammed_ = 0;
    uint64_t pagesRepeated_ = 0;
    uint64_t sectorsErased_ = 0;
};

} // namespace bridge
