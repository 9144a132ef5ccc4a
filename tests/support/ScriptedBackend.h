// An in-process source of programmers for tests and fuzzing: the device paths it lists,
// the interfaces and pipes it lets open (recorded), IN packets laid out in advance and
// an OUT pipe that takes at most `outLimit` bytes of each transfer. A read with nothing
// queued fails at once, so nothing ever waits on it.
#pragma once

#include "usb/DeviceBackend.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class ScriptedBackend : public usb::DeviceBackend,
                        public std::enable_shared_from_this<ScriptedBackend> {
  public:
    // Listing and opening, as the driving thread of the link sees them.
    // One path per device and process, as a bus path is per device: a write data phase
    // one test leaves noted for its device never holds up another test's.
    static std::string uniquePath() {
        static std::atomic<int> made{0};
        return "scripted#vid_10c4&pid_505d#" + std::to_string(::getpid()) + "-" +
               std::to_string(++made);
    }
    std::vector<std::string> paths{uniquePath()}, unopenable, openedInterfaces;
    std::vector<std::pair<std::string, usb::PipeKind>> openedPipes;
    bool writePipeFails = false, readPipeFails = false;

    void queue(std::vector<uint8_t> packet) {
        std::lock_guard lock(mutex_);
        in_.push_back(std::move(packet));
    }
    void setOutLimit(uint32_t limit) {
        std::lock_guard lock(mutex_);
        outLimit_ = limit;
    }

    std::vector<std::string> listPaths() override { return paths; }
    std::shared_ptr<usb::InterfaceHandle> openInterface(const std::string& path) override {
        openedInterfaces.push_back(path);
        if (std::find(unopenable.begin(), unopenable.end(), path) != unopenable.end())
            return nullptr;
        return std::make_shared<usb::InterfaceHandle>();
    }
    std::shared_ptr<usb::PipeChannel> openPipe(const std::string& path,
                                               usb::PipeKind kind) override {
        openedPipes.emplace_back(path, kind);
        if (kind == usb::PipeKind::Write ? writePipeFails : readPipeFails)
            return nullptr;
        return std::make_shared<Pipe>(shared_from_this());
    }

  private:
    struct Pipe : usb::PipeChannel {
        explicit Pipe(std::shared_ptr<ScriptedBackend> device) : device(std::move(device)) {}
        usb::IoResult read(uint8_t* dest, uint32_t length) override {
            std::lock_guard lock(device->mutex_);
            if (device->in_.empty())
                return {usb::IoStatus::Failed, 0};
            std::vector<uint8_t>& packet = device->in_.front();
            const uint32_t n = std::min<uint32_t>(length, uint32_t(packet.size()));
            std::copy_n(packet.begin(), n, dest);
            packet.erase(packet.begin(), packet.begin() + n);
            if (packet.empty() || n == 0)
                device->in_.pop_front();
            return {usb::IoStatus::Ok, n};
        }
        usb::IoResult write(const uint8_t*, uint32_t length, const WriteProgress&) override {
            std::lock_guard lock(device->mutex_);
            return {usb::IoStatus::Ok, std::min(length, device->outLimit_)};
        }
        void cancel() override {}
        void rearm() override {}
        std::shared_ptr<ScriptedBackend> device;
    };

    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> in_;
    uint32_t outLimit_ = UINT32_MAX;
};

} // namespace testsupport
