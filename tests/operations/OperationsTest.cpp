// The device commands against a simulated programmer, through the window and the core alone.
#include "protocol/DeviceOperations.h"
#include "sim/Ch341aDevice.h"
#include "sim/SimServer.h"
#include "sim/SpiChipCatalogue.h"
#include "tests/support/SimProgrammer.h"
#include "tests/support/window/AppTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace testsupport;

namespace {

enum class Command { Read, Erase, Write, Verify, Auto, Identify, BlankCheck };

const ChipInfo kFlash = makeChip(ChipType::Flash25, "FL25X02", 0x40000, 1, 256, 0xEF, 0x12);
const ChipInfo kOdd = makeChip(ChipType::Flash25, "XY25X96", 0x18000, 1, 256, 0xC8, 0x42);
// Byte-programmed, no IDs (FF FF), as the shipped database has many EEPROMs.
const ChipInfo kEeprom = makeChip(ChipType::Eeprom24, "AT24C02", 256, 0, 8, 0xFF, 0xFF, 8, "At");
const ChipInfo kNoChip{};

// clang-format off
std::vector<ChipInfo> chips() {
    return {makeChip(ChipType::Flash25, "EN25T80", 0x100000, 1, 256, 0x1C, 0x13, 8, "Eon"), kFlash,
            kOdd, kEeprom, makeChip(ChipType::Flash25, "W25X16", 0x200000, 1, 256, 0xEF, 0x14),
            makeChip(ChipType::Flash25, "W25X16B", 0x200000, 1, 256, 0xEF, 0x14)};
}
// clang-format on
const std::vector<ChipInfo> kChips = chips();

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What a front end needs: a chip to select, a buffer, commands, and what was said.
class Front {
  public:
    virtual ~Front() = default;
    virtual void select(const ChipInfo& chip) = 0;
    virtual DataBuffer& buffer() = 0;
    virtual ChipInfo current() = 0;
    virtual void run(Command command) = 0;
    virtual std::string status() = 0;
    std::vector<std::string> boxes() { return boxes_.texts(); }
    RecordingSink boxes_;
};

class Window : public Front {
  public:
    explicit Window(Language language) : started_(startWindow(language, chips())) {
        boxes_.boxes.clear();
    }
    void select(const ChipInfo& chip) override { selectChip(window(), chip); }
    DataBuffer& buffer() override { return window().dataBuffer(); }
    ChipInfo current() override { return window().currentChip(); }
    void run(Command command) override {
        static const unsigned ids[] = {IdRead, IdErase,        IdWrite,     IdVerify,
                                       IdAuto, IdChipIdentify, IdBlankCheck};
        window().runCommand(ids[static_cast<int>(command)]);
    }
    std::string status() override { return window().statusEdit()->text().toStdString(); }
    CMainDlg& window() { return *started_->window; }

  private:
    std::unique_ptr<StartedWindow> started_;
};

// The core alone, the way a command-line front end drives it.
class Core : public Front, public OperationHost {
  public:
    explicit Core(Language language)
        : texts_(textsFor(language)), database_(language, folder_.path() + "/ChipInfo.chip") {
        writeDatabase(folder_.path() + "/ChipInfo.chip", chips());
        database_.load();
        buffer_.allocate();
        operations_.openAtStartUp();
        boxes_.boxes.clear();
    }
    void select(const ChipInfo& chip) override { chip_ = chip; }
    DataBuffer& buffer() override { return buffer_; }
    ChipInfo current() override { return chip_; }
    void run(Command command) override {
        // clang-format off
        const std::function<OperationResult()> ops[] = {
            [&] { return operations_.read(); }, [&] { return operations_.erase(); },
            [&] { return operations_.write(); }, [&] { return operations_.verify(); },
            [&] { return operations_.autoProgram(); }, [&] { return operations_.identify(&matches); },
            [&] { return operations_.blankCheck(); }};
        // clang-format on
        const OperationResult result = ops[static_cast<int>(command)]();
        // The result's own message is what the host was shown last (Auto's is its
        // first failing step's).
        const std::string message = outcomeMessage(texts_, result);
        EXPECT_TRUE(command == Command::Auto || message.empty() || boxes().back() == message);
    }
    std::string status() override { return status_; }
    DeviceOperations& operations() { return operations_; }
    UsbLink& link() { return link_; }
    void setStatusText(const char* text) override { status_ = text ? text : ""; }
    void showMessage(const std::string& text) override { messageBox(text); }
    void progress(Stage stage, uint64_t done, uint64_t total) override {
        EXPECT_LE(done, total + 64);
        if (stages.empty() || stages.back() != stage)
            stages.push_back(stage);
        else
            progressFell = progressFell || done < lastProgress.first;
        lastProgress = {done, total};
    }
    void pumpOneMessage() override {}
    void refreshHexView() override {}
    void identifiedChipChanged() override {}
    bool confirm(const std::string& warning) override {
        return messageBox(warning, BoxStyle::ContinueCancel) == BoxResult::Ok;
    }
    std::vector<ChipInfo> matches;
    std::vector<Stage> stages;
    std::pair<uint64_t, uint64_t> lastProgress;
    bool progressFell = false;

