#include "usb/DeviceInterfaceList.h"

#include <algorithm>
#include <cstring>

namespace usb {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The first position that carries one of the two spellings decides, even when its
// digits do not read.
uint16_t idAfter(std::string_view path, std::string_view lower, std::string_view upper,
                 size_t tail) {
    if (const size_t slash = path.rfind('/'); slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    for (size_t i = 0; i + tail < path.size(); ++i) {
        std::string_view here = path.substr(i, 3);
        if (here == lower || here == upper)
            return parseHex4(path.substr(i + 4));
    }
    return 0;
}

} // namespace

uint16_t parseHex4(std::string_view text) {
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) {
        int digit = i < text.size() ? hexDigit(text[i]) : -1;
        if (digit < 0)
            return 0;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<uint16_t>(value);
}

// The vendor part must leave room for its four digits and one character more; the
// product part only for the three letters and the separator.
uint16_t vendorIdFromPath(std::string_view path) {
    return idAfter(path, "vid", "VID", 8);
}
uint16_t productIdFromPath(std::string_view path) {
    return idAfter(path, "pid", "PID", 4);
}

DeviceInterfaceList::DeviceInterfaceList(std::vector<std::shared_ptr<DeviceBackend>> backends)
    : backends_(std::move(backends)) {}

DeviceInterfaceList::~DeviceInterfaceList() = default;

void DeviceInterfaceList::refresh() {
    entries_.clear();
    for (const auto& backend : backends_) {
        if (!backend)
            continue;
        for (std::string& path : backend->listPaths())
            entries_.push_back({std::move(path), backend.get()});
    }
    listed_ = true;
}

const DeviceInterfaceList::Entry* DeviceInterfaceList::entryAt(int index) {
    if (!listed_)
        refresh();
    if (index < 0 || static_cast<size_t>(index) >= entries_.size())
        return nullptr;
    return &entries_[static_cast<size_t>(index)];
}

int DeviceInterfaceList::countInterfaces() {
    refresh();
    return static_cast<int>(std::min<size_t>(entries_.size(), kMaxInterfaces));
}

std::string DeviceInterfaceList::getInterfacePath(int index) {
    const Entry* entry = entryAt(index);
    if (!entry)
        return {};
    // A path that cannot take both pipe names and the terminator is never usable.
    if (entry->path.size() + kPipeSuffixes + 1 > kPathCapacity)
        return {};
    return entry->path;
}

uint16_t DeviceInterfaceList::vendorIdAt(int index) {
    return vendorIdFromPath(getInterfacePath(index));
}

uint16_t DeviceInterfaceList::productIdAt(int index) {
    return productIdFromPath(getInterfacePath(index));
}

DeviceBackend* DeviceInterfaceList::backendAt(int index) {
    const Entry* entry = entryAt(index);
    return entry ? entry->backend : nullptr;
}

std::shared_ptr<InterfaceHandle> DeviceInterfaceList::openInterface(int index) {
    std::string path = getInterfacePath(index);
    std::memset(path_, 0, sizeof path_);
    std::memcpy(path_, path.data(), std::min(path.size(), kPathCapacity - 1));
    const Entry* entry = entryAt(index);
    openedBackend_ = path.empty() || !entry ? nullptr : entry->backend;
    if (!openedBackend_)
        return nullptr;
    return openedBackend_->openInterface(path);
}

std::shared_ptr<PipeChannel> DeviceInterfaceList::openPipe(std::string_view name) {
    size_t used = std::strlen(path_);
    if (used + 1 + name.size() + 1 > kPathCapacity)
        return nullptr;
    path_[used] = '\\';
    std::memcpy(path_ + used + 1, name.data(), name.size());
    path_[used + 1 + name.size()] = '\0';

    std::string device;
    PipeKind kind{};
    if (!openedBackend_ || !parsePipePath(path_, &device, &kind))
        return nullptr;
    return openedBackend_->openPipe(device, kind);
}

std::string DeviceInterfaceList::currentPath() const {
    return path_;
}

bool parsePipePath(std::string_view name, std::string* devicePath, PipeKind* kind) {
    constexpr std::string_view kWrite = "\\PIPE01";
    constexpr std::string_view kRead = "\\PIPE00";
    if (name.ends_with(kWrite))
        *kind = PipeKind::Write;
    else if (name.ends_with(kRead))
        *kind = PipeKind::Read;
    else
        return false;
    while (name.ends_with(kWrite) || name.ends_with(kRead))
        name.remove_suffix(kWrite.size());
    if (name.empty())
        return false;
    devicePath->assign(name);
    return true;
}

} // namespace usb
