// Finding the programmer among the device paths and opening its pipes.
#include "res/MessageBox.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/UsbLink.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using usb::parseHex4;
using usb::PipeKind;
using usb::productIdFromPath;
using usb::vendorIdFromPath;

TEST(PathParsing, HexDigitsOfEitherCaseAndNothingElse) {
    EXPECT_EQ(parseHex4("10c4"), 0x10C4);
    EXPECT_EQ(parseHex4("505D"), 0x505D);
    EXPECT_EQ(parseHex4("fFfF&rest"), 0xFFFF);
    EXPECT_EQ(parseHex4("10G4"), 0);
    EXPECT_EQ(parseHex4("10c"), 0); // past the end is not a digit
    EXPECT_EQ(parseHex4(" 10c"), 0);
}

TEST(PathParsing, IdsAfterEitherSpellingAndOneSeparator) {
    EXPECT_EQ(vendorIdFromPath("\\\\?\\usb#vid_10c4&pid_505d#6&1b2c#{37538c66}"), 0x10C4);
    EXPECT_EQ(productIdFromPath("\\\\?\\usb#vid_10c4&pid_505d#6&1b2c#{37538c66}"), 0x505D);
    EXPECT_EQ(vendorIdFromPath("USB#VID_10C4&PID_505D#x"), 0x10C4);
    EXPECT_EQ(productIdFromPath("USB#VID_10C4&PID_505D#x"), 0x505D);
    EXPECT_EQ(vendorIdFromPath("usb#vid-10c4#"), 0x10C4); // any separator character
    // Only the two spellings count.
    EXPECT_EQ(vendorIdFromPath("usb#Vid_10c4&pid_505d#x"), 0);
    EXPECT_EQ(productIdFromPath("usb#vid_10c4&Pid_505d#x"), 0);
    // One bad digit spoils the value, and the first match decides.
    EXPECT_EQ(vendorIdFromPath("usb#vid_10G4&pid_505d#x"), 0);
    EXPECT_EQ(vendorIdFromPath("vid_zzzz#vid_10c4&"), 0);
    EXPECT_EQ(vendorIdFromPath("vid_1234#vid_10c4&"), 0x1234);
}

TEST(PathParsing, SearchBoundsNearTheEndOfThePath) {
    // The vendor part needs one character after its digits.
    EXPECT_EQ(vendorIdFromPath("vid_10c4"), 0);
    EXPECT_EQ(vendorIdFromPath("vid_10c4&"), 0x10C4);
    EXPECT_EQ(vendorIdFromPath("avid_10c4"), 0);
    EXPECT_EQ(vendorIdFromPath("avid_10c4#"), 0x10C4);
    // The product part may end the path; digits cut off by the end read as 0.
    EXPECT_EQ(productIdFromPath("pid_505d"), 0x505D);
    EXPECT_EQ(productIdFromPath("xpid_505"), 0);
    EXPECT_EQ(productIdFromPath("xxpid"), 0);
    EXPECT_EQ(vendorIdFromPath(""), 0);
    EXPECT_EQ(productIdFromPath(""), 0);
}

TEST(PathParsing, PipeNamesDecideThePipeAndComeOffTheDevicePath) {
    std::string device;
    PipeKind kind{};
    ASSERT_TRUE(usb::parsePipePath("usb:1-1#vid_10c4&pid_505d\\PIPE01", &device, &kind));
    EXPECT_EQ(device, "usb:1-1#vid_10c4&pid_505d");
    EXPECT_EQ(kind, PipeKind::Write);
    ASSERT_TRUE(usb::parsePipePath("/run/sim/usb#vid_10c4\\PIPE01\\PIPE00", &device, &kind));
    EXPECT_EQ(device, "/run/sim/usb#vid_10c4");
    EXPECT_EQ(kind, PipeKind::Read);
    EXPECT_FALSE(usb::parsePipePath("dev\\PIPE02", &device, &kind));
    EXPECT_FALSE(usb::parsePipePath("\\PIPE00", &device, &kind));
}

// Pipes that move nothing: these tests look at discovery, not at transfers.
class IdlePipe : public usb::PipeChannel {
  public:
    usb::IoResult read(uint8_t*, uint32_t) override { return {usb::IoStatus::Ok, 0}; }
    usb::IoResult write(const uint8_t*, uint32_t length) override {
        return {usb::IoStatus::Ok, length};
    }
    void cancel() override {}
    void rearm() override {}
};

class ListedPaths : public usb::DeviceBackend {
  public:
    std::vector<std::string> paths;
    std::vector<std::string> unopenable;
    bool writePipeFails = false;
    bool readPipeFails = false;
    int listings = 0;
    std::vector<std::string> openedInterfaces;
    std::vector<std::pair<std::string, PipeKind>> openedPipes;