  private:
    const Texts& texts_;
    TempFolder folder_;
    ChipDatabase database_;
    ChipInfo chip_ = chips()[0];
    DataBuffer buffer_;
    std::string status_;
    UsbLink link_;
    FamilyParams params_;
    Programmer programmer_{params_};
    DeviceOperations operations_{texts_, *this, link_, programmer_, database_, chip_, buffer_};
};

struct Case {
    const char* name;
    Language language;
    ChipInfo chip;
    std::function<void(sim::FirmwareOptions&)> device; // faults and pacing
    std::vector<Command> commands;
    std::string status;
    std::vector<std::string> boxes;
    // Further facts: the front end, the programmer, the buffer as it was before.
    std::function<void(Front&, SimProgrammer&, const Bytes&)> check = {};
    double maxSeconds = 2.0;
    BoxResult answer = BoxResult::Ok; // to Continue/Cancel
    const ChipInfo* socket = nullptr; // the chip in the socket when not `chip`
    uint32_t mark = 0x100;            // where the chip holds 0F and the buffer A5
    bool equalButMark = false;        // the buffer holds the chip's bytes but at `mark`
};

size_t idCommands(SimProgrammer& p) {
    const auto sent = p.commandsSince();
    return static_cast<size_t>(
        std::count_if(sent.begin(), sent.end(), [](auto& c) { return c[0] == 5; }));
}

Bytes storeOf(Front& front, uint32_t length) {
    return Bytes(front.buffer().store(), front.buffer().store() + length);
}

void chipRead(Front& f, SimProgrammer& p, const Bytes&) {
    EXPECT_EQ(storeOf(f, 0x40000), p.firmware().chipContents());
}

// Every device command in each build, with the faults the link must survive. The
// chip holds FF with 0F at 0x100; the buffer a pattern with A5 at 0x100.
// clang-format off
const Case kCases[] = {
    {"Read brings the chip into the buffer", Language::Chinese, kFlash, {}, {Command::Read},
     "读数据完成！", {}, chipRead},
    {"a stalled Read fails after the idle limit and leaves the buffer", Language::English, kFlash,
     [](sim::FirmwareOptions& o) { o.faults.stallAfterDataBytes = 100'000; }, {Command::Read},
     "Read Failure", {"Read Failure!"},
     [](Front& f, SimProgrammer&, const Bytes& before) { EXPECT_EQ(storeOf(f, 0x40000), before); },
     4.0},
    {"a late answer is not taken by the next Read", Language::English, kFlash,
     [](sim::FirmwareOptions& o) { o.faults.lateAnswer.atCommand = 1; },
     {Command::Read, Command::Read}, "Read Successfully", {"StartReadChip error!"}, chipRead, 5.0},
    {"Write without Erase onto programmed flash: Verify names the first difference",
     Language::English, kFlash, {}, {Command::Write, Command::Verify}, "Verify Failure",
     {"Verify Failure!\r\nAddr:0x100\r\nBuffer:A5\r\nDevice:05"}},
    {"Auto erases, writes and verifies", Language::Chinese, kFlash,
     [](sim::FirmwareOptions& o) { o.pacing.eraseMs = 250; }, {Command::Auto}, "校验数据正确！", {},
     [](Front& f, SimProgrammer& p, const Bytes&) {
         EXPECT_EQ(p.firmware().chipContents(), storeOf(f, 0x40000));
         const auto sent = p.commandsSince();
         EXPECT_EQ(sent.at(0), (Bytes{0x05, 0x00, 0x01})); // the chip in the socket, once
         EXPECT_EQ(sent.at(1), (Bytes{0x04, 0x01, 0x01}));
         EXPECT_EQ(idCommands(p), 1u);
         const auto polls = std::count_if(sent.begin(), sent.end(), [](auto& c) { return c[0] == 3; });
         EXPECT_TRUE(polls >= 2 && polls <= 5); // every 100 ms while the erase runs
         if (auto* core = dynamic_cast<Core*>(&f)) {
             EXPECT_EQ(core->stages, (std::vector<Stage>{Stage::Erase, Stage::Write, Stage::Verify}));
             EXPECT_EQ(core->lastProgress, std::make_pair(uint64_t{0x40000}, uint64_t{0x40000}));
         }
     }},
    {"Auto goes on after a garbled Erase answer", Language::English, kFlash,
     [](sim::FirmwareOptions& o) { o.faults.corruptAnswer.atCommand = 2; }, {Command::Auto},
     "Verify Successfully", {"Erase error!"}, {}, 4.0},
    {"a lost Write answer: Auto's Verify is no chip data", Language::English, kEeprom,
     [](sim::FirmwareOptions& o) { o.faults.dropAnswer.atCommand = 1; }, {Command::Auto},
     "Verify Failure", {"Write Failure!", "Verify Failure!\r\nAddr:0x0\r\nBuffer:01\r\nDevice:FF"},
     [](Front&, SimProgrammer& p, const Bytes&) {
         EXPECT_EQ(p.firmware().chipContents(), Bytes(256, 0xFF));
         EXPECT_EQ(p.commandsSince(1).at(0).size(), 15u); // taken as a Read command
     }, 5.0},
    {"a stalled Write fails within seconds", Language::Chinese, kFlash,
     [](sim::FirmwareOptions& o) { o.faults.stallAfterDataBytes = 50'000; }, {Command::Write},
     "写数据失败！", {"写数据失败！"}, {}, 4.5},
    {"Verify's last block ends at the chip's end", Language::English, kOdd,
     [](sim::FirmwareOptions& o) { o.pacing.bytesPerSecond = 400'000; }, {Command::Verify},
     "Verify Failure", {"Verify Failure!\r\nAddr:0x17FFF\r\nBuffer:00\r\nDevice:FF"},
     [](Front& f, SimProgrammer& p, const Bytes&) {
         EXPECT_EQ(p.commandsSince().size(), 3u); // the IDs, then two blocks
         EXPECT_EQ(p.commandsSince().back()[9], 0x80); // 0x8000 bytes
         if (auto* core = dynamic_cast<Core*>(&f)) { EXPECT_FALSE(core->progressFell); }
     }},
    {"a chip larger than the buffer is refused before anything is sent", Language::English,
     makeChip(ChipType::Flash25, "HUGE25", 0x1000001), {}, {Command::Read, Command::Auto}, "",
     std::vector<std::string>(2, "The chip is larger than the 16 MB buffer!"),
     [](Front&, SimProgrammer& p, const Bytes&) { EXPECT_EQ(p.commandCount(), 0u); }},
    {"Identify keeps the selected chip among those with the IDs", Language::Chinese,
     chips()[5], {}, {Command::Identify}, "识别成功！", {"识别成功！"},
     [](Front& f, SimProgrammer&, const Bytes&) {
         EXPECT_STREQ(f.current().name, "W25X16B");
         if (auto* core = dynamic_cast<Core*>(&f)) { EXPECT_EQ(core->matches.size(), 2u); }
         if (auto* window = dynamic_cast<Window*>(&f)) {
             EXPECT_EQ(window->window().dataBuffer().length(), 0x200000u);
             EXPECT_EQ(window->window().hexViewModel().topRow, 0u);
             EXPECT_TRUE(window->window().action(IdErase)->isEnabled());
         }
     }},
    {"an empty socket is not identified", Language::English, ChipInfo{}, {}, {Command::Identify},
     "Can not find device in database",
     {"Can not find device in database!\r\nManufacturerID:FF\r\nDeviceID:FF"}},
    {"Blank Check names the first byte that is not FF", Language::Chinese, kFlash, {},
     {Command::BlankCheck}, "器件非空！", {"器件非空!\r\n地址:0x100\r\n器件:0F"}},
    {"Blank Check past the first 64 KiB block names the byte's own address", Language::Chinese,
     kFlash, {}, {Command::BlankCheck}, "器件非空！", {"器件非空!\r\n地址:0x2ABCD\r\n器件:0F"}, {},
     2.0, BoxResult::Ok, nullptr, 0x2ABCD},
    {"Verify past the first 64 KiB block names the byte's own address", Language::English,
     kFlash, {}, {Command::Verify}, "Verify Failure",
     {"Verify Failure!\r\nAddr:0x10000\r\nBuffer:A5\r\nDevice:0F"}, {}, 2.0, BoxResult::Ok,
     nullptr, 0x10000, true},
    {"another chip in the socket: Read asks, and Cancel sends nothing more", Language::English,
     kFlash, {}, {Command::Read}, "Wrong chip: nothing done",
     {"Wrong chip? The selected chip is FL25X02 (IDs EF 12), but the socket answers IDs 1C 13, "
      "those of EN25T80."},
     [](Front& f, SimProgrammer& p, const Bytes& before) {
         EXPECT_EQ(storeOf(f, 0x40000), before);
         EXPECT_EQ(p.commandsSince(), std::vector<Bytes>{kId});
     }, 2.0, BoxResult::Cancel, &kChips[0]},
    {"an empty socket: Auto asks once, and Continue goes on", Language::Chinese, kFlash, {},
     {Command::Auto}, "校验数据出错！",
     {"器件不符？所选器件为 FL25X02（ID EF 12），但插座中的器件应答 FF FF：插座中没有器件，或夹子未接好。",
      "校验出错!\r\n地址:0x0\r\n缓冲区:01\r\n器件:FF"},
     [](Front&, SimProgrammer& p, const Bytes&) { EXPECT_EQ(idCommands(p), 1u); }, 2.0,
     BoxResult::Ok, &kNoChip},
    {"an erased chip is blank, the buffer untouched", Language::English, kFlash, {},
     {Command::Erase, Command::BlankCheck}, "Blank Check Successfully", {},
     [](Front& f, SimProgrammer&, const Bytes& before) { EXPECT_EQ(storeOf(f, 0x40000), before); }},
    {"an EEPROM: Erase and Identify do nothing, Auto writes and verifies", Language::English,
     kEeprom, {}, {Command::Erase, Command::Identify, Command::Auto}, "Verify Successfully", {},
     [](Front&, SimProgrammer& p, const Bytes&) {
         EXPECT_EQ(p.commandsSince().at(0),
                   (Bytes{0x02, 0x0C, 0x02, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0x13, 0, 0, 0}));
     }},
};
// clang-format on

void runCases(const std::function<std::unique_ptr<Front>(Language)>& make) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        familyParams() = FamilyParams{};
        sim::FirmwareOptions options = unpaced();
        if (c.device)
            c.device(options);
        const ChipInfo& inSocket = c.socket ? *c.socket : c.chip;
        SimProgrammer programmer(inSocket.capacity ? &inSocket : nullptr, options);
        if (inSocket.capacity > c.mark)
            programmer.firmware().setChipContents(c.mark, {0x0F});
        auto front = make(c.language);
        front->boxes_.answer = c.answer;
        front->select(c.chip.capacity ? c.chip : kFlash);
        front->buffer().copyIn(0, pattern(c.chip.capacity, 1).data(), c.chip.capacity);
        if (c.equalButMark) {
            const Bytes chip = programmer.firmware().chipContents();
            front->buffer().copyIn(0, chip.data(), c.chip.capacity);
        }
        front->buffer().copyIn(c.mark, std::vector<uint8_t>{0xA5}.data(), 1);
        if (c.chip.capacity == kOdd.capacity) { // equal to the chip but for its last byte
            const Bytes chip = programmer.firmware().chipContents();
            front->buffer().copyIn(0, chip.data(), kOdd.capacity - 1);
            front->buffer().copyIn(kOdd.capacity - 1, std::vector<uint8_t>{0}.data(), 1);
        }
        const Bytes before = storeOf(*front, front->buffer().clampToStore(c.chip.capacity));
        const auto start = std::chrono::steady_clock::now();
        for (Command command : c.commands)
            front->run(command);
        EXPECT_LT(secondsSince(start), c.maxSeconds);
        EXPECT_EQ(front->status(), c.status);
        EXPECT_EQ(front->boxes(), c.boxes);
        if (c.check)
            c.check(*front, programmer, before);
    }
}

TEST(Operations, TheWindowShowsTheReadAndIsBusyWhileItRuns) {
    const ChipInfo chip = makeChip(ChipType::Flash25, "EN25T80", 0x100000, 1, 256, 0x1C, 0x13);
    sim::FirmwareOptions paced; // 2.6 s in all: the 2 s idle limit counts per chunk
    paced.pacing.bytesPerSecond = 400'000;
    SimProgrammer programmer(&chip, paced);
    Bytes contents = pattern(0x100000, 2);
    std::memcpy(contents.data(), "Brimwick+ reads!", 16);
    programmer.firmware().setChipContents(0, contents);
    Window front(Language::English);
    size_t sentMeanwhile = 99;
    QTimer::singleShot(200, &front.window(), [&] {
        const size_t before = programmer.commandCount();
        for (unsigned id :
             {IdRead, IdVerify, IdAuto, IdFirmwareVersion, IdChipIdentify, IdErase, IdWrite})
            front.window().runCommand(id);
        sentMeanwhile = programmer.commandCount() - before;
    });
    front.window().runCommand(IdRead);
    EXPECT_EQ(sentMeanwhile, 0u);
    EXPECT_EQ(front.boxes(), std::vector<std::string>(9, "Device busy!")); // Auto: 3 steps
    EXPECT_EQ(front.status(), "Read Successfully");
    EXPECT_EQ(storeOf(front, 0x100000), contents);
    EXPECT_EQ(hexLine(front.window(), 0).at(2), "Brimwick+ reads!");
    EXPECT_EQ(front.window().percentEdit()->text().toStdString() +
                  std::to_string(front.window().progressBar()->value()),
              "100%100");
}

TEST(Operations, EscDuringAStalledWriteEndsItAtOnceWithoutABox) {
    sim::FirmwareOptions options = unpaced();
    options.faults.stallAfterDataBytes = 50'000;
    SimProgrammer programmer(&kFlash, options);
    Window front(Language::English);
    front.select(kFlash);
    QTimer::singleShot(0, &front.window(), [&] { front.window().runCommand(IdAuto); });
    QTimer::singleShot(1000, &front.window(), [&] {
        EXPECT_EQ(front.status(), "Writing...");
        QTest::keyClick(&front.window(), Qt::Key_Escape);
    });
    const auto start = std::chrono::steady_clock::now();
    front.window().exec();
    EXPECT_LT(secondsSince(start), 1.5);
    EXPECT_FALSE(front.window().isVisible());
    EXPECT_EQ(front.boxes(), std::vector<std::string>{});
    EXPECT_EQ(programmer.commandsSince().back()[0], 0x02); // Verify never started
}

TEST(Operations, IdentifyAsksWhichOfSeveralChipsWithTheIdsTheWindowShallSelect) {
    SimProgrammer programmer(&kChips[4]); // W25X16 and W25X16B answer EF 14
    for (const bool choose : {true, false}) {
        SCOPED_TRACE(choose);
        Window front(Language::Chinese);
        front.select(kFlash);
        QStringList offered;
        QString title;
        const auto answered = whenModal<QInputDialog>([&](QInputDialog* dialog) {
            offered = dialog->comboBoxItems();
            title = dialog->windowTitle();
            if (choose) {
                dialog->setTextValue(offered.value(1));
                dialog->accept();
            } else {
                dialog->reject();
            }
        });
        front.run(Command::Identify);
        EXPECT_TRUE(*answered);
        EXPECT_EQ(title.toStdString(), "选择器件");
        EXPECT_EQ(offered, (QStringList{"W25X16  (XYZ)", "W25X16B  (XYZ)"}));
        EXPECT_STREQ(front.current().name, choose ? "W25X16B" : "FL25X02");
        EXPECT_EQ(front.boxes(),
                  choose ? std::vector<std::string>{"识别成功！"} : std::vector<std::string>{});
    }
}

TEST(Operations, StartUpWithoutAProgrammerSaysSoAndALaterOneIsFound) {
    SimFolder empty;
    RecordingSink boxes;
    auto started = startWindow(Language::Chinese, chips());
    const std::string failure = "设备打开失败！\r\n请重新连接设备！";
    EXPECT_EQ(started->window->statusEdit()->text().toStdString(),
              "设备打开失败！ 请重新连接设备！");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{failure});
    started->window->runCommand(IdFirmwareVersion);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(2, failure));
    SimProgrammer programmer(&kFlash); // found by the next command
    started->window->runCommand(IdFirmwareVersion);
    EXPECT_EQ(boxes.texts().back(), "读固件版本成功！固件版本：Brimwick SIM V1.00");
}

