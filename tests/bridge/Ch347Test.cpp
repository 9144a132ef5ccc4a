// The CH347 bridge: its frames on the wire, the chip algorithms through its model on the
// simulator socket at several clocks, faults, and brimwick-sim serving it.
#include "bridge/SpiClockSettings.h"
#include "bridge/SpiNorFlash.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/ScriptedBackend.h"
#include "tests/support/SimCh347.h"
#include "usb/DeviceBackend.h"
#include "usb/DeviceKinds.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

using namespace testsupport;
using bridge::Ch347Spi;
using bridge::ChipOutcome;

namespace {

// The simulator back end with every OUT transfer recorded.
struct Recorder : usb::DeviceBackend {
    struct Pipe : usb::PipeChannel {
        Pipe(std::shared_ptr<usb::PipeChannel> inner, Recorder& owner)
            : inner(std::move(inner)), owner(owner) {}
        usb::IoResult read(uint8_t* dest, uint32_t length) override {
            return inner->read(dest, length);
        }
        usb::IoResult write(const uint8_t* src, uint32_t length,
                            const WriteProgress& progress) override {
            std::lock_guard lock(owner.mutex);
            owner.sent.emplace_back(src, src + length);
            return inner->write(src, length, progress);
        }
        void cancel() override { inner->cancel(); }
        void rearm() override { inner->rearm(); }
        std::shared_ptr<usb::PipeChannel> inner;
        Recorder& owner;
    };
    std::vector<std::string> listPaths() override { return sim->listPaths(); }
    std::shared_ptr<usb::InterfaceHandle> openInterface(const std::string& path) override {
        return sim->openInterface(path);
    }
    std::shared_ptr<usb::PipeChannel> openPipe(const std::string& path,
                                               usb::PipeKind kind) override {
        auto pipe = sim->openPipe(path, kind);
        if (!pipe || kind == usb::PipeKind::Read)
            return pipe;
        return std::make_shared<Pipe>(std::move(pipe), *this);
    }
    std::shared_ptr<usb::DeviceBackend> sim = usb::makeSimBackend();
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> sent;
};

TEST(Ch347, ClocksRoundDownToSixtyMhzOverAPowerOfTwoAndTheFramesCarryTheirBytes) {
    struct Case {
        uint64_t asked;
        std::optional<uint32_t> got;
        uint8_t divisorByte; // payload byte 12
    } cases[] = {{60'000'000, 60'000'000, 0x00}, {59'999'999, 30'000'000, 0x08},
                 {20'000'000, 15'000'000, 0x10}, {468'750, 468'750, 0x38},
                 {468'749, std::nullopt, 0},     {4'000'000'000, 60'000'000, 0x00}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        EXPECT_EQ(bridge::ch347Clock(c.asked), c.got);
        if (!c.got)
            continue;
        const std::vector<uint8_t> frame = bridge::ch347ConfigureFrame(*c.got);
        std::vector<uint8_t> expected(29, 0);
        expected[0] = 0xC0;
        expected[1] = 26;
        expected[3 + 2] = 4;
        expected[3 + 3] = 1;
        expected[3 + 11] = 2;
        expected[3 + 12] = c.divisorByte;
        expected[3 + 16] = 7;
        EXPECT_EQ(frame, expected);
    }

    auto recorder = std::make_shared<Recorder>();
    SimCh347 sim("W25Q32", 30'000'000, {}, recorder);
    ASSERT_TRUE(sim.opened());
    EXPECT_EQ(sim.device().clockHz(), 30'000'000u);
    std::vector<uint8_t> out(600, 0x5A); // an SFDP read address and dummy, then more
    bridge::SpiTransaction batch[] = {{{0x9F}, 3, 0, {}}, {out, 0, 0, {}}};
    recorder->sent.clear();
    ASSERT_EQ(sim.bus().run(batch), bridge::BusResult::Ok);
    EXPECT_EQ(batch[0].in, (std::vector<uint8_t>{0xEF, 0x40, 0x16}));
    const std::vector<uint8_t> select{0xC1, 10, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> release = select;
    release[3] = 0xC0;
    const std::vector<uint8_t> jedec{0xC4, 1, 0, 0x9F};
    std::vector<uint8_t> first{0xC4, 0xFB, 0x01}; // 507 bytes, then the other 93
    first.insert(first.end(), out.begin(), out.begin() + 507);
    std::vector<uint8_t> second{0xC4, 93, 0};
    second.insert(second.end(), out.begin() + 507, out.end());
    const std::vector<std::vector<uint8_t>> expected{
        select, jedec, {0xC3, 4, 0, 3, 0, 0, 0}, release, select, first, second, release};
    EXPECT_EQ(recorder->sent, expected);
    EXPECT_FALSE(sim.device().chipSelected());
}

TEST(Ch347, AnswersAreTakenAcrossTransfersAndAnswersThatDoNotFitFailTheBus) {
    using Packets = std::vector<std::vector<uint8_t>>;
    struct Case {
        const char* name;
        Packets in; // the IN transfers the bridge gives for 9F and three bytes read
        bridge::BusResult result;
    } cases[] = {
        {"one frame each",
         {{0xC4, 1, 0, 0}, {0xC3, 3, 0, 0xEF, 0x40, 0x16}},
         bridge::BusResult::Ok},
        {"joined and split",
         {{0xC4, 1}, {0, 0, 0xC3, 3, 0, 0xEF}, {0x40, 0x16}},
         bridge::BusResult::Ok},
        {"a write ack in place of data",
         {{0xC4, 1, 0, 0}, {0xC4, 3, 0, 0xEF, 0x40, 0x16}},
         bridge::BusResult::Failed},
        {"data in place of the write ack",
         {{0xC3, 1, 0, 0}, {0xC3, 3, 0, 0xEF, 0x40, 0x16}},
         bridge::BusResult::Failed},
        {"more bytes than asked",
         {{0xC4, 1, 0, 0}, {0xC3, 4, 0, 0xEF, 0x40, 0x16, 0}},
         bridge::BusResult::Failed},
        {"a length no frame has", {{0xC4, 1, 0, 0}, {0xC3, 0xFF, 0x7F}}, bridge::BusResult::Failed},
        {"no answer", {{0xC4, 1, 0, 0}}, bridge::BusResult::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto device = std::make_shared<ScriptedBackend>();
        Ch347Spi bus(device->openInterface(device->paths[0]),
                     device->openPipe(device->paths[0], usb::PipeKind::Write),
                     device->openPipe(device->paths[0], usb::PipeKind::Read));
        for (const std::vector<uint8_t>& packet : c.in)
            device->queue(packet);
        std::vector<uint8_t> id;
        EXPECT_EQ(bus.transfer({0x9F}, 3, &id), c.result);
        if (c.result == bridge::BusResult::Ok)
            EXPECT_EQ(id, (std::vector<uint8_t>{0xEF, 0x40, 0x16}));
        else
            EXPECT_EQ(bus.transfer({0x05}, 1, nullptr), c.result); // failed for good
    }
}

TEST(Ch347, ClockSettingsParseWhatUsersWriteAndAreKeptPerDevicePath) {
    struct Case {
        const char* text;
        std::optional<uint64_t> hz;
    } cases[] = {
        {"30000000", 30'000'000}, {"30MHz", 30'000'000}, {"7.5 MHz", 7'500'000},
        {"468.75kHz", 468'750},   {"1.875m", 1'875'000}, {"12.5", std::nullopt},
        {"0", std::nullopt},      {"", std::nullopt},    {"-5MHz", std::nullopt},
        {"30GHz", std::nullopt},  {".", std::nullopt},   {"99999999999999999", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(bridge::parseSpiClock(c.text), c.hz) << c.text;
    bridge::SpiClockSettings settings;
    EXPECT_EQ(settings.set("a#vid_1a86&pid_55db", 40'000'000), 30'000'000u);
    EXPECT_EQ(settings.set("a#vid_1a86&pid_55db", 100'000), std::nullopt); // kept as it was
    EXPECT_EQ(settings.clockFor("a#vid_1a86&pid_55db"), 30'000'000u);
    EXPECT_EQ(settings.clockFor("b#vid_1a86&pid_55de"), 15'000'000u);
    EXPECT_EQ(bridge::spiClockText(settings.choices().back()), "468.75 kHz");
}

TEST(Ch347, NorFlashReadsWritesAndVerifiesAtEveryClockInTheTimeItsClockAllows) {
    for (uint32_t clock : {60'000'000u, 30'000'000u, 7'500'000u, 468'750u}) {
        SCOPED_TRACE(clock);
        SimCh347 sim("W25Q32", clock);
        ASSERT_TRUE(sim.opened());
        EXPECT_EQ(sim.device().clockHz(), clock);
        bridge::NorIdentity id;
        ASSERT_TRUE(bridge::identifyNor(sim.bus(), &id).ok());
        bridge::SpiNorFlash flash(sim.bus(), id.geometry.value());
        const std::vector<uint8_t> data = pattern(0x9000, uint8_t(clock));
        ASSERT_TRUE(flash.write(0x3000, data, bridge::WriteMode::Full).ok());
        EXPECT_TRUE(std::equal(data.begin(), data.end(), sim.nor().memory().begin() + 0x3000));
        EXPECT_EQ(sim.nor().memory()[0x2FFF], 0xFF);
        std::vector<uint8_t> back(data.size());
        const uint64_t start = sim.device().time();
        ASSERT_TRUE(flash.read(0x3000, back, 2).ok());
        EXPECT_EQ(back, data);
        // Two passes: never faster than the SPI clock, at most twice that with USB frames.
        const double spiNs = 2.0 * double(back.size()) * 8e9 / clock;
        EXPECT_GE(double(sim.device().time() - start), spiNs);
        EXPECT_LE(double(sim.device().time() - start), 2 * spiNs + 2e6);
    }
}

TEST(Ch347, StallAndUnplugMidWriteEndInFailureWithoutHanging) {
    using Clock = std::chrono::steady_clock;
    struct Case {
        std::optional<uint64_t> sim::Ch347Options::*fault;
        ChipOutcome outcome;
    } cases[] = {
        {&sim::Ch347Options::stallAfterSpiBytes, ChipOutcome::BusFailed},
        {&sim::Ch347Options::unplugAfterSpiBytes, ChipOutcome::BusGone},
    };
    for (const Case& c : cases) {
        sim::Ch347Options faults;
        faults.*c.fault = 200'000;
        SimCh347 sim("W25Q32", 60'000'000, faults);
        bridge::NorIdentity id;
        ASSERT_TRUE(bridge::identifyNor(sim.bus(), &id).ok());
        bridge::SpiNorFlash flash(sim.bus(), id.geometry.value());
        const std::vector<uint8_t> data = pattern(1 << 20, 3);
        const auto start = Clock::now();
        EXPECT_EQ(flash.write(0, data, bridge::WriteMode::Full).outcome, c.outcome);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
        std::vector<uint8_t> some(16);
        EXPECT_EQ(flash.read(0, some).outcome, c.outcome); // the bus stays failed
    }
}

TEST(Ch347, ACancelledReadEndsAtOnceAndABusOpenedAfterwardsStartsClean) {
    SimCh347 sim("W25Q32", 468'750);
    bridge::NorIdentity id;
    ASSERT_TRUE(bridge::identifyNor(sim.bus(), &id).ok());
    // A whole-chip read in one transaction, stopped at its first answer: the bridge is
    // left with the chip selected and answers on their way.
    std::stop_source stop;
    bridge::SpiTransaction read{{0x03, 0, 0, 0}, 4 << 20, 0, {}};
    const auto cancel = [&](uint64_t clocked) {
        if (clocked > 0)
            stop.request_stop();
    };
    EXPECT_EQ(sim.bus().run(std::span(&read, 1), stop.get_token(), cancel),
              bridge::BusResult::Cancelled);
    EXPECT_EQ(sim.bus().transfer({0x9F}, 3, nullptr), bridge::BusResult::Cancelled);
    EXPECT_TRUE(sim.device().chipSelected());
    auto again = Ch347Spi::open(*usb::makeSimBackend(), sim.socketPath());
    ASSERT_TRUE(again);
    EXPECT_EQ(sim.device().configurations(), 2u);
    ASSERT_TRUE(bridge::identifyNor(*again, &id).ok());
    EXPECT_EQ(id.jedecId, sim.nor().config().jedecId);
}

TEST(Ch347, BrimwickSimServesACh347tThatDiscoveryNamesAndRefusesAClockBelowTheSlowest) {
    TempFolder folder;
    SimProcess sim(BRIMWICK_SIM_PROGRAM, folder.path(), {"--bridge", "ch347", "--chip", "W25Q256"});
    EXPECT_EQ(sim.banner(), "Simulated CH347T bridge with W25Q256");
    const auto backend = usb::makeSimBackend(folder.path());
    ASSERT_EQ(backend->listPaths(), std::vector<std::string>{sim.socketPath()});
    EXPECT_EQ(usb::deviceKindOf(sim.socketPath()), usb::DeviceKind::Ch347);
    EXPECT_TRUE(usb::isBridge(usb::deviceKindOf(sim.socketPath())));
    EXPECT_EQ(usb::deviceLabelOf(sim.socketPath()), "CH347T 1a86:55db");
    EXPECT_EQ(usb::deviceLabelOf("usb:1-2#vid_1a86&pid_55de"), "CH347F 1a86:55de");
    auto bus = Ch347Spi::open(*backend, sim.socketPath(), 15'000'000);
    ASSERT_TRUE(bus);
    bridge::NorIdentity id;
    ASSERT_TRUE(bridge::identifyNor(*bus, &id).ok());
    EXPECT_EQ(id.geometry.value().capacity, 32u << 20);
    EXPECT_FALSE(Ch347Spi::open(*backend, sim.socketPath(), 100'000)); // below the slowest
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
