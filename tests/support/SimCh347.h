// A simulated CH347T with a chip from the part list, served on a socket in a private
// simulator folder and opened at `clockHz` through the simulator back end.
#pragma once

#include "SimProgrammer.h"
#include "bridge/Ch347Spi.h"
#include "sim/Ch347Device.h"
#include "sim/SimServer.h"
#include "sim/SpiChipCatalogue.h"
#include "usb/Backends.h"

namespace testsupport {

class SimCh347 {
  public:
    explicit SimCh347(const std::string& chip, uint32_t clockHz = bridge::Ch347Spi::kDefaultClockHz,
                      sim::Ch347Options options = {},
                      std::shared_ptr<usb::DeviceBackend> backend = nullptr)
        : device_(options), chip_(sim::makeSpiChip(chip, {}, device_.clock())) {
        device_.attachChip(chip_.get());
        server_.start();
        backend_ = backend ? backend : usb::makeSimBackend(folder_.path());
        bus_ = bridge::Ch347Spi::open(*backend_, server_.socketPath(), clockHz);
    }
    bool opened() const { return bus_ != nullptr; }
    bridge::Ch347Spi& bus() { return *bus_; }
    sim::Ch347Device& device() { return device_; }
    sim::SpiNorChip& nor() { return dynamic_cast<sim::SpiNorChip&>(*chip_); }
    std::string socketPath() const { return server_.socketPath(); }
    const std::string& folder() const { return folder_.path(); }

  private:
    SimFolder folder_;
    sim::Ch347Device device_;
    std::unique_ptr<sim::SpiSlave> chip_;
    sim::SimServer server_{device_, simwire::kCh347SocketPrefix};
    std::shared_ptr<usb::DeviceBackend> backend_;
    std::unique_ptr<bridge::Ch347Spi> bus_;
};

} // namespace testsupport