// A write of a file's ranges never starts inside a page and runs past it, and moves
// whole 16-bit cells; Verify then finds them in the chip.
// The device chosen decides: a bridge's commands run the chip's own over SPI and send
// nothing to the programmer; the programmer's stay its own.
TEST(Operations, TheChosenDeviceDecidesBetweenTheProgrammerAndABridge) {
    SimProgrammer programmer(&kFlash);
    sim::Ch341aDevice device;
    const auto chip = sim::makeSpiChip("W25Q32", {}, device.clock());
    device.attachChip(chip.get());
    sim::SimServer server{device, simwire::kCh341aSocketPrefix};
    ASSERT_TRUE(server.start());
    Core core(Language::English);
    EXPECT_EQ(core.link().listDevices(),
              (std::vector<std::string>{programmer.socketPath(), server.socketPath()}));
    const size_t before = programmer.commandCount();
    core.link().setPreferredPath(server.socketPath());
    const OperationResult identified = core.operations().identify();
    ASSERT_TRUE(identified.nor.has_value()) << core.status();
    EXPECT_EQ(identified.nor->jedecId, (std::array<uint8_t, 3>{0xEF, 0x40, 0x16}));
    // No chip of this database has the IDs: the chip is built from its SFDP.
    EXPECT_TRUE(identified.ok());
    EXPECT_STREQ(core.current().name, "Unnamed EF4016 (SFDP)");
    EXPECT_EQ(core.current().capacity, 0x400000u);
    EXPECT_EQ(core.operations().firmwareVersion().version.rfind("CH341A ", 0), 0u);
    EXPECT_EQ(programmer.commandCount(), before);
    core.link().setPreferredPath(programmer.socketPath());
    EXPECT_EQ(core.operations().firmwareVersion().version, "Brimwick SIM V1.00");
    EXPECT_GT(programmer.commandCount(), before);
}

