// Drives a ProgrammerFirmware the way a host does, for the firmware tests.
#pragma once

#include "sim/ProgrammerFirmware.h"

#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

inline ChipInfo makeChip(ChipType type, uint32_t capacity, uint8_t manufacturerId = 0xEF,
                         uint8_t deviceId = 0x14) {
    ChipInfo chip{};
    chip.type = type;
    std::strcpy(chip.name, "TEST");
    chip.capacity = capacity;
    chip.manufacturerId = manufacturerId;
    chip.deviceId = deviceId;
    chip.memoryWidth = 8;
    return chip;
}

inline void putBigEndian32(Bytes& packet, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        packet[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

inline Bytes readCommand(uint8_t family, uint32_t address, uint32_t length) {
    Bytes packet{0x01, 0x0A, family, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 0, 0};
    putBigEndian32(packet, 3, address);
    putBigEndian32(packet, 7, length);
    return packet;
}

inline Bytes writeCommand(uint8_t family, uint32_t address, uint32_t length,
                          uint16_t pageSize = 256) {
    Bytes packet{0x02, 0x0C, family, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0, 0, 0};
    putBigEndian32(packet, 3, address);
    putBigEndian32(packet, 7, length);
    packet[11] = static_cast<uint8_t>(pageSize >> 8);
    packet[12] = static_cast<uint8_t>(pageSize);
    return packet;
}

class FirmwareHost {
  public:
    explicit FirmwareHost(sim::ProgrammerFirmware& firmware) : firmware_(firmware) {}

    sim::TransferResult out(const Bytes& bytes, std::chrono::milliseconds wait = 1000ms) {
        return firmware_.hostOut(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                 sim::Clock::now() + wait);
    }

    // One IN transfer; nullopt when nothing came within `wait`.
    std::optional<Bytes> in(uint32_t maxLength = 64, std::chrono::milliseconds wait = 200ms) {
        Bytes buffer(maxLength + 16, 0xEE);
        const auto r = firmware_.hostIn(buffer.data(), maxLength, sim::Clock::now() + wait);
        if (r.status != sim::TransferStatus::Done) {
            return std::nullopt;
        }
        buffer.resize(r.length);
        return buffer;
    }

    // Sends a command and returns the next IN transfer.
    std::optional<Bytes> exchange(const Bytes& command, std::chrono::milliseconds wait = 200ms) {
        if (out(command).status != sim::TransferStatus::Done) {
            return std::nullopt;
        }
        return in(64, wait);
    }

    // Reads a data phase the way the link does: chunks of 4096 (then the rest), until a
    // transfer comes back shorter than asked. Returns the bytes and the sizes asked.
    Bytes readPhase(uint32_t total, std::vector<uint32_t>* asked = nullptr) {
        Bytes data;
        uint32_t remaining = total;
        for (;;) {
            const uint32_t chunk = remaining < 4096 ? remaining : 4096;
            remaining -= chunk;
            if (asked != nullptr) {
                asked->push_back(chunk);
            }
            const auto got = in(chunk, 2000ms);
            if (!got) {
                break;
            }
            data.insert(data.end(), got->begin(), got->end());
            if (got->size() != chunk || chunk != 4096) {
                break;
            }
        }
        return data;
    }

    // Sends a data phase in chunks of 4096 bytes.
    bool writePhase(const Bytes& data) {
        size_t done = 0;
        do {
            const size_t chunk = std::min<size_t>(4096, data.size() - done);
            Bytes piece(data.begin() + done, data.begin() + done + chunk);
            if (out(piece, 2000ms).status != sim::TransferStatus::Done) {
                return false;
            }
            done += chunk;
        } while (done < data.size());
        return true;
    }

  private:
    sim::ProgrammerFirmware& firmware_;
};

inline sim::FirmwareOptions unpaced() {
    sim::FirmwareOptions options;
    options.pacing.bytesPerSecond = 0;
    return options;
}

} // namespace simtest
