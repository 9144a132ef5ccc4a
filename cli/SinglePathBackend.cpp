#include "cli/SinglePathBackend.h"

#include "usb/Backends.h"

#include <algorithm>

SinglePathBackend::SinglePathBackend(std::shared_ptr<usb::DeviceBackend> inner,
                                     std::string devicePath)
    : inner_(std::move(inner)), devicePath_(std::move(devicePath)) {}

std::vector<std::string> SinglePathBackend::listPaths() {
    const std::vector<std::string> paths = inner_->listPaths();
    if (std::find(paths.begin(), paths.end(), devicePath_) == paths.end()) {
        return {};
    }
    return {devicePath_};
}

std::shared_ptr<usb::InterfaceHandle> SinglePathBackend::openInterface(const std::string& path) {
    return path == devicePath_ ? inner_->openInterface(path) : nullptr;
}

std::shared_ptr<usb::PipeChannel> SinglePathBackend::openPipe(const std::string& devicePath,
                                                              usb::PipeKind kind) {
    return devicePath == devicePath_ ? inner_->openPipe(devicePath, kind) : nullptr;
}

std::vector<std::shared_ptr<usb::DeviceBackend>> backendsFor(const std::string& devicePath) {
    std::vector<std::shared_ptr<usb::DeviceBackend>> narrowed;
    for (std::shared_ptr<usb::DeviceBackend>& backend : usb::defaultBackends()) {
        narrowed.push_back(std::make_shared<SinglePathBackend>(std::move(backend), devicePath));
    }
    return narrowed;
}
