// A CH347 high-speed USB bridge (CH347T 1a86:55db / CH347F 1a86:55de) with one chip on
// its SPI bus, as seen on its SPI interface's bulk pipes.
//
// The OUT byte stream is a series of frames [command][length LE16][payload], each at
// most 510 bytes (a frame split over transfers is put back together):
//   C0  configure, 26 bytes: payload byte 12 bits 5:3 = n sets the clock to 60 MHz / 2^n;
//       answered by C0 01 00 00
//   C1  chip select, 10 bytes: payload byte 0 = 0x80 asserts CS0, 0xC0 releases it
//   C4  write: the payload is clocked out (mode 0, MSB first), MISO dropped; answered by
//       C4 01 00 00
//   C3  read: payload u32 n; n bytes are clocked in (MOSI 0xFF) and sent back in C3
//       frames of up to 507 bytes
//   E2  function switch (the CH347F's shared pins), 8 bytes; answered by E2 01 00 00.
//       On a CH347F the pins carry I2C only once an E2 with payload bytes 2 and 3 = 81
//       came (any other E2 gives them back to the other functions); until then no chip
//       sees the I2C stream, so nothing acknowledges. The CH347T's I2C pins are its own.
//   anything else is ignored; a length above 507 drops what is pending (the bridge
//   resynchronises on the next transfer).
// A 512-byte packet that starts with AA where no frame is pending is a packet of the I2C
// stream (I2cStreamEngine.h), run on the attached I2C chip: every byte written is
// answered (01 acknowledged, 00 not), and the answers of one packet go up together as
// one IN transfer. The host keeps them below 512 bytes.
// Each IN transfer carries one answer frame (shorter than the 512-byte packet, so it ends
// the transfer).
//
// Timing, in virtual time (time(); no wall-clock time passes):
//   - USB 2.0 high speed, 480 Mbit/s: 17 ns per byte of a frame either way, plus
//     kFrameOverheadNs per frame (token, handshake and the bridge's handling). Frames
//     are modelled one after the other, never overlapping the SPI clock: a conservative
//     model.
//   - SPI at the configured clock (15 MHz until configured): 8 / clock per byte.
//   - I2C at the set speed (100 kHz until set): 9 clocks per byte, one per start or stop.
//     One round trip before an OUT transfer of I2C packets sent once the host has taken
//     every answer.
//   - One round trip (roundTripNs, two 125 us microframes) before a transaction that
//     starts once the host has taken every answer: the host was waiting for them.
//     Frames sent while answers are still queued go straight to the bus, as the frames
//     a host keeps in flight do.
// Faults, counted in SPI and I2C bytes since power-on, as for the CH341A: a stall, an
// unplug and a loose clip (a random MISO bit flipped with probability 1/64). A clip that
// touches no chip (misoHeldLow): the chip gets nothing and every byte reads 00.
#pragma once

#include "sim/I2cSlave.h"
#include "sim/SpiSlave.h"
#include "sim/UsbDeviceModel.h"

#include <memory>
#include <optional>

namespace sim {

// Which CH347 is modelled: its name, and the socket name that carries its USB ID and the
// interface its SPI and I2C are on, as the driver's device paths do (SimWire.h).
enum class Ch347Variant { T, F };
struct Ch347Identity {
    const char* name;
    const char* socketPrefix;
};
const Ch347Identity& ch347Identity(Ch347Variant variant);

struct Ch347Options {
    Ch347Variant variant = Ch347Variant::T;
    uint64_t usbByteNs = 17;
    uint64_t frameOverheadNs = 2'000;
    uint64_t roundTripNs = 250'000;
    std::optional<uint64_t> stallAfterSpiBytes = std::nullopt;
    std::optional<uint64_t> unplugAfterSpiBytes = std::nullopt;
    std::optional<uint64_t> noisyAfterSpiBytes = std::nullopt;
    bool misoHeldLow = false;
    uint64_t seed = 1;
};

class Ch347Device : public UsbDeviceModel {
  public:
    static constexpr uint32_t kMaxFrame = 510;
    static constexpr uint32_t kBaseClockHz = 60'000'000;

    explicit Ch347Device(Ch347Options options = {});
    ~Ch347Device() override;

    const VirtualClock& clock() const;
    void attachChip(SpiSlave* chip);
    // A 24-series chip on the I2C pins.
    void attachI2c(I2cSlave* chip);

    TransferResult hostOut(const uint8_t* data, uint32_t length, Clock::time_point waitUntil = {},
                           const StillWanted& stillWanted = {}) override;
    TransferResult hostIn(uint8_t* dest, uint32_t maxLength, Clock::time_point waitUntil = {},
                          const StillWanted& stillWanted = {}) override;
    void wakeWaiters() override;
    bool isGone() const override;
    void unplug();

    uint64_t time() const;
    uint64_t spiBytes() const;
    bool chipSelected() const;
    // The SPI clock last configured (15 MHz before any C0), and C0 frames taken.
    uint32_t clockHz() const;
    uint32_t configurations() const;
    // The I2C speed last set (100 kHz before any 60|s).
    uint32_t i2cSpeedKHz() const;
    // Round trips the host waited for (see the timing above).
    uint64_t roundTrips() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sim
