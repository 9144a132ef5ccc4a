// Read, Erase, Write, Verify and Auto from the main window against a simulated
// programmer: bytes on the chip and in the buffer, commands on the wire, texts shown.
#include "tests/operations/OperationsFixture.h"

#include <QTemporaryDir>
#include <cstdio>

using namespace optest;

namespace {

std::string hexOf(const Bytes& bytes) {
    std::string text;
    char cell[4];
    for (uint8_t byte : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", byte);
        text += cell;
    }
    return text;
}

} // namespace

TEST_F(OperationsTest, ReadBringsTheChipIntoTheBufferAndTheHexView) {
    for (Language language : {Language::English, Language::Chinese}) {
        const ChipInfo chip = flashChip("EN25T80", 0x100000);
        plugIn(&chip);
        Bytes contents = pattern(0x100000);
        std::memcpy(contents.data(), "Brimwick+ reads!", 16);
        firmware_->setChipContents(0, contents);
        CMainDlg& window = start(language);
        ASSERT_TRUE(boxes_.boxes.empty());

        window.runCommand(IdRead);
        EXPECT_TRUE(boxes_.boxes.empty());
        EXPECT_EQ(status(), language == Language::English ? "Read Successfully" : "读数据完成！");
        EXPECT_EQ(storeBytes(0, 0x100000), contents);
        EXPECT_EQ(hexLine(window, 0),
                  (std::vector<std::string>{
                      "0x000000:", hexOf(Bytes(contents.begin(), contents.begin() + 16)),
                      "Brimwick+ reads!"}));
        EXPECT_EQ(hexLine(window, 1)[1],
                  hexOf(Bytes(contents.begin() + 16, contents.begin() + 32)));
        EXPECT_EQ(window.progressBar()->value(), 100);
        EXPECT_EQ(percent(), "100%");
        // One read command for the whole chip: 01 0A 01, address 0, length 1 MiB, 03.
        EXPECT_EQ(firmware_->commandLog().back(),
                  (Bytes{0x01, 0x0A, 0x01, 0, 0, 0, 0, 0x00, 0x10, 0x00, 0x00, 0x03, 0, 0, 0}));
        started_.reset();
    }
}

TEST_F(OperationsTest, AutoErasesWritesAndVerifiesAFlashChipFromALoadedFile) {
    const ChipInfo chip = flashChip("EN25T80", 0x100000);
    sim::FirmwareOptions options = unpaced();
    options.pacing.eraseMs = 250;
    plugIn(&chip, options);
    firmware_->setChipContents(0, Bytes(0x100000, 0x00)); // programmed: needs the erase
    CMainDlg& window = start(Language::English);

    QTemporaryDir folder;
    const std::string file = folder.filePath("image.bin").toStdString();
    const Bytes image = pattern(0x100000, 3);
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(image.data(), 1, image.size(), out);
    std::fclose(out);
    ASSERT_TRUE(window.loadDataFile(file));

    const size_t before = commandCount();
    window.runCommand(IdAuto);
    EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
    EXPECT_EQ(status(), "Verify Successfully");
    EXPECT_EQ(firmware_->chipContents(), image);
    EXPECT_EQ(percent(), "100%");

    // Erase, its status polls, the write, then sixteen 64 KiB verify blocks.
    const Bytes opcodes = opcodesSince(before);
    ASSERT_GE(opcodes.size(), 19u);
    EXPECT_EQ(opcodes[0], 0x04);
    EXPECT_EQ(opcodes[1], 0x03);
    const auto write = std::find(opcodes.begin(), opcodes.end(), 0x02);
    ASSERT_NE(write, opcodes.end());
    EXPECT_TRUE(std::all_of(opcodes.begin() + 1, write, [](uint8_t op) { return op == 0x03; }));
    // Status is asked about every 100 ms while the erase runs, not faster.
    const auto polls = write - opcodes.begin() - 1;
    EXPECT_GE(polls, 2);
    EXPECT_LE(polls, 5);
    EXPECT_EQ(readLengthsSince(before), std::vector<uint32_t>(16, 0x10000));
    EXPECT_EQ(window.dataBuffer().length(), 0x100000u); // Verify changes nothing
    EXPECT_EQ(storeBytes(0, 0x100000), image);
}

TEST_F(OperationsTest, WriteWithoutEraseOntoAProgrammedFlashShowsTheFirstDifference) {
    for (Language language : {Language::English, Language::Chinese}) {
        const ChipInfo chip = flashChip("EN25T80", 0x100000);
        plugIn(&chip);
        firmware_->setChipContents(0x100, {0x0F});
        firmware_->setChipContents(0x9000, {0x00});
        CMainDlg& window = start(language);
        setStore(0x100, {0xA5}); // flash only clears bits: the chip ends up holding 05
        setStore(0x9000, {0x5A});

        window.runCommand(IdWrite);
        EXPECT_EQ(status(), language == Language::English ? "Write Successfully" : "写数据完成！");
        EXPECT_EQ(firmware_->chipContents()[0x100], 0x05);
        window.runCommand(IdVerify);
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_EQ(boxes_.boxes[0].style, BoxStyle::Ok);
        if (language == Language::English) {
            EXPECT_EQ(boxes_.boxes[0].text,
                      "Verify Failure!\r\nAddr:0x100\r\nBuffer:A5\r\nDevice:05");
            EXPECT_EQ(status(), "Verify Failure");
        } else {
            EXPECT_EQ(boxes_.boxes[0].text, "校验出错!\r\n地址:0x100\r\n缓冲区:A5\r\n器件:05");
            EXPECT_EQ(status(), "校验数据出错！");
        }
        boxes_.boxes.clear();

        // A difference in a later block shows its whole address.
        setStore(0x100, {0x05});
        window.runCommand(IdVerify);
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_NE(boxes_.boxes[0].text.find(":0x9000\r\n"), std::string::npos);
        EXPECT_NE(boxes_.boxes[0].text.find(":5A\r\n"), std::string::npos);
        EXPECT_EQ(boxes_.boxes[0].text.substr(boxes_.boxes[0].text.size() - 3), ":00");
        boxes_.boxes.clear();
        started_.reset();
    }
}