    std::vector<std::string> listPaths() override {
        ++listings;
        return paths;
    }
    std::shared_ptr<usb::InterfaceHandle> openInterface(const std::string& path) override {
        openedInterfaces.push_back(path);
        if (std::find(unopenable.begin(), unopenable.end(), path) != unopenable.end())
            return nullptr;
        return std::make_shared<usb::InterfaceHandle>();
    }
    std::shared_ptr<usb::PipeChannel> openPipe(const std::string& devicePath,
                                               PipeKind kind) override {
        openedPipes.emplace_back(devicePath, kind);
        if ((kind == PipeKind::Write && writePipeFails) ||
            (kind == PipeKind::Read && readPipeFails))
            return nullptr;
        return std::make_shared<IdlePipe>();
    }
};

class RecordingBoxes : public MessageBoxSink {
  public:
    std::vector<std::pair<BoxStyle, std::string>> shown;
    BoxResult show(BoxStyle style, std::string_view text) override {
        shown.emplace_back(style, std::string(text));
        return BoxResult::Ok;
    }
};

const std::string kWriteBox =
    "Error opening Write device: PIPE01\n\nApplication is aborting.\nReset hardware and try again.";
const std::string kReadBox =
    "Error opening Read device: PIPE00\n\nApplication is aborting.\nReset hardware and try again.";

class Discovery : public ::testing::Test {
  protected:
    void SetUp() override {
        previousBackends = usb::deviceInterfaceList().setBackends({paths});
        previousSink = setMessageBoxSink(&boxes);
    }
    void TearDown() override {
        setMessageBoxSink(previousSink);
        usb::deviceInterfaceList().setBackends(std::move(previousBackends));
    }

    // Whether the link holds a read pipe: only then does a read start.
    static bool hasReadPipe(UsbLink& link) {
        uint8_t byte = 0;
        return link.timedRead(&byte, 1, nullptr, 1000) == 1;
    }
    static bool hasWritePipe(UsbLink& link) {
        uint8_t byte = 0;
        return link.timedWrite(&byte, 1, nullptr, 1000) == 1;
    }

    std::shared_ptr<ListedPaths> paths = std::make_shared<ListedPaths>();
    RecordingBoxes boxes;
    MessageBoxSink* previousSink = nullptr;
    std::vector<std::shared_ptr<usb::DeviceBackend>> previousBackends;
};

TEST_F(Discovery, OpensTheProgrammerAndBothPipesUnderTheGrowingPath) {
    const std::string device = "usb#VID_10C4&PID_505D#7&2a#{37538c66-9584-42d3-9632-ebad0a230d13}";
    paths->paths = {"usb#vid_046d&pid_c52b#1", device};
    UsbLink link;
    ASSERT_EQ(link.open(), 1);

    EXPECT_EQ(paths->openedInterfaces, std::vector<std::string>{device});
    ASSERT_EQ(paths->openedPipes.size(), 2u);
    EXPECT_EQ(paths->openedPipes[0], std::make_pair(device, PipeKind::Write));
    EXPECT_EQ(paths->openedPipes[1], std::make_pair(device, PipeKind::Read));
    // The read pipe's name carries both pipe names, the write pipe's first.
    EXPECT_EQ(usb::deviceInterfaceList().currentPath(), device + "\\PIPE01\\PIPE00");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(hasReadPipe(link));
    EXPECT_TRUE(hasWritePipe(link));
}

TEST_F(Discovery, PipePathGrowsWithEveryPipeOpenedUntilTheNextInterface) {
    paths->paths = {"usb#vid_10c4&pid_505d#a", "usb#vid_10c4&pid_505d#b"};
    usb::DeviceInterfaceList& list = usb::deviceInterfaceList();
    ASSERT_EQ(list.countInterfaces(), 2);
    ASSERT_TRUE(list.openInterface(0));
    EXPECT_EQ(list.currentPath(), "usb#vid_10c4&pid_505d#a");
    EXPECT_TRUE(list.openPipe("PIPE01"));
    EXPECT_EQ(list.currentPath(), "usb#vid_10c4&pid_505d#a\\PIPE01");
    EXPECT_TRUE(list.openPipe("PIPE00"));
    EXPECT_EQ(list.currentPath(), "usb#vid_10c4&pid_505d#a\\PIPE01\\PIPE00");
    EXPECT_TRUE(list.openPipe("PIPE00"));
    EXPECT_EQ(list.currentPath(), "usb#vid_10c4&pid_505d#a\\PIPE01\\PIPE00\\PIPE00");
    ASSERT_TRUE(list.openInterface(1));
    EXPECT_EQ(list.currentPath(), "usb#vid_10c4&pid_505d#b");
    // An index past the list opens nothing and leaves an empty path.
    EXPECT_FALSE(list.openInterface(2));
    EXPECT_EQ(list.currentPath(), "");
    EXPECT_FALSE(list.openPipe("PIPE01"));
}

TEST_F(Discovery, OnlyTheTwoSpellingsOfTheVendorMatch) {
    paths->paths = {"usb#Vid_10c4&pid_505d#a", "usb#vid_10G4&pid_505d#b"};
    UsbLink link;
    EXPECT_EQ(link.open(), 0);
    EXPECT_TRUE(paths->openedInterfaces.empty());
    EXPECT_TRUE(paths->openedPipes.empty());
    EXPECT_FALSE(hasReadPipe(link));
}

