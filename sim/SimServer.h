// Serves one simulated programmer on a Unix stream socket in the simulator folder,
// speaking the simulator wire protocol (usb/SimWire.h): interface probe, write pipe
// and read pipe. The socket appearing is a plug-in; unplugging closes the socket and
// every connection and removes the socket file.
//
// Runs on its own threads: one accepting connections and one per connection. The
// newest connection of each pipe is the one that moves data; an older one of the same
// pipe stops taking transfers, so that a host that reopened a pipe after abandoning a
// transfer cannot lose data to its old connection. A transfer whose connection the
// host has shut down or closed moves nothing either, as a cancelled USB transfer.
#pragma once

#include "sim/ProgrammerFirmware.h"
#include "sim/UsbDeviceModel.h"
#include "usb/SimWire.h"

#include <chrono>
#include <memory>
#include <string>

namespace sim {

class SimServer {
  public:
    // `device` must outlive the server. `socketPrefix` carries the device's USB IDs.
    explicit SimServer(UsbDeviceModel& device, std::string socketPrefix = simwire::kSocketPrefix);
    ~SimServer(); // stop()
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Creates the folder if needed and plugs the device in: socket
    // "<folder>/<socketPrefix>sim-<pid>-<n>", e.g. "usb#vid_10c4&pid_505d#sim-42-1". false with
    // `error` on failure. A server that has been unplugged cannot be started again; make a new one
    // (after firmware.powerCycle() when the firmware itself went away).
    bool start(std::string* error = nullptr);
    // Unplugs: closes the socket and all connections, removes the socket file, joins
    // every thread. The firmware is left as it is.
    void stop();

    // True from start until unplugged (stop, or the firmware going away by itself).
    bool pluggedIn() const;
    // Waits until unplugged; false when `timeout` passed first.
    bool waitUnplugged(std::chrono::milliseconds timeout) const;
    // The socket's full path: the device path that discovery reports.
    std::string socketPath() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
