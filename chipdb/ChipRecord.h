// The stored form of one chip in ChipInfo.chip: 108 bytes, integers little-endian.
// Kept as raw bytes so that padding and reserved bytes survive a load and save
// unchanged and the layout never depends on the compiler.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

inline uint16_t loadLittleEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline uint32_t loadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

inline void storeLittleEndian16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void storeLittleEndian32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

struct ChipRecord {
    static constexpr size_t kSize = 108;

    static constexpr size_t kTypeOffset = 0;
    static constexpr size_t kNameOffset = 4;
    static constexpr size_t kNameSize = 40;
    static constexpr size_t kManufacturerOffset = 44;
    static constexpr size_t kManufacturerSize = 20;
    static constexpr size_t kMinVoltageOffset = 64;
    static constexpr size_t kMaxVoltageOffset = 65;
    static constexpr size_t kPaddingOffset = 66; // 2 bytes, never interpreted
    static constexpr size_t kCapacityOffset = 68;
    static constexpr size_t kProgramModeOffset = 72;
    static constexpr size_t kPageSizeOffset = 76;
    static constexpr size_t kManufacturerIdOffset = 78;
    static constexpr size_t kDeviceIdOffset = 79;
    static constexpr size_t kAddressWidthOffset = 80;
    static constexpr size_t kMemoryWidthOffset = 81;
    static constexpr size_t kReservedOffset = 82; // 26 bytes, never interpreted
    static constexpr size_t kReservedSize = 26;

    std::array<uint8_t, kSize> bytes{};

    uint32_t type() const { return loadLittleEndian32(&bytes[kTypeOffset]); }
    void setType(uint32_t value) { storeLittleEndian32(&bytes[kTypeOffset], value); }

    // The text fields are fixed byte runs: NUL-terminated unless completely full.
    uint8_t* name() { return &bytes[kNameOffset]; }
    const uint8_t* name() const { return &bytes[kNameOffset]; }
    uint8_t* manufacturer() { return &bytes[kManufacturerOffset]; }
    const uint8_t* manufacturer() const { return &bytes[kManufacturerOffset]; }

    uint8_t minVoltage() const { return bytes[kMinVoltageOffset]; }
    void setMinVoltage(uint8_t value) { bytes[kMinVoltageOffset] = value; }
    uint8_t maxVoltage() const { return bytes[kMaxVoltageOffset]; }
    void setMaxVoltage(uint8_t value) { bytes[kMaxVoltageOffset] = value; }

    uint32_t capacity() const { return loadLittleEndian32(&bytes[kCapacityOffset]); }
    void setCapacity(uint32_t value) { storeLittleEndian32(&bytes[kCapacityOffset], value); }
    uint32_t programMode() const { return loadLittleEndian32(&bytes[kProgramModeOffset]); }
    void setProgramMode(uint32_t value) { storeLittleEndian32(&bytes[kProgramModeOffset], value); }
    uint16_t pageSize() const { return loadLittleEndian16(&bytes[kPageSizeOffset]); }
    void setPageSize(uint16_t value) { storeLittleEndian16(&bytes[kPageSizeOffset], value); }

    uint8_t manufacturerId() const { return bytes[kManufacturerIdOffset]; }
    void setManufacturerId(uint8_t value) { bytes[kManufacturerIdOffset] = value; }
    uint8_t deviceId() const { return bytes[kDeviceIdOffset]; }
    void setDeviceId(uint8_t value) { bytes[kDeviceIdOffset] = value; }
    uint8_t addressWidth() const { return bytes[kAddressWidthOffset]; }
    void setAddressWidth(uint8_t value) { bytes[kAddressWidthOffset] = value; }
    uint8_t memoryWidth() const { return bytes[kMemoryWidthOffset]; }
    void setMemoryWidth(uint8_t value) { bytes[kMemoryWidthOffset] = value; }
};

static_assert(sizeof(ChipRecord) == ChipRecord::kSize, "a record is stored as 108 bytes");
static_assert(std::is_trivially_copyable_v<ChipRecord>);
static_assert(std::is_standard_layout_v<ChipRecord>);
static_assert(ChipRecord::kReservedOffset + ChipRecord::kReservedSize == ChipRecord::kSize);
