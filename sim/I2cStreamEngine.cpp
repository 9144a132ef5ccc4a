#include "sim/I2cStreamEngine.h"

namespace sim {
namespace {

constexpr uint32_t kSpeedsKHz[8] = {20, 100, 400, 750, 50, 200, 1000, 2000};

} // namespace

I2cStreamEngine::I2cStreamEngine(bool everyByteAnswered, uint32_t startKHz)
    : everyByteAnswered_(everyByteAnswered), kHz_(startKHz) {}

bool I2cStreamEngine::run(const uint8_t* packet, uint32_t length, I2cSlave* chip,
                          VirtualClock& clock, const Hooks& hooks, std::vector<uint8_t>* answers) {
    const uint64_t clockNs = 1'000'000 / kHz_;
    for (uint32_t i = 1; i < length; ++i) {
        const uint8_t op = packet[i];
        if (op == 0x00)
            break;
        if (op == 0x74 || op == 0x75) {
            clock.advance(clockNs);
            if (chip)
                op == 0x74 ? chip->start() : chip->stop();
        } else if ((op & 0xC0) == 0x80) {
            uint32_t n = op & 0x3F;
            const bool single = n == 0 && !everyByteAnswered_;
            n = single ? 1 : n;
            for (uint32_t k = 0; k < n && i + 1 < length; ++k) {
                if (!hooks.busByte())
                    return false;
                clock.advance(9 * clockNs);
                const uint8_t byte = packet[++i];
                const bool ack = chip != nullptr && chip->write(byte);
                if (everyByteAnswered_)
                    answers->push_back(ack ? 0x01 : 0x00);
                else if (single)
                    answers->push_back(ack ? 0x00 : 0x80);
            }
        } else if ((op & 0xC0) == 0xC0) {
            const uint32_t n = (op & 0x3F) == 0 ? 1 : op & 0x3F;
            for (uint32_t k = 0; k < n; ++k) {
                if (!hooks.busByte())
                    return false;
                clock.advance(9 * clockNs);
                answers->push_back(hooks.noise(chip ? chip->read((op & 0x3F) != 0) : 0xFF));
            }
        } else if ((op & 0xF0) == 0x40) {
            clock.advance(uint64_t{op & 0x0Fu} * 1000);
        } else if ((op & 0xF0) == 0x50) {
            clock.advance(uint64_t{op & 0x0Fu} * 1'000'000);
        } else if ((op & 0xF0) == 0x60) {
            kHz_ = kSpeedsKHz[op & (everyByteAnswered_ ? 7 : 3)];
        }
    }
    return true;
}

} // namespace sim
