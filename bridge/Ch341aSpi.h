// SPI through a CH341A USB bridge (1a86:5512) over its two bulk pipes.
//
// A batch is sent as 32-byte packets: UIO stream packets (AB) set chip select (pin D0,
// active low) and wait on the bridge, SPI stream packets (A8) carry up to 31 bytes,
// bit-reversed because the bridge shifts LSB first. Packets are packed into OUT
// transfers of up to 4 KiB; a reader thread keeps an IN transfer pending at all times
// (the bridge answers every A8 packet with as many bytes) and up to kWindowBytes of
// answers are allowed in flight, so the SPI clock never waits for the host.
//
// Failure: no answer byte for kIdleLimitMs is a stall (Failed); a pipe reporting the
// device gone is Gone. Either way both pipes are cancelled, the threads joined, and the
// bus stays failed (SpiBus.h).
#pragma once

#include "bridge/PipePump.h"
#include "bridge/SpiBus.h"
#include "bridge/StreamPacket.h"

#include <memory>
#include <string>

namespace usb {
class DeviceBackend;
class InterfaceHandle;
class PipeChannel;
} // namespace usb

namespace bridge {

class Ch341aSpi : public SpiBus {
  public:
    static constexpr uint16_t kVendorId = 0x1A86;
    static constexpr uint16_t kProductId = 0x5512;
    static constexpr uint32_t kPacketSize = 32;
    static constexpr uint32_t kTransferBytes = 4096;
    static constexpr uint32_t kWindowBytes = 8 * kTransferBytes;
    static constexpr uint32_t kIdleLimitMs = 3000;
    // Opening drains what an abandoned bus left on the bridge: until the IN pipe has been
    // quiet this long, at most kDrainLimitMs.
    static constexpr uint32_t kDrainQuietMs = 30;
    static constexpr uint32_t kDrainLimitMs = 2000;

    // Opens the device at `path`, sets the SPI pins (chip select high) and drains stale
    // answers; null when it cannot be opened or does not take the pin setting.
    static std::unique_ptr<Ch341aSpi> open(usb::DeviceBackend& backend, const std::string& path);
    Ch341aSpi(std::shared_ptr<usb::InterfaceHandle> interface,
              std::shared_ptr<usb::PipeChannel> out, std::shared_ptr<usb::PipeChannel> in);
    ~Ch341aSpi() override;

    BusResult run(std::span<SpiTransaction> batch, std::stop_token stop = {},
                  const std::function<void(uint64_t)>& progress = {}) override;
    // A packet of the bridge's other streams (I2C AA, pins AB), at most 32 bytes, and how
    // many answer bytes it brings back on the IN pipe.
    using RawPacket = StreamPacket;
    // Sends the packets with the same window, stall and unplug handling as run(); the
    // answers of all of them in order in `*answers`.
    BusResult exchange(std::span<const RawPacket> packets, std::vector<uint8_t>* answers,
                       std::stop_token stop = {});
    // The bridge's version: the two bytes of vendor request 5F; empty when it refuses.
    std::vector<uint8_t> version();

  private:
    // pumpPipes on this bus's pipes; the bus stays failed after a failure.
    BusResult pump(uint64_t expected, const NextTransfer& next, const TakeAnswers& take,
                   std::stop_token stop, const std::function<void(uint64_t)>& progress);
    BusResult sendPins();
    void drainStale();

    std::shared_ptr<usb::InterfaceHandle> interface_;
    std::shared_ptr<usb::PipeChannel> out_;
    std::shared_ptr<usb::PipeChannel> in_;
    BusResult failure_ = BusResult::Ok;
};

// The bit order of a byte reversed: the CH341A shifts LSB first.
uint8_t reverseBits(uint8_t value);

} // namespace bridge