TEST_F(OperationsTest, A24EepromRunsAutoWithoutErase) {
    const ChipInfo eeprom = makeChip(ChipType::Eeprom24, "AT24C02", 256, 1, 8, 0, 0, 8, "Atmel");
    plugIn(&eeprom);
    CMainDlg& window = start(Language::Chinese);
    select(eeprom);
    const Bytes data = pattern(256, 11);
    setStore(0, data);

    size_t before = commandCount();
    window.runCommand(IdErase); // greyed, and refused should it run anyway
    window.OnErase();
    window.OnChipIdentify();
    EXPECT_EQ(commandCount(), before);
    EXPECT_TRUE(boxes_.boxes.empty());

    window.runCommand(IdAuto);
    EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
    EXPECT_EQ(status(), "校验数据正确！");
    EXPECT_EQ(firmware_->chipContents(), data);
    // Write with 8-byte pages, family 2, address mode 0x13, then one 256-byte block.
    const auto log = firmware_->commandLog();
    ASSERT_EQ(log.size() - before, 2u);
    EXPECT_EQ(log[before],
              (Bytes{0x02, 0x0C, 0x02, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x00, 0x08, 0x13, 0, 0, 0}));
    EXPECT_EQ(readLengthsSince(before), std::vector<uint32_t>{256});
}

TEST_F(OperationsTest, VerifyReadsTheLastBlockOnlyUpToTheChipsEnd) {
    const ChipInfo chip = flashChip("XY25X96", 0x18000, 0xC8, 0x42);
    plugIn(&chip);
    CMainDlg& window = start(Language::English, {flashChip("EN25T80", 0x100000), chip});
    select(chip);
    const Bytes contents = pattern(0x18000, 5);
    firmware_->setChipContents(0, contents);
    setStore(0, contents);
    // Past the chip the buffer holds other bytes; the chip's addresses wrap to its start.
    setStore(0x18000, Bytes(0x8000, 0x00));

    size_t before = commandCount();
    window.runCommand(IdVerify);
    EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
    EXPECT_EQ(status(), "Verify Successfully");
    EXPECT_EQ(readLengthsSince(before), (std::vector<uint32_t>{0x10000, 0x8000}));

    // The chip's very last byte is still compared.
    setStore(0x17FFF, {static_cast<uint8_t>(contents[0x17FFF] ^ 0xFF)});
    window.runCommand(IdVerify);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].text.find("Addr:0x17FFF\r\n"), std::string::npos);
}

TEST_F(OperationsTest, AChipOfNoBytesEndsAtOnceAndOneLargerThanTheBufferIsRefused) {
    const ChipInfo chip = flashChip("EN25T80", 0x100000);
    plugIn(&chip);
    CMainDlg& window = start(Language::English);

    ChipInfo empty = zeroChip();
    select(empty);
    size_t before = commandCount();
    window.runCommand(IdVerify);
    EXPECT_EQ(status(), "Verify Successfully");
    EXPECT_EQ(commandCount(), before); // no block read at all
    const auto started = std::chrono::steady_clock::now();
    window.runCommand(IdRead);
    EXPECT_EQ(status(), "Read Successfully");
    window.runCommand(IdWrite);
    EXPECT_EQ(status(), "Write Successfully");
    EXPECT_LT(secondsSince(started), 1.0);
    EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;

    // Larger than the 16 MiB buffer: refused before anything is sent, buffer untouched.
    const ChipInfo huge = flashChip("HUGE25", 0x1000001);
    select(huge);
    const Bytes head = storeBytes(0, 256);
    window.setStatusText("before");
    before = commandCount();
    for (unsigned id : {IdRead, IdWrite, IdVerify, IdAuto})
        window.runCommand(id);
    EXPECT_EQ(commandCount(), before);
    EXPECT_EQ(boxes_.texts(),
              std::vector<std::string>(4, "The chip is larger than the 16 MB buffer!"));
    EXPECT_EQ(status(), "before");
    EXPECT_EQ(storeBytes(0, 256), head);
    EXPECT_EQ(firmware_->chipContents(), Bytes(0x100000, 0xFF));

    // Exactly 16 MiB still fits.
    boxes_.boxes.clear();
    const ChipInfo largest = flashChip("BIG25", 0x1000000);
    plugIn(&largest);
    select(largest);
    firmware_->setChipContents(0xFFFFF0, Bytes(16, 0x3C));
    window.runCommand(IdRead);
    EXPECT_TRUE(boxes_.boxes.empty());
    EXPECT_EQ(storeBytes(0xFFFFF0, 16), Bytes(16, 0x3C));
    window.runCommand(IdVerify);
    EXPECT_EQ(status(), "Verify Successfully");
}
