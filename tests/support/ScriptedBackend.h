// An in-process programmer for tests and fuzzing: one device whose IN packets are laid
// out in advance and whose OUT pipe takes at most `outLimit` bytes of each transfer.
// A read with nothing queued fails at once, so nothing ever waits on it.
#pragma once

#include "usb/DeviceBackend.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace testsupport {

class ScriptedBackend : public usb::DeviceBackend,
                        public std::enable_shared_from_this<ScriptedBackend> {
  public:
    static constexpr const char* kPath = "scripted#vid_10c4&pid_505d";

    void queue(std::vector<uint8_t> packet) {
        std::lock_guard lock(mutex_);
        in_.push_back(std::move(packet));
    }
    void setOutLimit(uint32_t limit) {
        std::lock_guard lock(mutex_);
        outLimit_ = limit;
    }
    std::vector<uint8_t> written() {
        std::lock_guard lock(mutex_);
        return out_;
    }

    std::vector<std::string> listPaths() override { return {kPath}; }
    std::shared_ptr<usb::InterfaceHandle> openInterface(const std::string&) override {
        return std::make_shared<usb::InterfaceHandle>();
    }
    std::shared_ptr<usb::PipeChannel> openPipe(const std::string&, usb::PipeKind) override {
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
        usb::IoResult write(const uint8_t* src, uint32_t length, const WriteProgress&) override {
            std::lock_guard lock(device->mutex_);
            const uint32_t n = std::min(length, device->outLimit_);
            device->out_.insert(device->out_.end(), src, src + n);
            return {usb::IoStatus::Ok, n};
        }
        void cancel() override {}
        void rearm() override {}
        std::shared_ptr<ScriptedBackend> device;
    };

    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> in_;
    std::vector<uint8_t> out_;
    uint32_t outLimit_ = UINT32_MAX;
};

} // namespace testsupport
