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
    Unknown,
};

DeviceKind deviceKindOf(std::string_view devicePath);
inline bool isBridge(DeviceKind kind) {
    return kind == DeviceKind::Ch341a;
}
// What device lists show for a kind, for example "CH341A 1a86:5512".
std::string deviceKindLabel(DeviceKind kind);

} // namespace usb
