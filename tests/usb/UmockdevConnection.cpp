// The contract tests over libusb, against the programmer emulated in a umockdev
// testbed, and what libusb lists. The program runs under the umockdev preload.
#include "tests/usb/Connection.h"
#include "tests/usb/UmockdevProgrammer.h"
#include "usb/Backends.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

// The umockdev preload comes before the sanitizer runtime in the library list.
extern "C" const char* __asan_default_options() {
    return "verify_asan_link_order=0";
}

// umockdev hands testbed data to its worker thread through GLib's own futex locks, which
// ThreadSanitizer does not see; only those GLib copies are excused.
extern "C" const char* __tsan_default_suppressions() {
    return "race:g_strdup\n"
           "race:g_rec_mutex_clear\n";
}

namespace usbtest {

namespace {

UmockdevProgrammer* programmer = nullptr;
std::shared_ptr<usb::DeviceBackend> libusb; // one libusb context for the whole program

class UmockdevConnection : public Connection {
  public:
    explicit UmockdevConnection(sim::ProgrammerFirmware& firmware) {
        programmer->attach(&firmware);
        ++open_;
        EXPECT_EQ(link_.open(), 1);
    }
    // The device answers until the last link on it is gone.
    ~UmockdevConnection() override {
        if (--open_ == 0)
            programmer->attach(nullptr);
    }
    UsbLink& link() override { return link_; }

  private:
    static inline int open_ = 0;
    UsbLink link_{{libusb}};
};

TEST(LibusbDiscovery, ListsOnlyTheProgrammerAndOpensItByItsPath) {
    // The root hub is on the bus too, but is never a candidate.
    EXPECT_EQ(libusb->listPaths(), std::vector<std::string>{UmockdevProgrammer::kDevicePath});
    EXPECT_FALSE(libusb->openInterface("usb:9-9#vid_10c4&pid_505d"));
    UsbLink link({libusb});
    EXPECT_EQ(link.listProgrammers(), std::vector<std::string>{UmockdevProgrammer::kDevicePath});
    EXPECT_EQ(link.openPath(UmockdevProgrammer::kDevicePath), 1);
    EXPECT_EQ(link.devicePath(), UmockdevProgrammer::kDevicePath);
    // Reopening while the pipes are held reuses the claimed interface.
    EXPECT_EQ(link.open(), 1);
}

} // namespace

std::unique_ptr<Connection> connect(sim::ProgrammerFirmware& firmware) {
    return std::make_unique<UmockdevConnection>(firmware);
}

const bool kZeroLengthReadsReachDevice = false;

} // namespace usbtest

int main(int argc, char** argv) {
    if (!usbtest::UmockdevProgrammer::preloadActive()) {
        // Run again under the preload, as umockdev-wrapper would.
        std::string preload = "libumockdev-preload.so.0";
        if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
            preload += std::string(":") + old;
        ::setenv("LD_PRELOAD", preload.c_str(), 1);
        ::execv("/proc/self/exe", argv);
        std::perror("usb_umockdev_tests: cannot run under the umockdev preload");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    usbtest::programmer = new usbtest::UmockdevProgrammer;
    usbtest::libusb = usb::makeLibusbBackend();
    const int result = RUN_ALL_TESTS();
    usbtest::libusb.reset(); // libusb lets go of the device before the testbed goes
    delete usbtest::programmer;
    return result;
}
