// The device commands (Read, Erase, Write, Verify, Auto, Blank Check, Chip Identify,
// Firmware Version) and the device steps of start-up, free of any toolkit. Each
// returns what happened as an OperationResult and reports along the way through its
// OperationHost: status line texts, message boxes, progress. The window shows them;
// a command-line front end prints them.
//
// Threads and ownership: one thread runs the commands of one DeviceOperations (the
// window's thread, or a CLI thread per programmer); every object it is given belongs
// to the caller and must outlive it. A command runs to its end on that thread. While
// it polls the programmer it lets the host handle pending messages, so another
// command may be chosen meanwhile: that one finds the programmer busy and says so.
// Cancelling is a request from any thread through the std::stop_token a command was
// given: the command abandons its transfer and ends as Cancelled, without a message.
#pragma once

#include "bridge/SpiNorFlash.h"
#include "buffer/ByteRanges.h"
#include "buffer/DataBuffer.h"
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipInfo.h"
#include "protocol/Programmer.h"
#include "res/Texts.h"
#include "usb/UsbLink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

class BridgeOperations;
namespace bridge {
class I2cSpeedSettings;
class SpiClockSettings;
} // namespace bridge

// The operation (or Auto's step) a progress report or a result belongs to.
enum class Stage { Read, Erase, Write, Verify, BlankCheck, Identify, FirmwareVersion };

enum class Outcome {
    Done,
    Busy,          // another operation runs on the programmer; nothing was sent
    TooLarge,      // the chip is larger than the 16 MiB buffer; nothing was sent
    NoDevice,      // no programmer could be opened, or it could not be brought in step
    NoMemory,      // Verify's or Blank Check's block could not be allocated
    StartFailed,   // the programmer refused or did not answer the command
    Failed,        // the data phase or the erase failed on the way
    Mismatch,      // Verify: the chip differs from the buffer (address and both bytes)
    NotBlank,      // Blank Check: a byte other than FF (address and the chip's byte)
    NotIdentified, // Identify: FF FF, or IDs that no chip of the database has
    NotApplicable, // Erase or Identify with a chip that is not 25 FLASH: nothing done
    Cancelled,     // stopped through the stop token, or a choice cancelled; nothing is shown
    WrongChip,     // the socket answered other IDs and the front end said not to go on
    // Over a bridge, where the host runs the chip's own commands:
    NoChip,           // the JEDEC ID reads FF FF FF: nothing answers
    NoContact,        // the JEDEC ID reads 00 00 00: MISO held low, a clip without contact
    Protected,        // Erase/Write: the status register protects the range in
                      // protectedBegin..protectedEnd and it was left so
    ProtectionLocked, // the protection cannot be cleared: the WP pin locks the status register
    LowVoltage,       // the chip's supply is below the bridge's 3.3 V and the front end said
                      // not to go on
};

struct OperationResult {
    Outcome outcome = Outcome::Done;
    Stage stage = Stage::Read;
    uint32_t address = 0;   // Mismatch, NotBlank
    uint8_t bufferByte = 0; // Mismatch
    uint8_t chipByte = 0;   // Mismatch, NotBlank
    uint8_t ids[2] = {};    // Identify: manufacturer and device ID as the chip answered
    std::string version;    // Firmware Version: the programmer's text
    // Identify over a bridge: the JEDEC ID, the 90 ID and what the chip's SFDP says.
    std::optional<bridge::NorIdentity> nor;
    uint64_t protectedBegin = 0; // Protected: the protected range, end exclusive
    uint64_t protectedEnd = 0;
    // Over a bridge: the failure in words (an unplugged bridge, reads that differ, the
    // supply), shown after the box text of the outcome.
    std::string detail;
    bool ok() const { return outcome == Outcome::Done; }
};

// The box text the window shows for `result` in this build; "" where it shows none.
std::string outcomeMessage(const Texts& texts, const OperationResult& result);

