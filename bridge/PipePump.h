// The writer and reader threads a bridge runs on its two bulk pipes while the host keeps
// commands in flight: the writer sends OUT transfers while the answers of at most
// `windowBytes` are outstanding, the reader takes answers as they come. No progress for
// `idleLimitMs` is a stall (Failed); a pipe reporting the device gone is Gone. On any
// failure both pipes are cancelled, the threads joined and the pipes rearmed.
#pragma once

#include "bridge/SpiBus.h"
#include "usb/DeviceBackend.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

namespace bridge {

struct PumpLimits {
    uint64_t windowBytes = 0;
    uint32_t idleLimitMs = 3000;
    uint32_t readBytes = 4096; // the size of each IN transfer asked for
};

// The next OUT transfer and the answer bytes expected once it is through; false at the end.
using NextTransfer = std::function<bool(std::vector<uint8_t>*, uint64_t*)>;
using TakeAnswers = std::function<void(const uint8_t*, uint32_t)>;

// Sends every transfer `next` gives and reads `expected` answer bytes.
BusResult pumpPipes(usb::PipeChannel& out, usb::PipeChannel& in, const PumpLimits& limits,
                    uint64_t expected, const NextTransfer& next, const TakeAnswers& take,
                    std::stop_token stop, const std::function<void(uint64_t)>& progress);

BusResult fromIo(usb::IoStatus status);

} // namespace bridge
