#include "usb/DeviceKinds.h"

namespace usb {

DeviceKind deviceKindOf(std::string_view devicePath) {
    if (devicePath.find("vid_10c4&pid_505d") != std::string_view::npos)
        return DeviceKind::Programmer;
    if (devicePath.find("vid_1a86&pid_5512") != std::string_view::npos)
        return DeviceKind::Ch341a;
    if (devicePath.find("vid_1a86&pid_55db") != std::string_view::npos ||
        devicePath.find("vid_1a86&pid_55de") != std::string_view::npos)
        return DeviceKind::Ch347;
    return DeviceKind::Unknown;
}

std::string deviceKindLabel(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Programmer:
        return "Programmer 10c4:505d";
    case DeviceKind::Ch341a:
        return "CH341A 1a86:5512";
    case DeviceKind::Ch347:
        return "CH347T 1a86:55db";
    case DeviceKind::Unknown:
        break;
    }
    return "USB device";
}

std::string deviceLabelOf(std::string_view devicePath) {
    if (devicePath.find("vid_1a86&pid_55de") != std::string_view::npos)
        return "CH347F 1a86:55de";
    return deviceKindLabel(deviceKindOf(devicePath));
}

} // namespace usb
