// SPI through a CH347 high-speed USB bridge: CH347T (1a86:55db, SPI on interface 2) and
// CH347F (1a86:55de, interface 4), over the bulk pipes of that interface.
//
// Every command is a frame [command][length, 2 bytes little-endian][payload] of at most
// kFrameSize bytes, so one frame fits in one 512-byte packet and each OUT transfer is
// one frame:
//   C0  configure (26 bytes: mode 0, MSB first, clock 60 MHz / 2^n); answered by a C0 frame
//   C1  chip select (10 bytes: byte 0 for CS0, 0x80 asserts, 0xC0 releases); no answer
//   C4  write up to kFrameData bytes (what MISO carries meanwhile is dropped); answered
//       by a C4 frame
//   C3  read: payload u32 length; the bytes come back in C3 frames of up to kFrameData
//   E2  CH347F function switch (8 bytes), answered by an E2 frame
// The same pipes carry the I2C stream: a 512-byte packet that starts with AA is one
// packet of that stream (I2cStream.h), outside the frames.
// A transaction is C1 assert, C4 frames for its `out`, C3 for its `in`, C1 release. The
// bridge has no wait command: a wait before a transaction is clocked on the bridge as
// reads with chip select released, which every chip ignores, so a busy chip is polled
// without a round trip per poll.
//
// Threads: a writer sends frames while a reader takes answers; up to kWindowBytes of
// clocked bytes may be unanswered at a time. No answer for kIdleLimitMs is a stall
// (Failed); a pipe reporting the device gone is Gone; an answer that is not the frame
// expected is Failed. After any failure the bus stays failed (SpiBus.h).
#pragma once

#include "bridge/SpiBus.h"
#include "bridge/StreamPacket.h"

#include <memory>
#include <optional>
#include <string>

namespace usb {
class DeviceBackend;
class InterfaceHandle;
class PipeChannel;
} // namespace usb

namespace bridge {

class Ch347Spi : public SpiBus {
  public:
    static constexpr uint16_t kVendorId = 0x1A86;
    static constexpr uint16_t kProductIdT = 0x55DB;
    static constexpr uint16_t kProductIdF = 0x55DE;
    static constexpr uint8_t kConfigure = 0xC0;
    static constexpr uint8_t kChipSelect = 0xC1;
    static constexpr uint8_t kRead = 0xC3;
    static constexpr uint8_t kWrite = 0xC4;
    static constexpr uint8_t kFunctionSwitch = 0xE2; // CH347F: which function its pins carry
    static constexpr uint32_t kPacketSize = 512;     // a high-speed bulk packet
    static constexpr uint32_t kStreamTransferBytes = 4096;
    static constexpr uint32_t kConfigureLength = 26;
    static constexpr uint32_t kChipSelectLength = 10;
    static constexpr uint32_t kFrameSize = 510;
    static constexpr uint32_t kFrameData = kFrameSize - 3;
    // A read asked for in one C3 frame: small enough that many stay in the window.
    static constexpr uint32_t kReadChunk = 16 * 1024;
    static constexpr uint32_t kWindowBytes = 64 * 1024;
    static constexpr uint32_t kIdleLimitMs = 3000;
    static constexpr uint32_t kDrainQuietMs = 30;
    static constexpr uint32_t kDrainLimitMs = 2000;

    static constexpr uint32_t kBaseClockHz = 60'000'000;
    static constexpr uint32_t kDefaultClockHz = 15'000'000;
    static constexpr int kSlowestShift = 7; // 60 MHz / 128 = 468.75 kHz

    // Opens the device at `path`, drains stale answers, configures SPI mode 0 at
    // `clockHz` (a clock ch347Clock accepts) and releases chip select. Null when it cannot be
    // opened or refuses the configuration.
    static std::unique_ptr<Ch347Spi> open(usb::DeviceBackend& backend, const std::string& path,
                                          uint32_t clockHz = kDefaultClockHz);
    Ch347Spi(std::shared_ptr<usb::InterfaceHandle> interface, std::shared_ptr<usb::PipeChannel> out,
             std::shared_ptr<usb::PipeChannel> in);
    ~Ch347Spi() override;

    BusResult run(std::span<SpiTransaction> batch, std::stop_token stop = {},
                  const std::function<void(uint64_t)>& progress = {}) override;
    uint32_t clockHz() const { return clockHz_; }

    // Packets of the bridge's I2C stream (AA, I2cStream.h), each at most 512 bytes with
    // fewer than 512 answer bytes, sent with the same window, stall and unplug handling
    // as run(); the answers of all of them in order in `*answers`.
    BusResult exchangeStream(std::span<const StreamPacket> packets, std::vector<uint8_t>* answers,
                             std::stop_token stop = {});
    // A CH347F switches its shared pins to I2C (E2 frame, answered); a CH347T has them
    // as they are.
    BusResult enableI2c();

  private:
    BusResult configure(uint32_t clockHz);
    // Sends one frame and waits, at most kIdleLimitMs, for the frame of the same command
    // that answers it; its payload in `*answer`.
    BusResult request(const std::vector<uint8_t>& command, std::vector<uint8_t>* answer);
    void drainStale();

    std::shared_ptr<usb::InterfaceHandle> interface_;
    std::shared_ptr<usb::PipeChannel> out_;
    std::shared_ptr<usb::PipeChannel> in_;
    uint32_t clockHz_ = kDefaultClockHz;
    BusResult failure_ = BusResult::Ok;
    bool variantF_ = false;
};

// The clock a CH347 runs for a wish of `requestedHz`: 60 MHz / 2^n rounded down; nullopt
// below 60 MHz / 128.
std::optional<uint32_t> ch347Clock(uint64_t requestedHz);
// The shift n of a clock 60 MHz / 2^n (one ch347Clock gives).
int ch347ClockShift(uint32_t clockHz);
// The whole C0 frame that sets mode 0, MSB first, chip selects active low and the clock.
std::vector<uint8_t> ch347ConfigureFrame(uint32_t clockHz);

} // namespace bridge
