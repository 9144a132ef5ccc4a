// The device commands over a bridge (CH341A, CH347), where the host runs the chip's own
// commands: the bridge is opened afresh for every command, the chip in the clip is
// identified by its JEDEC ID and SFDP, and the chip algorithms of bridge/ do the work.
// Results, status texts, boxes and progress are those of the closed programmer's
// commands, plus the outcomes only a bridge has (no chip, no contact, protection,
// supply voltage).
//
// Threads: as DeviceOperations, whose commands call these on the same thread.
#pragma once

#include "bridge/Ch341aI2c.h"
#include "bridge/Ch341aMicrowire.h"
#include "bridge/Ch341aSpi.h"
#include "bridge/Ch347Spi.h"
#include "bridge/I2cEeprom.h"
#include "bridge/I2cSpeedSettings.h"
#include "bridge/MicrowireEeprom.h"
#include "bridge/SpiClockSettings.h"
#include "bridge/SpiEeprom.h"
#include "bridge/SpiNorFlash.h"
#include "chipdb/ChipTable.h"
#include "protocol/DeviceOperations.h"

#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

class BridgeOperations {
  public:
    // `running` counts the commands under way, shared with the closed programmer's.
    BridgeOperations(const Texts& texts, OperationHost& host, UsbLink& link,
                     const ChipDatabase& database, ChipInfo& currentChip, DataBuffer& buffer,
                     int& running);

    OperationResult read(const std::string& path, const ChipInfo& chip, std::stop_token stop);
    OperationResult erase(const std::string& path, const ChipInfo& chip, std::stop_token stop);
    // `afterErase`: Auto has just erased the chip, so the pages are programmed only.
    OperationResult write(const std::string& path, const ChipInfo& chip,
                          std::span<const AddressRange> ranges, bool afterErase,
                          std::stop_token stop);
    OperationResult compare(const std::string& path, const ChipInfo& chip, bool blank,
                            std::span<const AddressRange> ranges, std::stop_token stop);
    OperationResult identify(const std::string& path, std::vector<ChipInfo>* matches,
                             std::stop_token stop);
    OperationResult firmwareVersion(const std::string& path, std::stop_token stop);
    // The SPI clock of each bridge that has a settable one, used when it is opened.
    bridge::SpiClockSettings& spiClocks() { return spiClocks_; }
    // The I2C speed of each bridge, used when it is opened for a 24 EEPROM.
    bridge::I2cSpeedSettings& i2cSpeeds() { return i2cSpeeds_; }

  private:
    // The bridge opened for one command and the chip algorithm built for its chip.
    struct Session {
        std::unique_ptr<bridge::SpiBus> bus;
        bridge::Ch341aSpi* ch341a = nullptr; // the bus when it is a CH341A (its version)
        bridge::Ch347Spi* ch347 = nullptr;   // the bus when it is a CH347 (its I2C stream)
        uint32_t spiClockHz = 0;             // the bus's clock when it can be set
        bridge::NorIdentity identity;
        std::optional<bridge::SpiNorFlash> nor;
        std::optional<bridge::SpiEeprom> eeprom;
        // 24 EEPROM over the bridge's I2C stream, 93 EEPROM over its pins.
        std::unique_ptr<bridge::I2cBus> i2c;
        std::unique_ptr<bridge::Ch341aMicrowire> microwire;
        std::optional<bridge::I2cEeprom> i2cEeprom;
        std::optional<bridge::MicrowireEeprom> microwireEeprom;
    };
    // The I2C or Microwire algorithm of a 24 or 93 EEPROM; Done when set up.
    OperationResult openSerialEeprom(Stage stage, const std::string& path, const ChipInfo& chip,
                                     Session* session, std::stop_token stop);
    // The chip algorithm of the session, whichever it is.
    bridge::ChipResult readChip(Session& session, uint32_t address, std::span<uint8_t> dest,
                                std::stop_token stop, const bridge::Progress& progress);
    // 24 and 93 EEPROM only. x16 cells are written whole, the other byte from the buffer.
    bridge::ChipResult writeSerialEeprom(Session& session, uint32_t address,
                                         std::span<const uint8_t> data, std::stop_token stop,
                                         const bridge::Progress& progress);
    // What every command does first, each step with its message: the busy check, the
    // supply voltage question, the family and size checks (when `chip` is given), the
    // opening of the bridge and, for a 25 FLASH chip, its identification and the
    // wrong-chip question. Done when the command may go on.
    OperationResult open(Stage stage, const std::string& path, const ChipInfo* chip,
                         Session* session, std::stop_token stop);
    OperationResult checkNorChip(Stage stage, const ChipInfo& chip, Session* session,
                                 std::stop_token stop);
    // Erase and Write: asks to clear a protection over [begin, end); Done to go on.
    OperationResult handleProtection(Stage stage, Session* session, uint64_t begin, uint64_t end,
                                     std::stop_token stop);
    OperationResult clearProtection(Stage stage, Session* session, std::stop_token stop);
    // A chip algorithm's failure as the result the front ends know, status text shown.
    OperationResult failure(Stage stage, const bridge::ChipResult& chipResult,
                            std::stop_token stop);
    OperationResult report(const OperationResult& result);
    // A write whose read-back differed at `address`: Mismatch with both bytes.
    OperationResult mismatchAt(Stage stage, Session* session, uint64_t address,
                               std::stop_token stop);
    bridge::Progress progressFor(Stage stage, uint64_t before = 0, uint64_t total = 0);
    // The database chips whose JEDEC ID (from the chip facts beside the database) is `id`.
    std::vector<ChipInfo> chipsWithJedecId(const std::array<uint8_t, 3>& id);
    const ChipFacts* factsOf(const ChipInfo& chip);
    // The chip built from its sound SFDP, for a JEDEC ID the database lacks.
    ChipInfo unnamedChip(const bridge::NorIdentity& identity) const;

    const Texts& texts_;
    OperationHost& host_;
    UsbLink& link_;
    const ChipDatabase& database_;
    ChipInfo& currentChip_;
    DataBuffer& buffer_;
    int& running_;
    ChipFactsTable facts_;
    std::string factsPath_; // the file facts_ was loaded from
    bool factsLoaded_ = false;
    bool serialEeprom_ = false; // the command's chip is an EEPROM: it has no JEDEC ID
    bridge::SpiClockSettings spiClocks_;
    bridge::I2cSpeedSettings i2cSpeeds_;
};

// "EF 40 18": ID bytes as texts show them.
std::string jedecIdText(const std::array<uint8_t, 3>& id);
// What the chip's SFDP says, in one line of this build's words.
std::string sfdpText(const Texts& texts, const bridge::SfdpInfo& sfdp);
