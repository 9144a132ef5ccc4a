// Finding the programmer and opening its pipes; the link contract over the simulator's socket.
#include "MessageRecorder.h"
#include "tests/support/ScriptedBackend.h"
#include "tests/support/SimProgrammer.h"
#include "tests/usb/Connection.h"
#include "usb/Backends.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/SimWire.h"
#include "usb/UsbLink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

using usb::PipeKind;

TEST(PathParsing, IdsComeFromEitherSpellingInTheDevicesOwnName) {
    struct Case {
        const char* path;
        uint16_t vendor, product;
    } cases[] = {
        {"\\\\?\\usb#vid_10c4&pid_505d#6&1b2c#{37538c66}", 0x10C4, 0x505D},
        {"USB#VID_10C4&PID_505D#x", 0x10C4, 0x505D},
        {"usb#vid-10c4#", 0x10C4, 0},           // any separator character
        {"usb#Vid_10c4&Pid_505d#x", 0, 0},      // only the two spellings count
        {"usb#vid_10G4&pid_505d#x", 0, 0x505D}, // one bad digit spoils the value
        {"vid_zzzz#vid_10c4&", 0, 0},           // the first match decides
        {"vid_1234#vid_10c4&", 0x1234, 0},
        {"vid_10c4", 0, 0},      // the vendor part needs a character after it
        {"pid_505d", 0, 0x505D}, // the product part may end the path
        // A simulated programmer's folder says nothing about the device.
        {"/home/david/run/usb#vid_10c4&pid_505d#sim-1", 0x10C4, 0x505D},
        {"/media/VIDEOS/PIDs/usb#vid_10c4&pid_505d#sim-1", 0x10C4, 0x505D},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(usb::vendorIdFromPath(c.path), c.vendor);
        EXPECT_EQ(usb::productIdFromPath(c.path), c.product);
    }
    EXPECT_EQ(usb::parseHex4("fFfF&"), 0xFFFF);
}

class Discovery : public ::testing::Test {
  protected:
    // Only a pipe that is open moves a byte.
    bool pipes(bool write) {
        uint8_t byte = 0;
        list->queue({1});
        return write ? link.timedWrite(&byte, 1, nullptr, 1000) == 1
                     : link.timedRead(&byte, 1, nullptr, 1000) == 1;
    }
    std::shared_ptr<testsupport::ScriptedBackend> list =
        std::make_shared<testsupport::ScriptedBackend>();
    UsbLink link{{list}};
    RecordingSink boxes;
};

TEST_F(Discovery, TheFirstProgrammerListedIsOpenedEveryTimeWithBothPipes) {
    const std::string b = "usb#vid_10c4&pid_505d#b", c = "usb#VID_10C4&PID_505D#c";
    list->paths = {"usb#vid_046d&pid_c52b#1", "usb#vid_10c4&pid_505E#a", "usb#Vid_10c4&pid_505d#x",
                   b, c};
    EXPECT_EQ(link.listProgrammers(), (std::vector<std::string>{b, c}));
    ASSERT_EQ(link.open(), 1);
    ASSERT_EQ(link.open(), 1);
    EXPECT_EQ(list->openedInterfaces, (std::vector<std::string>{b, b}));
    EXPECT_EQ(link.devicePath(), b);
    EXPECT_EQ(list->openedPipes.at(0), std::make_pair(b, PipeKind::Write));
    EXPECT_EQ(list->openedPipes.at(1), std::make_pair(b, PipeKind::Read));
    EXPECT_TRUE(pipes(true) && pipes(false));
    // A chosen programmer by its path; one that is not a programmer is not opened.
    EXPECT_EQ(link.openPath(c), 1);
    EXPECT_EQ(link.devicePath(), c);
    EXPECT_EQ(link.openPath("usb#vid_10c4&pid_505E#a"), 0);
    // The pipe names grow on the path until the next interface is opened.
    usb::DeviceInterfaceList interfaces({list});
    ASSERT_EQ(interfaces.countInterfaces(), 5);
    ASSERT_TRUE(interfaces.openInterface(3));
    EXPECT_TRUE(interfaces.openPipe("PIPE01") && interfaces.openPipe("PIPE00"));
    EXPECT_EQ(interfaces.currentPath(), b + "\\PIPE01\\PIPE00");
    EXPECT_FALSE(interfaces.openInterface(5));
    EXPECT_EQ(interfaces.currentPath(), "");
}

