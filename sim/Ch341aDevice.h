// A CH341A USB-to-SPI bridge (1a86:5512) with one chip on its SPI bus.
//
// Every OUT transfer is cut into 32-byte packets, each handled on its own by its first
// byte:
//   A8  SPI stream: the bytes after it are clocked out full duplex (mode 0), LSB first on
//       the wire, so hosts reverse each byte's bits both ways; one IN packet carries as
//       many bytes back.
//   AB  UIO stream: 80|v sets outputs D0-D5 (D0 = chip select, active low), 40|d sets
//       directions, C0|n waits n microseconds, 00 reads the inputs (one IN byte: D7 =
//       MISO idle high), 20 ends the stream.
//   AA  I2C stream, to an attached I2C chip: 74 start, 75 stop, 80|n writes n bytes, 80
//       alone writes the next byte and answers its acknowledgement (bit 7 set: none),
//       C0|n reads n bytes acknowledged, C0 alone one byte not, 40|n waits n µs, 50|n
//       n ms, 60|s speed (20/100/400/750 kHz), 00 ends the packet. The answers of a
//       packet come back as one IN packet.
//   With a Microwire chip attached the UIO pins drive it instead: D0 = CS (active
//   high), D3 = SK, D5 = DI, D7 = DO; the reads of one UIO packet come back together.
//   anything else is ignored.
// The vendor control request 5F answers the version: kVersion, two bytes.
//
// Timing, in virtual time (time() below; no wall-clock time passes):
//   - SPI clock 1.5 MHz: 5333 ns per byte clocked; a UIO wait adds its microseconds.
//   - One USB round trip (kRoundTripNs, 1 ms: a frame to bring the answer up and one to
//     send the next command down) before an OUT transfer that arrives once the host has
//     taken every IN packet: the host was waiting for them. An OUT transfer sent while
//     answers are still queued for the host goes to the bus right after the work in hand,
//     as the transfers a host keeps in flight do.
//   - An IN packet is ready when its last byte has been clocked.
//   - I2C: 9 clocks per byte (8 and the acknowledgement), one per start or stop, at the
//     set speed (20 kHz until set).
//   - Microwire: each UIO packet costs kPinPacketNs, its share of a full-speed USB frame
//     (19 bulk packets of 64 bytes per 1 ms frame, so 38 of 32 bytes); pin changes cost
//     nothing more.
// Faults, counted in bytes on the bus since power-on (SPI and I2C bytes, eight SK edges): a stall
// (nothing taken or sent any more), an unplug (every transfer Gone), and a loose clip (past a mark,
// each MISO byte has one random bit flipped with probability 1/64, from a seeded generator).
// A clip that touches no chip (misoHeldLow): the chip gets nothing and MISO, D7 on the pins, reads
// low, so every SPI byte and every Microwire DO bit reads 0.
#pragma once

#include "sim/I2cSlave.h"
#include "sim/MicrowireChip.h"
#include "sim/SpiSlave.h"
#include "sim/UsbDeviceModel.h"

#include <memory>
#include <optional>

namespace sim {

struct Ch341aOptions {
    uint64_t spiByteNs = 5333;
    uint64_t roundTripNs = 1'000'000;
    std::optional<uint64_t> stallAfterSpiBytes;
    std::optional<uint64_t> unplugAfterSpiBytes;
    std::optional<uint64_t> noisyAfterSpiBytes;
    bool misoHeldLow = false;
    uint64_t seed = 1;
};

class Ch341aDevice : public UsbDeviceModel {
  public:
    static constexpr uint32_t kPacketSize = 32;
    static constexpr uint8_t kVersionRequest = 0x5F;
    static constexpr uint64_t kPinPacketNs = 26'316;
    // The model's own version bytes, not taken from a real chip.
    static constexpr uint8_t kVersion[2] = {0x30, 0x00};

    // `chip` (null: nothing on the bus, MISO floats) must run on clock().
    explicit Ch341aDevice(Ch341aOptions options = {});
    ~Ch341aDevice() override;

    // The clock the chip must be built on, and the chip.
    const VirtualClock& clock() const;
    void attachChip(SpiSlave* chip);
    void attachI2c(I2cSlave* chip);
    void attachMicrowire(MicrowireSlave* chip);

    TransferResult hostOut(const uint8_t* data, uint32_t length, Clock::time_point waitUntil = {},
                           const StillWanted& stillWanted = {}) override;
    TransferResult hostIn(uint8_t* dest, uint32_t maxLength, Clock::time_point waitUntil = {},
                          const StillWanted& stillWanted = {}) override;
    void wakeWaiters() override;
    bool isGone() const override;
    std::optional<std::vector<uint8_t>> vendorRead(uint8_t request, uint16_t length) override;
    void unplug();

    // Virtual nanoseconds since power-on, and SPI bytes clocked.
    uint64_t time() const;
    uint64_t spiBytes() const;
    // Chip select as the pins are set now (true = selected).
    bool chipSelected() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sim
