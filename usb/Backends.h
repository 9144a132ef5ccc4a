// The two sources of programmers the link knows. Both may be shared by links on
// different threads.
#pragma once

#include "usb/DeviceBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace usb {

// USB devices reached through libusb-1.0, one path per device, e.g.
// "usb:1-2.1#vid_10c4&pid_505d". Lists the programmers (10c4:505d) and the CH341A
// bridges (1a86:5512); nothing when libusb cannot start.
std::shared_ptr<DeviceBackend> makeLibusbBackend();

// Simulated programmers: the sockets in `folder` whose server answers the interface
// probe; an empty `folder` means simwire::simulatorFolder(), looked up at each listing.
std::shared_ptr<DeviceBackend> makeSimBackend(std::string folder = {});

// What the window uses: real programmers first, then simulated ones.
std::vector<std::shared_ptr<DeviceBackend>> defaultBackends();

} // namespace usb
