// The SPI chip models against their datasheets, driven byte by byte; the block
// protection rules and the SFDP parser against the datasheets' tables.
#include "bridge/NorProtection.h"
#include "bridge/Sfdp.h"
#include "sim/SpiChipCatalogue.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kMs = 1'000'000;

struct Step {
    Step(Bytes command, Bytes expect = {}, uint64_t waitNs = 0)
        : command(std::move(command)), expect(std::move(expect)), waitNs(waitNs) {}
    Bytes command;
    Bytes expect;    // the bytes read after the command; none read when empty
    uint64_t waitNs; // time passing after the step
};

struct Script {
    const char* name;
    const char* chip;
    sim::SpiChipOptions options;
    std::vector<Step> steps;
};

TEST(ChipModel, CommandsBehaveAsTheDatasheetsSay) {
    const Bytes sfdp{'S', 'F', 'D', 'P'}, ff4(4, 0xFF);
    const Script scripts[] = {
        {"IDs",
         "W25Q32",
         {},
         {{{0x9F}, {0xEF, 0x40, 0x16}},
          {{0x90, 0, 0, 0}, {0xEF, 0x15}},
          {{0x90, 0, 0, 1}, {0x15, 0xEF}},
          {{0x5A, 0, 0, 0, 0}, sfdp}}},
        {"no SFDP", "MX25L3205D", {}, {{{0x5A, 0, 0, 0, 0}, ff4}, {{0x9F}, {0xC2, 0x20, 0x16}}}},
        {"program needs WEL, clears bits only, clears WEL",
         "W25Q32",
         {},
         {{{0x02, 0, 0, 0, 0x12}},
          {{0x03, 0, 0, 0}, {0xFF}},
          {{0x06}},
          {{0x05}, {0x02}},
          {{0x02, 0, 0, 0, 0xF0}, {}, kMs},
          {{0x06}},
          {{0x02, 0, 0, 0, 0x3F}, {}, kMs},
          {{0x0B, 0, 0, 0, 0}, {0x30}},
          {{0x05}, {0x00}}}},
        {"page program wraps inside the page",
         "W25Q32",
         {},
         {{{0x06}},
          {{0x02, 0, 1, 0xFE, 0xAA, 0xBB, 0xCC}, {}, kMs},
          {{0x03, 0, 1, 0xFE}, {0xAA, 0xBB, 0xFF}},
          {{0x03, 0, 1, 0}, {0xCC}}}},
        {"busy: only status answers, until the erase time has passed",
         "W25Q32",
         {},
         {{{0x06}},
          {{0x02, 0, 0x10, 0, 0}, {}, kMs},
          {{0x06}},
          {{0x20, 0, 0x1F, 0xFF}},
          {{0x05}, {0x01, 0x01}},
          {{0x9F}, {0xFF, 0xFF, 0xFF}},
          {{0x06}, {}, 44 * kMs},
          {{0x05}, {0x01}, 1 * kMs},
          {{0x05}, {0x00}},
          {{0x03, 0, 0x10, 0}, {0xFF}}}},
        {"an erase with a byte too many does nothing",
         "W25Q32",
         {},
         {{{0x06}},
          {{0x02, 0, 0, 0, 0}, {}, kMs},
          {{0x06}},
          {{0x20, 0, 0, 0, 0}},
          {{0x05}, {0x02}},
          {{0x03, 0, 0, 0}, {0x00}}}},
        {"a protected range ignores program and erase",
         "W25Q32",
         {.status1 = 0x04},
         {{{0x06}},
          {{0x02, 0x3F, 0, 0, 0}},
          {{0x05}, {0x04}},
          {{0x03, 0x3F, 0, 0}, {0xFF}},
          {{0x06}},
          {{0xC7}},
          {{0x05}, {0x04}},
          {{0x06}},
          {{0x02, 0x3E, 0xFF, 0, 0}, {}, kMs},
          {{0x03, 0x3E, 0xFF, 0}, {0x00}}}},
        {"status write: WP pin lock, volatile write",
         "W25Q32",
         {.status1 = 0x1C, .hardwareLock = true},
         {{{0x06}}, {{0x01, 0x00}}, {{0x05}, {0x9C}}, {{0x50}}, {{0x01, 0x00}}, {{0x05}, {0x9C}}}},
        {"status write takes with WEL and is busy",
         "W25Q32",
         {.status1 = 0x1C},
         {{{0x50}},
          {{0x01, 0x04}},
          {{0x05}, {0x04}},
          {{0x06}},
          {{0x01, 0x00}},
          {{0x05}, {0x01}, 15 * kMs},
          {{0x05}, {0x00}}}},
        {"4-byte opcodes and 4-byte mode above 16 MiB",
         "W25Q256",
         {},
         {{{0x06}},
          {{0x12, 1, 0, 0, 0, 0xAB}, {}, kMs},
          {{0x03, 0, 0, 0}, {0xFF}},
          {{0x13, 1, 0, 0, 0}, {0xAB}},
          {{0xB7}},
          {{0x15}, {0x01}},
          {{0x0B, 1, 0, 0, 0, 0}, {0xAB}},
          {{0xE9}},
          {{0x15}, {0x00}}}},
        {"25040: the ninth address bit is in the opcode",
         "25LC040",
         {},
         {{{0x06}},
          {{0x0A, 0x10, 0x77}},
          {{0x05}, {0x01}},
          {{0x03, 0x10}, {0xFF}, 5 * kMs},
          {{0x03, 0x10}, {0xFF}},
          {{0x0B, 0x10}, {0x77}}}},
        {"EEPROM page write wraps and needs WEL",
         "25LC256",
         {},
         {{{0x02, 0, 0, 0x99}},
          {{0x05}, {0x00}},
          {{0x06}},
          {{0x02, 0, 0x3F, 0x11, 0x22}},
          {{0x03, 0, 0}, {0xFF}, 5 * kMs},
          {{0x03, 0, 0}, {0x22}},
          {{0x03, 0, 0x3F}, {0x11}}}},
        {"EEPROM protected quarter",
         "25LC256",
         {.status1 = 0x04},
         {{{0x06}}, {{0x02, 0x60, 0, 0x55}}, {{0x05}, {0x04}}, {{0x03, 0x60, 0}, {0xFF}}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        sim::VirtualClock clock;
        auto chip = sim::makeSpiChip(script.chip, script.options, clock);
        ASSERT_TRUE(chip);
        for (size_t s = 0; s < script.steps.size(); ++s) {
            const Step& step = script.steps[s];
            chip->select();
            for (uint8_t b : step.command)
                chip->exchange(b);
            Bytes got;
            for (size_t i = 0; i < step.expect.size(); ++i)
                got.push_back(chip->exchange(0));
            chip->deselect();
            EXPECT_EQ(got, step.expect) << "step " << s;
            clock.advance(step.waitNs);
        }
    }
}

TEST(ChipModel, BlockProtectionRulesMatchTheDatasheetTablesInModelAndHost) {
    using enum bridge::ProtectionScheme;
    constexpr uint64_t k4M = 4 << 20, k32M = 32 << 20;
    struct Case {
        const char* chip;
        bridge::ProtectionScheme scheme;
        uint8_t status1, status2;
        uint64_t begin, end;
    } cases[] = {
        {"W25Q32", Fraction3, 0x00, 0x00, 0, 0},
        {"W25Q32", Fraction3, 0x04, 0x00, k4M - 0x10000, k4M},    // upper 1/64
        {"W25Q32", Fraction3, 0x18, 0x00, k4M / 2, k4M},          // upper 1/2
        {"W25Q32", Fraction3, 0x2C, 0x00, 0, k4M / 16},           // lower 1/16
        {"W25Q32", Fraction3, 0x1C, 0x00, 0, k4M},                // all
        {"W25Q32", Fraction3, 0x4C, 0x00, k4M - 0x4000, k4M},     // upper 16 KiB
        {"W25Q32", Fraction3, 0x64, 0x00, 0, 0x1000},             // lower 4 KiB
        {"W25Q32", Fraction3, 0x04, 0x40, 0, k4M - 0x10000},      // CMP: lower 63/64
        {"W25Q32", Fraction3, 0x00, 0x40, 0, k4M},                // CMP, BP 0: all
        {"W25Q256", Blocks4, 0x04, 0x00, k32M - 0x10000, k32M},   // upper 64 KiB
        {"W25Q256", Blocks4, 0x48, 0x00, 0, 0x20000},             // lower 128 KiB
        {"W25Q256", Blocks4, 0x28, 0x00, 0, k32M},                // BP 10: all
        {"MX25L3205D", Blocks4, 0x1C, 0x00, k4M - 0x400000, k4M}, // BP 7: 4 MiB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + std::to_string(c.status1));
        sim::VirtualClock clock;
        sim::SpiNorChip chip(*sim::findSpiNor(c.chip), clock);
        chip.setStatus(0, c.status1);
        chip.setStatus(1, c.status2);
        auto [begin, end] = chip.protectedRange();
        if (begin == end)
            begin = end = 0;
        EXPECT_EQ(begin, c.begin);
        EXPECT_EQ(end, c.end);
        const uint64_t capacity = chip.config().capacity;
        EXPECT_EQ(bridge::protectionSchemeFor(chip.config().jedecId, capacity), c.scheme);
        const bridge::ProtectedRange host =
            bridge::decodeProtection(c.scheme, capacity, c.status1, c.status2);
        EXPECT_EQ(host, (c.begin == c.end ? bridge::ProtectedRange{}
                                          : bridge::ProtectedRange{c.begin, c.end}));
    }
}

TEST(ChipModel, SfdpParserTakesSoundTablesAndRefusesDamagedOnes) {
    const Bytes good = sim::buildSfdp(4 << 20, false), wide = sim::buildSfdp(32 << 20, true);
    const auto changed = [](Bytes image, size_t at, uint8_t value) {
        image.at(at) = value;
        return image;
    };
    struct Case {
        const char* name;
        Bytes image;
        uint64_t jedecCapacity;
        bridge::SfdpState state;
        size_t eraseTypes;
        bool fourByteOpcodes;
    } cases[] = {
        {"sound", good, 4 << 20, bridge::SfdpState::Sound, 3, false},
        {"sound, capacity unknown", good, 0, bridge::SfdpState::Sound, 3, false},
        {"above 16 MiB", wide, 32 << 20, bridge::SfdpState::Sound, 3, true},
        {"density disagrees", good, 8 << 20, bridge::SfdpState::Damaged, 0, false},
        {"no signature", changed(good, 0, 'X'), 4 << 20, bridge::SfdpState::Absent, 0, false},
        {"table pointer outside", changed(good, 12, 0xF0), 4 << 20, bridge::SfdpState::Damaged, 0,
         false},
        {"too short", changed(good, 11, 4), 4 << 20, bridge::SfdpState::Damaged, 0, false},
        {"major revision 2", changed(good, 5, 2), 4 << 20, bridge::SfdpState::Damaged, 0, false},
        {"truncated", Bytes(good.begin(), good.begin() + 40), 4 << 20, bridge::SfdpState::Damaged,
         0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bridge::SfdpInfo info = bridge::parseSfdp(c.image, c.jedecCapacity);
        EXPECT_EQ(info.state, c.state);
        EXPECT_EQ(info.eraseTypes.size(), c.state == bridge::SfdpState::Sound ? c.eraseTypes : 0u);
        EXPECT_EQ(info.fourByteOpcodes, c.fourByteOpcodes);
        if (c.state != bridge::SfdpState::Sound)
            continue;
        EXPECT_EQ(info.pageSize, 256u);
        EXPECT_EQ(info.eraseTypes[0],
                  (bridge::EraseType{4096, 0x20, uint8_t(c.fourByteOpcodes ? 0x21 : 0)}));
        EXPECT_EQ(info.eraseTypes[2],
                  (bridge::EraseType{65536, 0xD8, uint8_t(c.fourByteOpcodes ? 0xDC : 0)}));
        EXPECT_EQ(info.capacity, c.image == wide ? 32u << 20 : 4u << 20);
    }
}

} // namespace
