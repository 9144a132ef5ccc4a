// Contract and firmware tests over libusb, against the programmer emulated in a
// umockdev testbed. The program runs under the umockdev preload.
#include "tests/usb/ContractBench.h"
#include "tests/usb/FirmwareBench.h"
#include "tests/usb/FirmwareEndpoints.h"
#include "tests/usb/UmockdevProgrammer.h"
#include "usb/Backends.h"
#include "usb/DeviceInterfaceList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
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

UmockdevProgrammer* programmer = nullptr;
std::shared_ptr<usb::DeviceBackend> libusbBackend;

namespace {

// Opens a link through libusb alone, so that simulators on the machine stay out of it.
class LibusbLink {
  public:
    LibusbLink() {
        previous_ = usb::deviceInterfaceList().setBackends({libusbBackend});
        EXPECT_EQ(link_->open(), 1);
    }
    ~LibusbLink() {
        link_.reset();
        usb::deviceInterfaceList().setBackends(std::move(previous_));
    }
    UsbLink& link() { return *link_; }

  private:
    std::unique_ptr<UsbLink> link_ = std::make_unique<UsbLink>();
    std::vector<std::shared_ptr<usb::DeviceBackend>> previous_;
};

class UmockdevBench : public ContractBench {
  public:
    UmockdevBench() {
        programmer->setEndpoints(device_.endpoints());
        programmer->clearLog();
        opened_ = std::make_unique<LibusbLink>();
    }
    ~UmockdevBench() override {
        opened_.reset();
        programmer->setEndpoints({});
    }
    UsbLink& link() override { return opened_->link(); }
    ScriptedDevice& device() override { return device_; }
    std::vector<TransferRecord> log() override { return programmer->log(); }
    void clearLog() override { programmer->clearLog(); }
    void settle() override {
        // An abandoned transfer has been taken back before the poll returned.
        EXPECT_EQ(programmer->cancelledTransfers(), 0u);
    }
    bool zeroLengthReadsReachDevice() const override { return false; }

  private:
    ScriptedDevice device_;
    std::unique_ptr<LibusbLink> opened_;
};

class UmockdevFirmwareBench : public FirmwareBench {
  public:
    explicit UmockdevFirmwareBench(sim::ProgrammerFirmware& firmware) {
        programmer->setEndpoints(firmwareEndpoints(firmware));
        opened_ = std::make_unique<LibusbLink>();
    }
    ~UmockdevFirmwareBench() override {
        opened_.reset();
        programmer->setEndpoints({});
    }
    UsbLink& link() override { return opened_->link(); }

  private:
    std::unique_ptr<LibusbLink> opened_;
};

TEST(LibusbDiscovery, ListsEveryDeviceAndOpensTheProgrammerByItsIds) {
    std::vector<std::string> paths = libusbBackend->listPaths();
    EXPECT_EQ(paths, (std::vector<std::string>{"usb:1@1#vid_1d6b&pid_0002",
                                               UmockdevProgrammer::kDevicePath}));
    // The hub has no bulk pair to claim.
    EXPECT_FALSE(libusbBackend->openInterface("usb:1@1#vid_1d6b&pid_0002"));
    EXPECT_FALSE(libusbBackend->openInterface("usb:9-9#vid_10c4&pid_505d"));

    LibusbLink opened;
    EXPECT_EQ(usb::deviceInterfaceList().currentPath(),
              std::string(UmockdevProgrammer::kDevicePath) + "\\PIPE01\\PIPE00");
    // Reopening while the pipes are held reuses the claimed interface.
    EXPECT_EQ(opened.link().open(), 1);
    EXPECT_EQ(opened.link().open(), 1);
}

} // namespace

std::unique_ptr<ContractBench> makeContractBench() {
    return std::make_unique<UmockdevBench>();
}

std::unique_ptr<FirmwareBench> makeFirmwareBench(sim::ProgrammerFirmware& firmware) {
    return std::make_unique<UmockdevFirmwareBench>(firmware);
}

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
    usbtest::libusbBackend = usb::makeLibusbBackend();
    int result = RUN_ALL_TESTS();
    // libusb lets go of the device before the testbed disappears.
    usb::deviceInterfaceList().setBackends({});
    usbtest::libusbBackend.reset();
    delete usbtest::programmer;
    return result;
}