TEST_F(Discovery, OnlyTheFirst127InterfacesAreExaminedAndPathsMustLeaveRoomForThePipes) {
    list->paths.clear();
    for (int i = 0; i < 127; ++i)
        list->paths.push_back("usb#vid_046d&pid_c52b#" + std::to_string(i));
    list->paths.push_back("usb#vid_10c4&pid_505d#late");
    EXPECT_EQ(link.open(), 0);
    list->paths.erase(list->paths.begin());
    EXPECT_EQ(link.open(), 1);
    // 256 characters hold the path, "\PIPE01\PIPE00" and the terminator.
    const std::string head = "usb#vid_10c4&pid_505d#";
    const std::string fits = head + std::string(241 - head.size(), 'x');
    list->paths = {head + std::string(242 - head.size(), 'y'), fits};
    list->openedInterfaces.clear();
    ASSERT_EQ(link.open(), 1);
    EXPECT_EQ(list->openedInterfaces, std::vector<std::string>{fits});
    usb::DeviceInterfaceList interfaces({list});
    ASSERT_TRUE(interfaces.openInterface(1));
    EXPECT_TRUE(interfaces.openPipe("PIPE01") && interfaces.openPipe("PIPE00"));
    EXPECT_EQ(interfaces.currentPath().size(), 255u);
    EXPECT_FALSE(interfaces.openPipe("PIPE00"));
}

TEST_F(Discovery, AMissingPipeShowsItsBoxAtEachOpenAndFailedOpensKeepThePipes) {
    const std::string writeBox = "Error opening Write device: PIPE01\n\nApplication is aborting."
                                 "\nReset hardware and try again.";
    list->paths = {"usb#vid_10c4&pid_505d#a"};
    list->writePipeFails = true;
    EXPECT_EQ(link.open(), 1);
    EXPECT_EQ(link.open(), 1);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(2, writeBox));
    EXPECT_FALSE(pipes(true));
    EXPECT_TRUE(pipes(false));
    list->writePipeFails = false;
    list->readPipeFails = true;
    EXPECT_EQ(link.open(), 1);
    const std::string readBox = "Error opening Read device: PIPE00\n\nApplication "
                                "is aborting.\nReset hardware and try again.";
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{writeBox, writeBox, readBox}));
    EXPECT_FALSE(pipes(false));
    link.markOutOfStep();
    EXPECT_FALSE(link.bringInStep()); // nothing to drain from
    // No programmer, or one whose interface does not open: the pipes stay as they were.
    list->readPipeFails = false;
    ASSERT_EQ(link.open(), 1);
    list->paths = {"usb#vid_046d&pid_c52b#1"};
    EXPECT_EQ(link.open(), 0);
    list->paths = {"usb#vid_10c4&pid_505d#b"};
    list->unopenable = list->paths;
    const size_t pipesBefore = list->openedPipes.size();
    EXPECT_EQ(link.open(), 0);
    EXPECT_EQ(list->openedPipes.size(), pipesBefore);
    EXPECT_TRUE(pipes(true) && pipes(false));
    for (const RecordedBox& box : boxes.boxes)
        EXPECT_EQ(box.style, BoxStyle::OkWarning);
}

TEST(SimulatorListing, OnlyAnsweringSocketsInTheSimulatorFolderCount) {
    testsupport::SimFolder folder;
    const std::string david = folder.path() + "/david/VIDEOS"; // "vid" in the folder
    ::setenv("BRIMWICK_SIM_DIR", david.c_str(), 1);
    const ChipInfo chip = testsupport::testChip(ChipType::Flash25, 4096);
    sim::ProgrammerFirmware firmware(&chip, testsupport::unpaced());
    sim::SimServer server(firmware);
    ASSERT_TRUE(server.start());
    // A socket nobody listens on any more, and a plain file.
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, (david + "/" + simwire::kSocketPrefix + "0stale").c_str());
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    writeFile(david + "/" + simwire::kSocketPrefix + "0file", "not a socket");
    UsbLink link;
    EXPECT_EQ(link.listProgrammers(), std::vector<std::string>{server.socketPath()});
    ASSERT_EQ(link.open(), 1);
    server.stop(); // unplugged: the next open finds nothing
    EXPECT_EQ(link.open(), 0);
}

} // namespace

// The link contract over the simulator's socket.
namespace usbtest {

class SimConnection : public Connection {
  public:
    explicit SimConnection(sim::ProgrammerFirmware& firmware) : server_(firmware) {
        EXPECT_TRUE(server_.start());
        EXPECT_EQ(link_.open(), 1);
    }
    UsbLink& link() override { return link_; }

  private:
    testsupport::SimFolder folder_;
    sim::SimServer server_;
    UsbLink link_{{usb::makeSimBackend(folder_.path())}};
};

std::unique_ptr<Connection> connect(sim::ProgrammerFirmware& firmware) {
    return std::make_unique<SimConnection>(firmware);
}

const bool kZeroLengthReadsReachDevice = true;

} // namespace usbtest
