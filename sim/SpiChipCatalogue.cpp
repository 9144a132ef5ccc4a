#include "sim/SpiChipCatalogue.h"

namespace sim {
namespace {

void putDword(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

SpiNorConfig nor(const char* name, uint8_t manufacturer, uint8_t type, uint8_t capacityCode,
                 uint8_t deviceId, bool sfdp, ProtectionScheme scheme, uint64_t chipEraseMs) {
    SpiNorConfig config;
    config.name = name;
    config.jedecId = {manufacturer, type, capacityCode};
    config.manufacturerDeviceId = {manufacturer, deviceId};
    config.capacity = uint32_t{1} << capacityCode;
    config.protection = scheme;
    config.times.chipNs = chipEraseMs * 1'000'000;
    if (sfdp)
        config.sfdp = buildSfdp(config.capacity, config.capacity > 0x1000000);
    return config;
}

// Datasheet values: W25Q32JV/64JV/128JV/256JV, GD25Q32C, MX25L3205D (no SFDP, four BP bits).
std::vector<SpiNorConfig> norChips() {
    using enum ProtectionScheme;
    return {
        nor("W25Q32", 0xEF, 0x40, 0x16, 0x15, true, Fraction3, 10'000),
        nor("W25Q64", 0xEF, 0x40, 0x17, 0x16, true, Fraction3, 20'000),
        nor("W25Q128", 0xEF, 0x40, 0x18, 0x17, true, Fraction3, 40'000),
        nor("W25Q256", 0xEF, 0x40, 0x19, 0x18, true, Blocks4, 80'000),
        nor("GD25Q32", 0xC8, 0x40, 0x16, 0x15, true, Fraction3, 10'000),
        nor("MX25L3205D", 0xC2, 0x20, 0x16, 0x15, false, Blocks4, 25'000),
    };
}

std::vector<SpiEepromConfig> eepromChips() {
    return {
        {"25LC010", 128, 16, 1, 5'000'000},      {"25LC040", 512, 16, 1, 5'000'000},
        {"25LC256", 32768, 64, 2, 5'000'000},    {"25LC512", 65536, 128, 2, 5'000'000},
        {"25LC1024", 131072, 256, 3, 6'000'000},
    };
}

} // namespace

std::vector<uint8_t> buildSfdp(uint32_t capacity, bool fourByte) {
    constexpr size_t kBasic = 0x30, kFourByteTable = 0x80;
    std::vector<uint8_t> sfdp(fourByte ? kFourByteTable + 8 : kBasic + 64, 0xFF);
    // Header: signature, revision 1.6, two parameter headers (count - 1), protocol FF.
    const uint8_t header[8] = {'S', 'F', 'D', 'P', 0x06, 0x01, uint8_t(fourByte ? 1 : 0), 0xFF};
    std::copy(header, header + 8, sfdp.begin());
    // Parameter header: ID FF00, revision 1.6, 16 DWORDs, at kBasic.
    const uint8_t basic[8] = {0x00, 0x06, 0x01, 16, kBasic, 0x00, 0x00, 0xFF};
    std::copy(basic, basic + 8, sfdp.begin() + 8);
    if (fourByte) {
        const uint8_t table[8] = {0x84, 0x00, 0x01, 2, kFourByteTable, 0x00, 0x00, 0xFF};
        std::copy(table, table + 8, sfdp.begin() + 16);
    }
    // DWORD 1: 4 KiB erase (01) with opcode 20; address bytes 3 only (00) or 3 or 4 (01).
    putDword(sfdp, kBasic, 0xFF8020E5u | (fourByte ? 1u << 17 : 0));
    // DWORD 2: density in bits minus one.
    putDword(sfdp, kBasic + 4, capacity * 8u - 1);
    // DWORDs 8-9: erase types 4 KiB/20, 32 KiB/52, 64 KiB/D8, none.
    putDword(sfdp, kBasic + 28, 0x520F200C);
    putDword(sfdp, kBasic + 32, 0x0000D810);
    // DWORD 11: page size 2^8.
    putDword(sfdp, kBasic + 40, 0x00280080);
    // DWORD 16: enter 4-byte addressing with B7 (bit 24), exit with E9 (bit 14).
    putDword(sfdp, kBasic + 60, fourByte ? 0x010040F0u : 0);
    if (fourByte) {
        // 13, 0C, 12, erase types 1 and 3 supported with opcodes 21, DC.
        putDword(sfdp, kFourByteTable, 0x00000001 | 0x2 | 0x40 | 0x200 | 0x800);
        putDword(sfdp, kFourByteTable + 4, 0xFFDC5C21);
    }
    return sfdp;
}

std::optional<SpiNorConfig> findSpiNor(const std::string& name) {
    for (SpiNorConfig& config : norChips())
        if (config.name == name)
            return config;
    return std::nullopt;
}

std::optional<SpiEepromConfig> findSpiEeprom(const std::string& name) {
    for (SpiEepromConfig& config : eepromChips())
        if (config.name == name)
            return config;
    return std::nullopt;
}

std::vector<std::string> spiChipNames() {
    std::vector<std::string> names;
    for (const SpiNorConfig& config : norChips())
        names.push_back(config.name);
    for (const SpiEepromConfig& config : eepromChips())
        names.push_back(config.name);
    return names;
}

std::unique_ptr<SpiSlave> makeSpiChip(const std::string& name, const SpiChipOptions& options,
                                      const VirtualClock& clock) {
    if (auto eeprom = findSpiEeprom(name)) {
        auto chip = std::make_unique<SpiEepromChip>(*eeprom, clock);
        chip->setStatus(options.status1 & 0x8C);
        return chip;
    }
    auto config = findSpiNor(name);
    if (!config)
        return nullptr;
    if (options.sfdp == SfdpVariant::None)
        config->sfdp.clear();
    else if (options.sfdp == SfdpVariant::Damaged && config->sfdp.size() > 0x34)
        putDword(config->sfdp, 0x34, config->capacity * 32u - 1); // four times too large
    if (options.pageProgramNs != 0)
        config->times.pageProgramNs = options.pageProgramNs;
    auto chip = std::make_unique<SpiNorChip>(std::move(*config), clock);
    chip->setStatus(0, static_cast<uint8_t>(options.status1 & 0xFC) |
                           (options.hardwareLock ? 0x80 : 0));
    chip->setWriteProtectPin(options.hardwareLock);
    return chip;
}

} // namespace sim
