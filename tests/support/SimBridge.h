// A simulated CH341A with a chip from the part list, served on a socket in a private
// simulator folder and opened through the simulator back end as the host opens it.
#pragma once

#include "SimProgrammer.h"
#include "bridge/Ch341aSpi.h"
#include "sim/Ch341aDevice.h"
#include "sim/SimServer.h"
#include "sim/SpiChipCatalogue.h"
#include "usb/Backends.h"

namespace testsupport {

class SimBridge {
  public:
    explicit SimBridge(const std::string& chip, sim::SpiChipOptions chipOptions = {},
                       sim::Ch341aOptions options = {})
        : device_(options),
          chip_(chip.empty() ? nullptr : sim::makeSpiChip(chip, chipOptions, device_.clock())) {
        device_.attachChip(chip_.get());
        server_.start();
        bus_ = bridge::Ch341aSpi::open(*usb::makeSimBackend(folder_.path()), server_.socketPath());
    }
    void attach(sim::SpiSlave* chip) { device_.attachChip(chip); }
    bridge::Ch341aSpi& bus() { return *bus_; }
    sim::Ch341aDevice& device() { return device_; }
    sim::SpiNorChip& nor() { return dynamic_cast<sim::SpiNorChip&>(*chip_); }
    sim::SpiEepromChip& eeprom() { return dynamic_cast<sim::SpiEepromChip&>(*chip_); }
    std::string socketPath() const { return server_.socketPath(); }

  private:
    SimFolder folder_;
    sim::Ch341aDevice device_;
    std::unique_ptr<sim::SpiSlave> chip_;
    sim::SimServer server_{device_, simwire::kCh341aSocketPrefix};
    std::unique_ptr<bridge::Ch341aSpi> bus_;
};

} // namespace testsupport
