// A model of the programmer's firmware and of the chip in its socket, independent of
// how the host reaches it. The host side is two calls in USB terms:
//   hostOut  - the host wrote one bulk OUT transfer (a command packet, or chip data
//              during a write data phase);
//   hostIn   - the host asks for one bulk IN transfer of at most n bytes (an answer
//              packet, or chip data during a read data phase).
// The socket server (SimServer) and an emulated USB device both drive it this way.
//
// Thread safety: every public member may be called from any thread; hostOut and
// hostIn are normally called concurrently from two threads (one per pipe).
//
// Firmware behaviour:
//   - In command mode, each OUT transfer is one command packet. A packet with an
//     unknown opcode or shorter than its command is ignored (no answer); extra bytes
//     after a command are ignored; a zero-length OUT transfer is ignored.
//   - Every command is answered with one packet whose first byte repeats the opcode:
//       01 Read chip      -> 01 01 00, then the read data phase
//       02 Write chip     -> 02 01 01, then the write data phase
//       03 Erase status   -> 03 01 s    (s = 1 while an erase runs, else 0)
//       04 Erase chip     -> 04 01 01   (the erase starts)
//       05 Read chip ID   -> 05 02 m d  (FF FF when the chip has no ID)
//       07 Firmware ver.  -> 07 n text 00   (n = text length, text <= 99 characters)
//   - Read data phase: `length` chip bytes from the start address, delivered in IN
//     transfers of the size the host asks; the phase ends with the first transfer
//     shorter than asked (a zero-length one when the data ends on a boundary).
//     A new command aborts an unfinished read data phase.
//   - Write data phase: the next `length` bytes of OUT data are programmed from the
//     start address (bytes beyond `length` in the last transfer are dropped); no
//     answer follows. The chip image is written back when the phase completes or pauses
//     for 100 ms (saveSettledImage), so an abandoned write reaches it too. A write
//     data phase that gets no data for 2 s is given up, so a host that abandoned a
//     write can talk to the firmware again.
//   - Addresses wrap at the end of the chip, so nothing reaches past its memory.
//   - Chip families: the familyCode byte of a command must match the chip
//     (1 25 FLASH, 2 24 EEPROM, 3 25 EEPROM, 4 93 EEPROM). A mismatched family, or an
//     empty socket, reads as 0xFF, ignores writes and erases, and identifies as FF FF.
//     25 FLASH erases to 0xFF and programs by clearing bits only (new = old AND data);
//     EEPROMs store bytes as given and have no ID (FF FF).
//   - Faults (Faults below) are counted from power-on. A stalled device takes and sends
//     nothing more (NotYet with retryAt = kNever) until it is unplugged or power-cycled.
#pragma once

#include "chipdb/ChipInfo.h"
#include "sim/UsbDeviceModel.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Largest chip the model holds; larger capacities are clamped to it.
constexpr uint32_t kMaxChipBytes = 0x1000000;

constexpr const char* kDefaultVersionText = "Brimwick SIM V1.00";
constexpr uint32_t kMaxVersionText = 99;

struct Pacing {
    // Data-phase rate in bytes per second; 0 = as fast as possible. The default is
    // what USB full-speed bulk transfers achieve.
    uint32_t bytesPerSecond = 1'216'000;
    // How long an erase reports status 1.
    uint32_t eraseMs = 0;
    // Extra time per programmed page during a write data phase (page size from the
    // Write chip command; 0 or 1 there means byte programming, one "page" per byte).
    uint32_t pageProgramUs = 0;
};

// When a per-command fault fires: at command number `atCommand` (1-based, counted
// since power-on; 0 = never), and/or with `probability` per command drawn from the
// seeded generator.
struct FaultRule {
    uint32_t atCommand = 0;
    double probability = 0.0;
};

struct Faults {
    uint64_t seed = 1;
    // Counted in chip-data bytes of read and write data phases since power-on. A
    // transfer that would cross the mark is not delivered (stall) or fails (disconnect).
    std::optional<uint64_t> stallAfterDataBytes;      // then silence: nothing answered or taken
    std::optional<uint64_t> disconnectAfterDataBytes; // then the device is gone (unplug)
    uint32_t stallAtCommand = 0;      // this command is taken but never answered; then silence
    uint32_t disconnectAtCommand = 0; // the device is gone as this command arrives
    FaultRule dropAnswer;             // the answer is lost (the command still takes effect)
    FaultRule corruptAnswer;          // every answer byte after the opcode is inverted
    FaultRule strayPackets;           // 1..3 packets of another opcode come before the answer
    FaultRule overlongPackets;        // 1..2 packets with the right opcode, longer than the
                                      // answer may be (none for the version answer)
    FaultRule lateAnswer;             // the answer comes after `lateAnswerMs`
    uint32_t lateAnswerMs = 1500;
    uint32_t extraReadBytes = 0; // a read data phase sends this many bytes beyond `length`
    // A loose contact: every chip byte the host reads past this many data bytes arrives
    // with its lowest bit inverted (the chip itself is unchanged).
    std::optional<uint64_t> noisyReadAfterDataBytes;
    bool refuseOut = false; // every OUT transfer is refused (pipe error)
    bool refuseIn = false;  // every IN transfer is refused (pipe error)
};

