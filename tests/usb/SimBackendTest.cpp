// Finding simulated programmers: the folder, which sockets count, the whole open.
#include "tests/usb/EnvironmentValue.h"
#include "tests/usb/ScriptedDevice.h"
#include "tests/usb/ScriptedSimServer.h"
#include "tests/usb/TempFolder.h"
#include "usb/Backends.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/SimWire.h"
#include "usb/UsbLink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace usbtest {

namespace {

// A socket that accepts connections into its backlog but never answers.
int silentListener(const std::string& path, bool keepListening) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    if (!keepListening) {
        ::close(fd); // leaves a socket file nobody listens on
        return -1;
    }
    return fd;
}

TEST(SimulatorFolder, OwnVariableThenRuntimeFolderThenTmp) {
    {
        EnvironmentValue own("BRIMWICK_SIM_DIR", "/somewhere/sims");
        EnvironmentValue runtime("XDG_RUNTIME_DIR", "/run/user/1000");
        EXPECT_EQ(simwire::simulatorFolder(), "/somewhere/sims");
    }
    {
        EnvironmentValue own("BRIMWICK_SIM_DIR", "");
        EnvironmentValue runtime("XDG_RUNTIME_DIR", "/run/user/1000");
        EXPECT_EQ(simwire::simulatorFolder(), "/run/user/1000/brimwick-sim");
    }
    {
        EnvironmentValue own("BRIMWICK_SIM_DIR", nullptr);
        EnvironmentValue runtime("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(simwire::simulatorFolder(), "/tmp/brimwick-sim-" + std::to_string(::getuid()));
    }
}

TEST(SimulatorListing, OnlySocketsWhoseServerAnswersTheProbe) {
    TempFolder folder;
    ScriptedDevice device;
    std::string prefix = folder.path() + "/" + simwire::kSocketPrefix;
    ScriptedSimServer second(prefix + "2", device.endpoints());
    ScriptedSimServer first(prefix + "1", device.endpoints());
    int silent = silentListener(prefix + "silent", true);
    silentListener(prefix + "stale", false);
    std::ofstream(prefix + "file") << "not a socket";
    ASSERT_GE(silent, 0);

    auto backend = usb::makeSimBackend(folder.path());
    EXPECT_EQ(backend->listPaths(), (std::vector<std::string>{prefix + "1", prefix + "2"}));
    EXPECT_TRUE(backend->openInterface(prefix + "1"));
    EXPECT_FALSE(backend->openInterface(prefix + "silent"));
    EXPECT_FALSE(backend->openInterface(prefix + "stale"));
    EXPECT_FALSE(backend->openPipe(prefix + "stale", usb::PipeKind::Read));
    ::close(silent);

    // The folder is looked up at each listing when none is given.
    EnvironmentValue own("BRIMWICK_SIM_DIR", folder.path().c_str());
    EXPECT_EQ(usb::makeSimBackend()->listPaths().size(), 2u);
    TempFolder empty;
    EnvironmentValue other("BRIMWICK_SIM_DIR", empty.path().c_str());
    EXPECT_TRUE(usb::makeSimBackend()->listPaths().empty());
}

TEST(SimulatorLink, OpensTheSimulatedProgrammerAndNoticesItsUnplugging) {
    TempFolder folder;
    ScriptedDevice device;
    auto server = std::make_unique<ScriptedSimServer>(
        folder.path() + "/" + simwire::kSocketPrefix + "one", device.endpoints());
    EnvironmentValue own("BRIMWICK_SIM_DIR", folder.path().c_str());
    auto previous = usb::deviceInterfaceList().setBackends({usb::makeSimBackend()});
    {
        UsbLink link;
        ASSERT_EQ(link.open(), 1);
        EXPECT_EQ(usb::deviceInterfaceList().currentPath(), server->path() + "\\PIPE01\\PIPE00");
        const uint8_t command[2] = {0x07, 0x00};
        EXPECT_EQ(link.timedWrite(command, 2, nullptr, 500), 1);
        EXPECT_EQ(device.received(), (std::vector<uint8_t>{0x07, 0x00}));

        // The server goes away: transfers fail at once and the programmer is not found.
        server.reset();
        std::atomic<uint32_t> count{0};
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(link.timedWrite(command, 2, &count, 60000), 0);
        uint8_t answer[64];
        EXPECT_EQ(link.timedRead(answer, 64, &count, 60000), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(link.open(), 0);
    }
    usb::deviceInterfaceList().setBackends(std::move(previous));
}

} // namespace

} // namespace usbtest
