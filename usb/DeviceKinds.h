// The kinds of USB device Brimwick+ drives, told apart by the USB ID every device path
// carries ("...#vid_1a86&pid_5512..."): the programmer with its closed command set, and
// bridges on which the host runs the chip's own commands.
#pragma once

#include <string>
#include <string_view>

namespace usb {

enum class DeviceKind {
    Programmer, // 10c4:505d
    Ch341a,     // 1a86:5512, SPI (and later I2C and pins)
    Ch347,      // 1a86:55db (CH347T) and 1a86:55de (CH347F), high-speed SPI
    Unknown,
};

DeviceKind deviceKindOf(std::string_view devicePath);
inline bool isBridge(DeviceKind kind) {
    return kind == DeviceKind::Ch341a || kind == DeviceKind::Ch347;
}
// What device lists show for a kind, for example "CH341A 1a86:5512".
std::string deviceKindLabel(DeviceKind kind);
// The label of the device at `devicePath`: as deviceKindLabel, but a CH347 names its
// variant ("CH347T 1a86:55db", "CH347F 1a86:55de").
std::string deviceLabelOf(std::string_view devicePath);

} // namespace usb
