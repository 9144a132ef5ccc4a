// The contract tests over the simulator's socket.
#include "tests/support/SimProgrammer.h"
#include "tests/usb/Connection.h"
#include "usb/Backends.h"

#include <gtest/gtest.h>

namespace usbtest {

namespace {

class SimConnection : public Connection {
  public:
    explicit SimConnection(sim::ProgrammerFirmware& firmware) : server_(firmware) {
        std::string error;
        EXPECT_TRUE(server_.start(&error)) << error;
        EXPECT_EQ(link_.open(), 1);
    }
    UsbLink& link() override { return link_; }

  private:
    testsupport::SimFolder folder_;
    sim::SimServer server_;
    UsbLink link_{{usb::makeSimBackend(folder_.path())}};
};

} // namespace

std::unique_ptr<Connection> connect(sim::ProgrammerFirmware& firmware) {
    return std::make_unique<SimConnection>(firmware);
}

const bool kZeroLengthReadsReachDevice = true;

} // namespace usbtest
