// The firmware model behind the real socket server, in a private BRIMWICK_SIM_DIR.
#pragma once

#include "ChipFiles.h"
#include "TempFolder.h"
#include "sim/ProgrammerFirmware.h"
#include "sim/SimServer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// A chip record as the database would give it: 256-byte pages, x8, IDs EF 14.
inline ChipInfo testChip(ChipType type, uint32_t capacity, const char* name = "TEST",
                         uint8_t manufacturerId = 0xEF, uint8_t deviceId = 0x14) {
    return makeChip(type, name, capacity, 1, 256, manufacturerId, deviceId, 8, "Test");
}
// Bytes that differ from address to address and from seed to seed.
Bytes pattern(size_t length, uint8_t seed = 1);
// The 25 FLASH family's Read ID command and a test chip's answer.
inline const Bytes kId{0x05, 0x00, 0x01}, kIdAnswer{0x05, 0x02, 0xEF, 0x14};
inline long long msSince(std::chrono::steady_clock::time_point start) {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}
// No data-rate pacing: tests run at memory speed unless they ask for timing.
sim::FirmwareOptions unpaced();
// Chip commands as the programmer protocol sends them (address mode 3, width byte 0).
Bytes readCommand(uint8_t family, uint32_t address, uint32_t length);
Bytes writeCommand(uint8_t family, uint32_t address, uint32_t length, uint16_t page = 256);

// Sets BRIMWICK_SIM_DIR to its own folder for its lifetime.
class SimFolder : public TempFolder {
  public:
    SimFolder();
    ~SimFolder();

  private:
    std::optional<std::string> previous_;
};

class SimProgrammer {
  public:
    // `chip` null = an empty socket.
    explicit SimProgrammer(const ChipInfo* chip, sim::FirmwareOptions options = unpaced());

    sim::ProgrammerFirmware& firmware() { return firmware_; }
    const std::string& folder() const { return folder_.path(); }
    std::string socketPath() const { return server_.socketPath(); }
    void unplug() { server_.stop(); }

    // The commands the firmware took, oldest first, from position `from` on.
    std::vector<Bytes> commandsSince(size_t from = 0) const;
    size_t commandCount() const { return firmware_.commandLog().size(); }

  private:
    SimFolder folder_;
    sim::ProgrammerFirmware firmware_;
    sim::SimServer server_{firmware_};
};

} // namespace testsupport