// What the device commands need of the front end that runs them.
class OperationHost {
  public:
    virtual void setStatusText(const char* text) = 0;
    // A message box with an OK button and no icon.
    virtual void showMessage(const std::string& text) = 0;
    // `done` of `total` (bytes; an erase counts 0 of 1 while it runs). done may pass
    // total by the few spare bytes a read brings; total 0 is a chip of no bytes.
    virtual void progress(Stage stage, uint64_t done, uint64_t total) = 0;
    // Handles pending window messages without waiting.
    virtual void pumpOneMessage() = 0;
    virtual void refreshHexView() = 0;
    // Identify has made another chip current: the buffer's length follows its capacity,
    // the view goes back to the top and the chip panel describes it.
    virtual void identifiedChipChanged() = 0;
    // The chip in the socket is not the selected one: `warning` says what answered.
    // True to go on all the same.
    virtual bool confirm(const std::string& warning) = 0;
    // Identify found several chips with the IDs, none of them the selected one: the index
    // of the one to select, or -1 to keep the selected chip. The first by default.
    virtual int chooseChip(const std::vector<ChipInfo>& chips) {
        (void)chips;
        return 0;
    }
    // Erase or Write over a bridge found the range protected: `text` names it. True to
    // clear the protection and go on (the CLI's --unprotect).
    virtual bool confirmClearProtection(const std::string& text) { return confirm(text); }
    // Over a bridge that drives its pins at 3.3 V, the chip's highest supply is lower:
    // `text` names the adapter it needs. True to go on all the same (the CLI's --force).
    virtual bool confirmSupplyVoltage(const std::string& text) { return confirm(text); }
    // Identify found IDs no chip of the database has: `prefilled` holds them (and, over
    // a bridge, what the chip's SFDP says) so the front end can offer to save the chip.
    virtual void offerNewChip(const ChipInfo& prefilled) { (void)prefilled; }

  protected:
    ~OperationHost() = default;
};

// Identify's last step on every kind of device. Chips that share IDs cannot be told apart
// by them: among `found` (the database chips with the answered IDs) the selected chip
// stays, else the only one, or the one the host chooses, becomes current. False when the
// host chose none.
bool settleIdentifiedChip(const Texts& texts, OperationHost& host, ChipInfo& currentChip,
                          const std::vector<ChipInfo>& found);

class DeviceOperations {
  public:
    // The longest the polling loops wait between polls; a finished transfer ends the
    // wait at once.
    static constexpr uint32_t kPollWaitMs = 5;
    static constexpr uint32_t kErasePollWaitMs = 100;
    // Verify and Blank Check read the chip in blocks of at most this many bytes.
    static constexpr uint32_t kVerifyBlockSize = 0x10000;

    // `currentChip` is the selected chip, which Identify replaces; `buffer` the data
    // Read fills and Write and Verify use.
    DeviceOperations(const Texts& texts, OperationHost& host, UsbLink& link, Programmer& programmer,
                     const ChipDatabase& database, ChipInfo& currentChip, DataBuffer& buffer);
    ~DeviceOperations();
    DeviceOperations(const DeviceOperations&) = delete;
    DeviceOperations& operator=(const DeviceOperations&) = delete;

    // Opens the programmer (status line and box when it is not there) and binds the
    // programmer object to the link whether or not it opened.
    void openAtStartUp();

    OperationResult read(std::stop_token stop = {});
    OperationResult erase(std::stop_token stop = {}); // 25 FLASH only
    OperationResult write(std::stop_token stop = {});
    OperationResult verify(std::stop_token stop = {});
    // Erase (25 FLASH only), Write and Verify, each reporting on its own; a step that
    // fails does not stop the next, a cancelled one does. The first step's result
    // that is not Done, else Done. The chip in the socket is checked once, before all.
    OperationResult autoProgram(std::stop_token stop = {});
    // Write, Verify and Auto over `ranges` of the chip only (sorted, as a data file's
    // ranges are), so that a file smaller than an EEPROM leaves the rest of it as it
    // was. Ranges are cut to the capacity and, on a 16-bit Microwire chip, widened to
    // whole words; a write never starts inside a page and runs past its end. Auto's
    // erase of a 25 FLASH chip stays whole-chip, so every byte outside the ranges is
    // then FF. With no range nothing is written or compared.
    OperationResult writeRanges(std::span<const AddressRange> ranges, std::stop_token stop = {});
    OperationResult verifyRanges(std::span<const AddressRange> ranges, std::stop_token stop = {});
    OperationResult autoProgramRanges(std::span<const AddressRange> ranges,
                                      std::stop_token stop = {});
    // Reads the chip in blocks as Verify does, without touching the buffer: Done when
    // it holds only FF, else NotBlank naming the first other byte.
    OperationResult blankCheck(std::stop_token stop = {});
    // 25 FLASH only. Asks the chip for its IDs; `matches` (when given) receives every
    // database chip with them, in database order. The selected chip stays when it is
    // among them; else the only one, or the one the host chooses, becomes current.
    OperationResult identify(std::vector<ChipInfo>* matches = nullptr, std::stop_token stop = {});
    OperationResult firmwareVersion(std::stop_token stop = {});
    // The I2C speed kept for each bridge by device path (100 kHz unless set): the
    // window's Programmer menu and --i2c-speed set it, 24 EEPROM commands use it.
    bridge::I2cSpeedSettings& i2cSpeeds();
    // The SPI clock kept for each bridge that has a settable one (the CH347), by device
    // path: the window's Programmer menu and --spi-clock set it, bridge commands use it.
    bridge::SpiClockSettings& spiClocks();