struct FirmwareOptions {
    std::string versionText = kDefaultVersionText; // cut to kMaxVersionText characters
    Pacing pacing;
    Faults faults;
};

struct TransferRecord {
    bool in = false;
    uint32_t length = 0;
    bool operator==(const TransferRecord&) const = default;
};

struct FirmwareStats {
    uint32_t commands = 0;     // command packets taken since power-on (ignored ones included)
    uint64_t dataBytesIn = 0;  // chip data the host wrote
    uint64_t dataBytesOut = 0; // chip data the host read
    uint32_t answersSent = 0;  // answer packets delivered (strays and over-long ones excluded)
    bool erasing = false;
    bool stalled = false;
    bool gone = false;
};

class ProgrammerFirmware : public UsbDeviceModel {
  public:
    // `chip` null = empty socket. The chip starts erased (all 0xFF).
    explicit ProgrammerFirmware(const ChipInfo* chip, FirmwareOptions options = {});
    ~ProgrammerFirmware(); // writes the image back when it has unsaved changes
    ProgrammerFirmware(const ProgrammerFirmware&) = delete;
    ProgrammerFirmware& operator=(const ProgrammerFirmware&) = delete;

    // Whether the host still waits for a transfer. Asked under the firmware's lock right
    // before data moves (so it must be quick and must not call back into the firmware):
    // a transfer the host has cancelled takes nothing, as on a real bus.
    using UsbDeviceModel::StillWanted;

    // The host wrote one OUT transfer. Waits at most until `waitUntil` for the device
    // to take it (pacing, stall); the default never waits. Done: `length` = bytes taken:
    // the whole transfer, or in a paced write data phase the part that was due by
    // `waitUntil` (the caller offers the rest again). NotYet: nothing taken; also at
    // once when `stillWanted` (empty = always) says the host no longer waits.
    TransferResult hostOut(const uint8_t* data, uint32_t length, Clock::time_point waitUntil = {},
                           const StillWanted& stillWanted = {}) override;
    // The host asks for one IN transfer of at most `maxLength` bytes into `dest`. Waits at
    // most until `waitUntil` for something to send. Done: `length` bytes written to
    // `dest` (0 = a zero-length transfer). NotYet: nothing consumed; also at once when
    // `stillWanted` (empty = always) says the host no longer waits.
    TransferResult hostIn(uint8_t* dest, uint32_t maxLength, Clock::time_point waitUntil = {},
                          const StillWanted& stillWanted = {}) override;

    // Wakes every waiting hostOut/hostIn so it re-checks at once (e.g. its caller stops).
    void wakeWaiters() override;

    // Unplugs the device: every waiting and later transfer returns Gone.
    void unplug();
    bool isGone() const override;
    // Plugs it in again with fresh firmware state (queues, phases, counters, fault
    // generator); the chip keeps its contents.
    void powerCycle();

    // Persistent chip image. Loads `path` into the chip (missing file = erased chip,
    // shorter file = rest 0xFF; a file larger than the chip is refused so that writing
    // it back cannot lose data) and writes the chip back there, atomically, after every
    // change. false with `error` set when the file cannot be read.
    bool attachImage(const std::string& path, std::string* error = nullptr);
    // Writes the image now if it has unsaved changes. false with `error` on failure.
    bool saveImage(std::string* error = nullptr);
    // As saveImage, unless a write data phase is taking data right now: called often, it
    // writes back a write the host abandoned without writing the image for every packet.
    bool saveSettledImage(std::string* error = nullptr);
    // The last write-back failure ("" when none).
    std::string imageError() const;

    void setFaults(const Faults& faults);
    void setPacing(const Pacing& pacing);

    // Test and tool access to the chip.
    uint32_t chipCapacity() const; // 0 for an empty socket
    std::vector<uint8_t> chipContents() const;
    void setChipContents(uint32_t address, const std::vector<uint8_t>& bytes); // wraps

    // Queues one IN packet as if the firmware had sent it, behind what is already
    // queued (tests and tools: odd answers, empty packets, floods).
    void injectPacket(const std::vector<uint8_t>& bytes);

    FirmwareStats stats() const;
    // The command packets taken in command mode, oldest first (the latest 1000).
    std::vector<std::vector<uint8_t>> commandLog() const;
    // The transfers that moved data (or were taken in part), oldest first (the latest
    // 1000): IN with the length the host asked, OUT with the length taken.
    std::vector<TransferRecord> transferLog() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sim
