#include "tests/usb/ScriptedDevice.h"

#include <algorithm>
#include <cstring>

namespace usbtest {

void ScriptedDevice::queueIn(std::vector<uint8_t> packet) {
    std::lock_guard lock(mutex_);
    in_.push_back(std::move(packet));
}

size_t ScriptedDevice::queuedPackets() const {
    std::lock_guard lock(mutex_);
    return in_.size();
}

void ScriptedDevice::setRefuseOut(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseOut_ = refuse;
}

void ScriptedDevice::setGone(bool gone) {
    std::lock_guard lock(mutex_);
    gone_ = gone;
}

std::vector<uint8_t> ScriptedDevice::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

EmulatedEndpoints ScriptedDevice::endpoints() {
    return {[this](const uint8_t* data, uint32_t length) { return hostWrote(data, length); },
            [this](uint8_t* dest, uint32_t maxLength) { return hostWants(dest, maxLength); }};
}

EmulatedTransfer ScriptedDevice::hostWrote(const uint8_t* data, uint32_t length) {
    std::lock_guard lock(mutex_);
    if (gone_)
        return {EmulatedStatus::Gone, 0};
    if (refuseOut_)
        return {EmulatedStatus::Refused, 0};
    received_.insert(received_.end(), data, data + length);
    return {EmulatedStatus::Done, length};
}

EmulatedTransfer ScriptedDevice::hostWants(uint8_t* dest, uint32_t maxLength) {
    std::lock_guard lock(mutex_);
    if (gone_)
        return {EmulatedStatus::Gone, 0};
    if (in_.empty())
        return {EmulatedStatus::NotYet, 0};
    std::vector<uint8_t>& packet = in_.front();
    uint32_t length = static_cast<uint32_t>(std::min<size_t>(packet.size(), maxLength));
    if (length > 0)
        std::memcpy(dest, packet.data(), length);
    packet.erase(packet.begin(), packet.begin() + length);
    if (packet.empty())
        in_.pop_front();
    return {EmulatedStatus::Done, length};
}

std::vector<uint8_t> pattern(size_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

} // namespace usbtest