TEST(Operations, RangeWritesKeepToPagesAndCells) {
    const ChipInfo words = makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 1, 0xFF, 0xFF, 16);
    using Ranges = std::vector<AddressRange>;
    const std::tuple<ChipInfo, Ranges, Ranges> cases[] = {
        {kFlash, {{0x1F0, 0x20}, {0x300, 4}}, {{0x1F0, 0x10}, {0x200, 0x10}, {0x300, 4}}},
        {words, {{1, 2}, {5, 1}, {126, 9}}, {{0, 6}, {126, 2}}}};
    for (const auto& [chip, ranges, sent] : cases) {
        SimProgrammer programmer(&chip);
        Core core(Language::English);
        core.select(chip);
        core.buffer().copyIn(0, pattern(chip.capacity, 3).data(), chip.capacity);
        EXPECT_TRUE(core.operations().writeRanges(ranges).ok());
        EXPECT_TRUE(core.operations().verifyRanges(ranges).ok());
        Ranges writes;
        for (const Bytes& command : programmer.commandsSince())
            if (command[0] == 0x02)
                writes.push_back({static_cast<uint32_t>(command[5] << 8 | command[6]),
                                  static_cast<uint32_t>(command[9] << 8 | command[10])});
        EXPECT_EQ(writes, sent) << chip.name;
    }
}

TEST(Operations, CasesThroughTheCore) {
    runCases([](Language language) { return std::make_unique<Core>(language); });
}

TEST(Operations, CasesThroughTheWindow) {
    runCases([](Language language) { return std::make_unique<Window>(language); });
}

} // namespace