TEST_F(Discovery, WrongProductIsPassedOverAndTheFirstMatchWinsEveryTime) {
    paths->paths = {"usb#vid_10c4&pid_505E#a", "usb#vid_10c4&pid_505d#b",
                    "usb#VID_10C4&PID_505D#c"};
    UsbLink link;
    ASSERT_EQ(link.open(), 1);
    ASSERT_EQ(link.open(), 1);
    EXPECT_EQ(paths->openedInterfaces,
              (std::vector<std::string>{"usb#vid_10c4&pid_505d#b", "usb#vid_10c4&pid_505d#b"}));
    // Each open takes a fresh list.
    EXPECT_EQ(paths->listings, 2);
}

TEST_F(Discovery, OnlyTheFirst127InterfacesAreExamined) {
    std::vector<std::string> others;
    for (int i = 0; i < 127; ++i)
        others.push_back("usb#vid_046d&pid_c52b#" + std::to_string(i));
    paths->paths = others;
    paths->paths.push_back("usb#vid_10c4&pid_505d#late");
    EXPECT_EQ(usb::deviceInterfaceList().countInterfaces(), 127);
    UsbLink link;
    EXPECT_EQ(link.open(), 0);

    paths->paths = std::vector<std::string>(others.begin(), others.end() - 1);
    paths->paths.push_back("usb#vid_10c4&pid_505d#last");
    EXPECT_EQ(link.open(), 1);
    EXPECT_EQ(paths->openedInterfaces.back(), "usb#vid_10c4&pid_505d#last");
}

TEST_F(Discovery, MissingPipesShowTheirBoxesAndOpenStillSucceeds) {
    paths->paths = {"usb#vid_10c4&pid_505d#a"};
    paths->writePipeFails = true;
    UsbLink link;
    EXPECT_EQ(link.open(), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, BoxStyle::OkWarning);
    EXPECT_EQ(boxes.shown[0].second, kWriteBox);
    EXPECT_FALSE(hasWritePipe(link));
    EXPECT_TRUE(hasReadPipe(link));
    // The read pipe is still opened under both names.
    EXPECT_EQ(usb::deviceInterfaceList().currentPath(), "usb#vid_10c4&pid_505d#a\\PIPE01\\PIPE00");

    // Once per open.
    EXPECT_EQ(link.open(), 1);
    EXPECT_EQ(boxes.shown.size(), 2u);

    boxes.shown.clear();
    paths->writePipeFails = false;
    paths->readPipeFails = true;
    EXPECT_EQ(link.open(), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].first, BoxStyle::OkWarning);
    EXPECT_EQ(boxes.shown[0].second, kReadBox);
    EXPECT_TRUE(hasWritePipe(link));
    EXPECT_FALSE(hasReadPipe(link));
}

TEST_F(Discovery, FailedOpensKeepThePipesOfTheLastGoodOne) {
    paths->paths = {"usb#vid_10c4&pid_505d#a"};
    UsbLink link;
    ASSERT_EQ(link.open(), 1);

    // No programmer: nothing changes.
    paths->paths = {"usb#vid_046d&pid_c52b#1"};
    EXPECT_EQ(link.open(), 0);
    EXPECT_TRUE(hasReadPipe(link));
    EXPECT_TRUE(hasWritePipe(link));

    // The interface does not open: the pipes keep their handles, no pipe is tried.
    paths->paths = {"usb#vid_10c4&pid_505d#b"};
    paths->unopenable = {"usb#vid_10c4&pid_505d#b"};
    size_t pipesBefore = paths->openedPipes.size();
    EXPECT_EQ(link.open(), 0);
    EXPECT_EQ(paths->openedPipes.size(), pipesBefore);
    EXPECT_TRUE(hasReadPipe(link));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Discovery, PathWithoutRoomForBothPipeNamesCountsAsNotFound) {
    // 256 characters hold the path, "\PIPE01\PIPE00" and the terminator.
    std::string head = "usb#vid_10c4&pid_505d#";
    std::string fits = head + std::string(241 - head.size(), 'x');
    std::string tooLong = head + std::string(242 - head.size(), 'y');
    paths->paths = {tooLong, fits};
    usb::DeviceInterfaceList& list = usb::deviceInterfaceList();
    ASSERT_EQ(list.countInterfaces(), 2);
    EXPECT_EQ(list.getInterfacePath(0), "");
    EXPECT_EQ(list.vendorIdAt(0), 0);

    UsbLink link;
    ASSERT_EQ(link.open(), 1);
    EXPECT_EQ(paths->openedInterfaces, std::vector<std::string>{fits});
    EXPECT_EQ(list.currentPath(), fits + "\\PIPE01\\PIPE00");
    EXPECT_EQ(list.currentPath().size(), 255u);
    EXPECT_TRUE(boxes.shown.empty());
    // Nothing more fits.
    EXPECT_FALSE(list.openPipe("PIPE00"));
    EXPECT_EQ(list.currentPath().size(), 255u);
}

} // namespace
