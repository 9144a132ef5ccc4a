// Contract and firmware tests over the simulator socket.
#include "sim/SimServer.h"
#include "tests/usb/ContractBench.h"
#include "tests/usb/EnvironmentValue.h"
#include "tests/usb/FirmwareBench.h"
#include "tests/usb/ScriptedSimServer.h"
#include "tests/usb/TempFolder.h"
#include "usb/Backends.h"
#include "usb/DeviceInterfaceList.h"
#include "usb/SimWire.h"

#include <gtest/gtest.h>

namespace usbtest {

namespace {

class SimBench : public ContractBench {
  public:
    SimBench()
        : server_(folder_.path() + "/" + simwire::kSocketPrefix + "bench", device_.endpoints()) {
        previous_ = usb::deviceInterfaceList().setBackends({usb::makeSimBackend(folder_.path())});
        EXPECT_TRUE(server_.listening());
        EXPECT_EQ(link_->open(), 1);
    }
    ~SimBench() override {
        link_.reset();
        usb::deviceInterfaceList().setBackends(std::move(previous_));
    }

    UsbLink& link() override { return *link_; }
    ScriptedDevice& device() override { return device_; }
    std::vector<TransferRecord> log() override { return server_.log(); }
    void clearLog() override { server_.clearLog(); }
    void settle() override { EXPECT_TRUE(server_.waitUntilHangUpsSeen(5000)); }
    bool zeroLengthReadsReachDevice() const override { return true; }

  private:
    TempFolder folder_;
    ScriptedDevice device_;
    ScriptedSimServer server_;
    std::unique_ptr<UsbLink> link_ = std::make_unique<UsbLink>();
    std::vector<std::shared_ptr<usb::DeviceBackend>> previous_;
};

} // namespace

std::unique_ptr<ContractBench> makeContractBench() {
    return std::make_unique<SimBench>();
}

} // namespace usbtest

// The firmware behind the simulator's own socket server.
namespace usbtest {

namespace {

class SimFirmwareBench : public FirmwareBench {
  public:
    explicit SimFirmwareBench(sim::ProgrammerFirmware& firmware) : server_(firmware) {
        std::string error;
        EXPECT_TRUE(server_.start(&error)) << error;
        previous_ = usb::deviceInterfaceList().setBackends({usb::makeSimBackend(folder_.path())});
        EXPECT_EQ(link_->open(), 1);
    }
    ~SimFirmwareBench() override {
        link_.reset();
        server_.stop();
        usb::deviceInterfaceList().setBackends(std::move(previous_));
    }
    UsbLink& link() override { return *link_; }

  private:
    TempFolder folder_;
    EnvironmentValue simFolder_{"BRIMWICK_SIM_DIR", folder_.path().c_str()};
    sim::SimServer server_;
    std::unique_ptr<UsbLink> link_ = std::make_unique<UsbLink>();
    std::vector<std::shared_ptr<usb::DeviceBackend>> previous_;
};

} // namespace

std::unique_ptr<FirmwareBench> makeFirmwareBench(sim::ProgrammerFirmware& firmware) {
    return std::make_unique<SimFirmwareBench>(firmware);
}

} // namespace usbtest