  private:
    OperationResult read(const ChipInfo& chip, std::stop_token stop);
    OperationResult erase(const ChipInfo& chip, std::stop_token stop);
    OperationResult write(const ChipInfo& chip, std::span<const AddressRange> ranges,
                          std::stop_token stop);
    // Verify, or with `blank` Blank Check: the chip's blocks of `ranges` against the
    // buffer or FF.
    OperationResult compare(const ChipInfo& chip, bool blank, std::span<const AddressRange> ranges,
                            std::stop_token stop);
    OperationResult autoProgram(const ChipInfo& chip, std::span<const AddressRange> ranges,
                                std::stop_token stop);
    // The opening every command shares, in order, each step with its message: the
    // busy check, the refusal of a chip larger than the buffer (when `chip` is given),
    // the opening of the device afresh and bringing the link back in step. Done when
    // the command may go on. Nothing is sent before them.
    OperationResult open(Stage stage, const ChipInfo* chip, std::stop_token stop);
    // Shows the message of `result` (if any) and returns it.
    OperationResult report(const OperationResult& result);
    // Before a command that reads or changes a 25 FLASH chip with IDs: asks the socket
    // for its IDs (one command) and, when they are not the chip's, lets the host decide.
    // Done to go on; WrongChip when the host said no. Family prepared for `chip`.
    OperationResult checkChipInSocket(Stage stage, const ChipInfo& chip, std::stop_token stop);
    // What the socket answering `ids` is, in words, for the warning.
    std::string answerText(const uint8_t ids[2]) const;
    // A step that ended on the way: Cancelled when `stop` was requested meanwhile (an
    // exchange cut short by it fails), else `outcome`.
    static Outcome unlessStopped(Outcome outcome, const std::stop_token& stop);
    // Polls until the operation no longer runs; while it does, `showRunning` updates
    // the display, one round of window messages is handled and the programmer gets up
    // to `waitMs` to move on. Done, Failed, or Cancelled when `stop` was requested.
    template <typename ShowRunning>
    Outcome pollUntilOver(OpStatus running, uint32_t waitMs, std::stop_token stop,
                          ShowRunning showRunning);
    void showProgress(Stage stage);
    // The bridge the next command runs on: the preferred device when it is a bridge, else
    // the first bridge when no programmer is present; "" for the closed programmer.
    std::string bridgePath();
    // For a command that reads or fills the store: grows it to `chip` first (a chip chosen
    // while another command held the store may still need that), then keeps it in place
    // until the command ends, as the programmer and the bridges write into it meanwhile.
    DataBuffer::Hold holdStore(const ChipInfo& chip);

    const Texts& texts_;
    OperationHost& host_;
    UsbLink& link_;
    Programmer& programmer_;
    const ChipDatabase& database_;
    ChipInfo& currentChip_;
    DataBuffer& buffer_;
    // Commands whose operation is under way on the programmer (nested ones included).
    int running_ = 0;
    // While Auto runs: once one step has checked the chip, the others do not.
    bool autoRunning_ = false;
    bool chipChecked_ = false;
    // While Auto runs over a bridge: its erase step succeeded, so Write only programs.
    bool autoErased_ = false;
    std::unique_ptr<BridgeOperations> bridge_;
};
