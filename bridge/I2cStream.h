// The I2C stream (AA packets) both WCH bridges run, the CH341A in 32-byte packets and the
// CH347 in 512-byte ones:
//   74 start, 75 stop, 80|n and n bytes written, C0|n reads n bytes acknowledging each,
//   C0 alone reads one byte without, 40|n waits n µs, 60|s sets the speed, 00 ends the
//   packet. A packet's answers come back together on the IN pipe, in stream order.
// The bridges differ in what a written byte answers. The CH341A answers only a byte sent
// as 80 alone and the byte (bit 7 set: not acknowledged). The CH347 answers every byte
// written (01: acknowledged, 00: not); there 80 alone writes nothing.
// A script (I2cBus.h) is cut into packets of whole steps; answers are taken back into the
// script's form (0 acknowledged, 0x80 not; bytes read as they are).
#pragma once

#include "bridge/I2cBus.h"
#include "bridge/StreamPacket.h"

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace bridge {

struct I2cStreamFormat {
    uint32_t packetSize = 32;
    uint32_t answerRoom = 32;       // answer bytes one packet may bring back
    bool everyByteAnswered = false; // the CH347's acknowledgement of every byte written
};

// The CH341A: 32-byte packets, each answered by one IN packet of at most 32 bytes.
inline constexpr I2cStreamFormat kCh341aI2cStream{32, 32, false};
// The CH347: 512-byte high-speed packets; a packet's answers stay below 512 bytes so they
// end their IN transfer with a short packet.
inline constexpr I2cStreamFormat kCh347I2cStream{512, 511, true};

// The speeds of the 60|s command, code s = index: the four both bridges have.
inline constexpr std::array<uint32_t, 4> kI2cSpeedsKHz{20, 100, 400, 750};

struct I2cStreamPlan {
    enum Role : uint8_t { Acknowledgement, Data, Ignored };
    std::vector<StreamPacket> packets;
    std::vector<Role> roles; // one per answer byte of the bridge, in order
};

I2cStreamPlan encodeI2cStream(const I2cScript& script, const I2cStreamFormat& format);
// The script's answers from the bridge's; nullopt when their number is not the plan's.
std::optional<std::vector<uint8_t>> decodeI2cAnswers(const I2cStreamPlan& plan,
                                                     const I2cStreamFormat& format,
                                                     std::span<const uint8_t> answers);
// The speed code for a wish of `kHz`: the fastest not above it, 20 kHz below that.
uint8_t i2cSpeedCode(uint32_t kHz);
// The packet that sets speed `code` (AA 60|code 00); it has no answer.
StreamPacket i2cSpeedPacket(uint8_t code);

// An I2cBus over a bridge that runs this stream; the bridge supplies the exchange of packets.
class I2cStreamBus : public I2cBus {
  public:
    I2cStreamBus(const I2cStreamFormat& format, uint32_t defaultKHz)
        : format_(format), kHz_(defaultKHz) {}

    uint32_t clockKHz() const override { return kHz_; }
    // 20, 100, 400 or 750 kHz: the fastest not above `kHz` (20 below that).
    BusResult setClockKHz(uint32_t kHz) override;
    BusResult run(const I2cScript& script, std::vector<uint8_t>* answers,
                  std::stop_token stop = {}) override;

  protected:
    // Sends the packets; the answers of all of them in order.
    virtual BusResult exchange(std::span<const StreamPacket> packets, std::vector<uint8_t>* answers,
                               std::stop_token stop) = 0;

  private:
    const I2cStreamFormat& format_;
    uint32_t kHz_;
};

} // namespace bridge
