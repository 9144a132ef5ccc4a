// The list of device interfaces in which a link looks for the programmer, and the
// opening of its interface and pipes by path. Each UsbLink owns one, built from the
// back ends it was given; only the thread driving that link uses it.
#pragma once

#include "usb/DeviceBackend.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace usb {

// The first four characters of `text` read as hexadecimal; 0 as soon as one of them is
// not a hex digit (characters past the end of `text` are not).
uint16_t parseHex4(std::string_view text);

// The IDs written in a device path after "vid"/"VID" and "pid"/"PID" and one separator
// character; 0 when none can be read. Only the device's own name is searched, the part
// after the last '/': the folder of a simulated programmer's socket ("/home/david",
// "/media/VIDEOS") says nothing about the device.
uint16_t vendorIdFromPath(std::string_view path);
uint16_t productIdFromPath(std::string_view path);

class DeviceInterfaceList {
  public:
    // Room for a path with its terminator.
    static constexpr size_t kPathCapacity = 256;
    // "\PIPE01" and "\PIPE00" are appended to the device path.
    static constexpr size_t kPipeSuffixes = 14;
    // At most this many interfaces are examined.
    static constexpr int kMaxInterfaces = 127;

    // Lists the interfaces of `backends`, in that order.
    explicit DeviceInterfaceList(std::vector<std::shared_ptr<DeviceBackend>> backends);
    ~DeviceInterfaceList();
    DeviceInterfaceList(const DeviceInterfaceList&) = delete;
    DeviceInterfaceList& operator=(const DeviceInterfaceList&) = delete;

    // Takes a fresh list of the present interfaces; 0..127. The index queries below
    // read the list of the latest count, so the interface that matched is the one opened.
    int countInterfaces();
    // Empty on any failure, including a path too long to take both pipe names.
    std::string getInterfacePath(int index);
    uint16_t vendorIdAt(int index);
    uint16_t productIdAt(int index);
    // The back end that lists the interface (null for an index out of the list); a bridge
    // is opened through it rather than through the pipe names.
    DeviceBackend* backendAt(int index);
    // Copies the interface's path into the path field and opens it; null on failure.
    std::shared_ptr<InterfaceHandle> openInterface(int index);
    // Appends a backslash and `name` to the path field and opens the resulting pipe
    // path; null on failure (a name that does not fit leaves the field unchanged).
    std::shared_ptr<PipeChannel> openPipe(std::string_view name);

    // The path field: the last opened interface with every pipe name appended since.
    std::string currentPath() const;

  private:
    struct Entry {
        std::string path;
        DeviceBackend* backend = nullptr;
    };
    void refresh();
    const Entry* entryAt(int index);

    const std::vector<std::shared_ptr<DeviceBackend>> backends_;
    std::vector<Entry> entries_;
    bool listed_ = false;
    char path_[kPathCapacity] = {};
    DeviceBackend* openedBackend_ = nullptr;
};

} // namespace usb
