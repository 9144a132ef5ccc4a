#include "tests/support/SimProgrammer.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

Bytes pattern(size_t length, uint8_t seed) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8) * 13);
    return bytes;
}

sim::FirmwareOptions unpaced() {
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 0;
    return options;
}

Bytes readCommand(uint8_t family, uint32_t address, uint32_t length) {
    Bytes packet{0x01, 0x0A, family};
    for (uint32_t value : {address, length})
        for (int shift = 24; shift >= 0; shift -= 8)
            packet.push_back(static_cast<uint8_t>(value >> shift));
    packet.insert(packet.end(), {0x03, 0, 0, 0});
    return packet;
}

Bytes writeCommand(uint8_t family, uint32_t address, uint32_t length, uint16_t page) {
    Bytes packet = readCommand(family, address, length);
    packet[0] = 0x02;
    packet[1] = 0x0C;
    packet.insert(packet.begin() + 11, {uint8_t(page >> 8), uint8_t(page)});
    return packet;
}

SimFolder::SimFolder() {
    if (const char* old = std::getenv("BRIMWICK_SIM_DIR"))
        previous_ = old;
    ::setenv("BRIMWICK_SIM_DIR", path().c_str(), 1);
}

SimFolder::~SimFolder() {
    if (previous_)
        ::setenv("BRIMWICK_SIM_DIR", previous_->c_str(), 1);
    else
        ::unsetenv("BRIMWICK_SIM_DIR");
}

SimProgrammer::SimProgrammer(const ChipInfo* chip, sim::FirmwareOptions options)
    : firmware_(chip, std::move(options)) {
    std::string error;
    if (!server_.start(&error))
        throw std::runtime_error("simulated programmer: " + error);
}

std::vector<Bytes> SimProgrammer::commandsSince(size_t from) const {
    const auto log = firmware_.commandLog();
    return {log.begin() + static_cast<std::ptrdiff_t>(std::min(from, log.size())), log.end()};
}

} // namespace testsupport
