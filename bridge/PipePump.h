// The writer and reader threads a bridge runs on its two bulk pipes while the host keeps
// commands in flight: the writer sends OUT transfers while the answers of at most
// `windowBytes` are outstanding, the reader takes answers as they come. No progress for
// `idleLimitMs` is a stall (Failed); a pipe reporting the device gone is Gone. On any
// failure both pipes are cancelled, the threads joined and the pipes rearmed.
#pragma once

#include "bridge/SpiBus.h"
#include "bridge/StreamPacket.h"
#include "usb/DeviceBackend.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <vector>

namespace bridge {

struct PumpLimits {
    uint64_t windowBytes = 0;
    uint32_t idleLimitMs = 3000;
    uint32_t readBytes = 4096;  // the size of each IN transfer asked for
    uint32_t writeBytes = 4096; // the most one OUT transfer of stream packets carries
};

// The next OUT transfer and the answer bytes expected once it is through; false at the end.
using NextTransfer = std::function<bool(std::vector<uint8_t>*, uint64_t*)>;
using TakeAnswers = std::function<void(const uint8_t*, uint32_t)>;

// Sends every transfer `next` gives and reads `expected` answer bytes.
BusResult pumpPipes(usb::PipeChannel& out, usb::PipeChannel& in, const PumpLimits& limits,
                    uint64_t expected, const NextTransfer& next, const TakeAnswers& take,
                    std::stop_token stop, const std::function<void(uint64_t)>& progress);

// Sends a bridge's stream packets, each padded to `packetSize` with zeros after its end
// marker (a shorter USB packet would end the transfer), several to an OUT transfer; the
// answers of all of them in order in `*answers`. Failed, with nothing sent, when a packet
// is longer than `packetSize` or brings back more than `maxAnswers` bytes.
BusResult pumpPackets(usb::PipeChannel& out, usb::PipeChannel& in, const PumpLimits& limits,
                      uint32_t packetSize, uint32_t maxAnswers,
                      std::span<const StreamPacket> packets, std::vector<uint8_t>* answers,
                      std::stop_token stop);

BusResult fromIo(usb::IoStatus status);

} // namespace bridge
