// A source of programmers that shows a link one device of another source only, so a
// link bound to it reopens that programmer before every command, whatever else is
// plugged in meanwhile (with several programmers, the first one listed would win).
#pragma once

#include "usb/DeviceBackend.h"

#include <memory>
#include <string>
#include <vector>

class SinglePathBackend final : public usb::DeviceBackend {
  public:
    SinglePathBackend(std::shared_ptr<usb::DeviceBackend> inner, std::string devicePath);

    std::vector<std::string> listPaths() override;
    std::shared_ptr<usb::InterfaceHandle> openInterface(const std::string& path) override;
    std::shared_ptr<usb::PipeChannel> openPipe(const std::string& devicePath,
                                               usb::PipeKind kind) override;

  private:
    const std::shared_ptr<usb::DeviceBackend> inner_;
    const std::string devicePath_;
};

// The default sources (real programmers, then simulated ones), each narrowed to
// `devicePath`.
std::vector<std::shared_ptr<usb::DeviceBackend>> backendsFor(const std::string& devicePath);
