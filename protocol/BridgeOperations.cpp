#include "protocol/BridgeOperations.h"

#include "bridge/Ch347I2c.h"
#include "chipdb/UnknownChip.h"
#include "res/MessageBox.h"
#include "usb/DeviceKinds.h"

#include <algorithm>
#include <cstring>

namespace {

// A CH341A drives its pins at 3.3 V; a chip rated below that needs an adapter.
constexpr uint8_t kBridgeSupplyTenths = 33;

class RunningScope {
  public:
    explicit RunningScope(int& running) : running_(running) { ++running_; }
    ~RunningScope() { --running_; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

  private:
    int& running_;
};

OperationResult resultOf(Stage stage, Outcome outcome) {
    OperationResult result;
    result.stage = stage;
    result.outcome = outcome;
    return result;
}

unsigned long asUlong(uint64_t value) {
    return static_cast<unsigned long>(value);
}

const char* failureStatus(const Texts& texts, Stage stage) {
    switch (stage) {
    case Stage::Read:
        return texts.readFailureStatus;
    case Stage::Erase:
        return texts.eraseFailureStatus;
    case Stage::Write:
        return texts.writeFailureStatus;
    case Stage::Verify:
        return texts.verifyReadFailureStatus;
    case Stage::BlankCheck:
        return texts.blankFailureStatus;
    case Stage::Identify:
        return texts.identifyFailureStatus;
    case Stage::FirmwareVersion:
        return texts.firmwareFailure;
    }
    return texts.readFailureStatus;
}

::Stage stageOf(bridge::Stage stage) {
    switch (stage) {
    case bridge::Stage::Read:
        return ::Stage::Read;
    case bridge::Stage::Erase:
        return ::Stage::Erase;
    case bridge::Stage::Write:
        return ::Stage::Write;
    case bridge::Stage::Verify:
        return ::Stage::Verify;
    }
    return ::Stage::Read;
}

// "EF4018" as the chip facts write a JEDEC ID; nullopt for anything else.
std::optional<std::array<uint8_t, 3>> parseJedecId(std::string_view text) {
    if (text.size() != 6)
        return std::nullopt;
    std::array<uint8_t, 3> id{};
    for (size_t i = 0; i < 6; ++i) {
        const char c = text[i];
        int nibble = -1;
        if (c >= '0' && c <= '9')
            nibble = c - '0';
        else if (c >= 'A' && c <= 'F')
            nibble = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            nibble = c - 'a' + 10;
        if (nibble < 0)
            return std::nullopt;
        id[i / 2] = static_cast<uint8_t>(id[i / 2] << 4 | nibble);
    }
    return id;
}

// The erase sizes and opcodes of the chip facts ("4K=20 64K=D8 chip=C7"), keeping the
// 4-byte opcode the usual geometry has for the same size; empty when none can be read.
std::vector<bridge::EraseType> factsEraseTypes(std::string_view text,
                                               const std::vector<bridge::EraseType>& usual) {
    std::vector<bridge::EraseType> types;
    while (!text.empty()) {
        const size_t space = text.find(' ');
        const std::string_view item = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos || item.size() != equals + 3 || equals < 2 ||
            item[equals - 1] != 'K')
            continue;
        uint32_t kib = 0;
        for (size_t i = 0; i + 1 < equals; ++i) {
            if (item[i] < '0' || item[i] > '9' || kib > 1024)
                return {};
            kib = kib * 10 + static_cast<uint32_t>(item[i] - '0');
        }
        const auto opcode = parseJedecId(std::string(item.substr(equals + 1)) + "0000");
        if (!opcode || kib == 0)
            return {};
        bridge::EraseType type{kib * 1024, (*opcode)[0], 0};
        for (const bridge::EraseType& known : usual)
            if (known.size == type.size)
                type.opcode4 = known.opcode4;
        types.push_back(type);
    }
    std::sort(types.begin(), types.end(),
              [](const auto& a, const auto& b) { return a.size < b.size; });
    return types;
}

std::string sizeText(uint64_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " B";
}

} // namespace

std::string jedecIdText(const std::array<uint8_t, 3>& id) {
    return formatText("%02X %02X %02X", unsigned{id[0]}, unsigned{id[1]}, unsigned{id[2]});
}

std::string sfdpText(const Texts& texts, const bridge::SfdpInfo& sfdp) {
    switch (sfdp.state) {
    case bridge::SfdpState::Absent:
        return texts.bridgeSfdpAbsent;
    case bridge::SfdpState::Damaged:
        return formatText(texts.bridgeSfdpDamaged, sfdp.problem.c_str());
    case bridge::SfdpState::Sound:
        break;
    }
    std::string erases;
    for (const bridge::EraseType& type : sfdp.eraseTypes)
        erases += (erases.empty() ? "" : ", ") + sizeText(type.size) +
                  formatText(" (%02X)", unsigned{type.opcode});
    return formatText(texts.bridgeSfdpSound, unsigned{sfdp.majorRevision},
                      unsigned{sfdp.minorRevision}, sizeText(sfdp.capacity).c_str(),
                      unsigned{sfdp.pageSize}, erases.c_str());
}

BridgeOperations::BridgeOperations(const Texts& texts, OperationHost& host, UsbLink& link,
                                   const ChipDatabase& database, ChipInfo& currentChip,
                                   DataBuffer& buffer, int& running)
    : texts_(texts), host_(host), link_(link), database_(database), currentChip_(currentChip),
      buffer_(buffer), running_(running) {}

OperationResult BridgeOperations::report(const OperationResult& result) {
    const std::string message = outcomeMessage(texts_, result);
    if (!message.empty())
        host_.showMessage(message);
    return result;
}

bridge::Progress BridgeOperations::progressFor(Stage stage, uint64_t before, uint64_t total) {
    return [this, stage, before, total](bridge::Stage step, uint64_t done, uint64_t all) {
        // Write reports its own erase, program and read-back steps.
        const Stage shown = stage == Stage::Write ? stageOf(step) : stage;
        if (total != 0 && shown == stage)
            host_.progress(shown, before + done, total);
        else
            host_.progress(shown, done, all);
        host_.pumpOneMessage();
    };
}

const ChipFacts* BridgeOperations::factsOf(const ChipInfo& chip) {
    const std::string path = chipFactsPathBeside(database_.filePath());
    if (!factsLoaded_ || path != factsPath_) {
        facts_ = ChipFactsTable();
        if (!path.empty())
            facts_.load(path);
        factsPath_ = path;
        factsLoaded_ = true;
    }
    return facts_.find(chip.type, chip.name);
}

std::vector<ChipInfo> BridgeOperations::chipsWithJedecId(const std::array<uint8_t, 3>& id) {
    std::vector<ChipInfo> found;
    ChipInfo chip{};
    for (uint16_t i = 0; database_.chipAt(i, &chip) == 1; ++i) {
        if (chip.type != ChipType::Flash25)
            continue;
        const ChipFacts* facts = factsOf(chip);
        const auto known = facts ? parseJedecId(facts->jedecId) : std::nullopt;
        if (known && *known == id)
            found.push_back(chip);
    }
    return found;
}

ChipInfo BridgeOperations::unnamedChip(const bridge::NorIdentity& identity) const {
    const uint8_t* ids = identity.manufacturerDeviceId.data();
    ChipInfo chip = unknownChipRow(database_, identity.jedecId[0], ids[1]).chip;
    chip.type = ChipType::Flash25;
    const std::string id = formatText("%02X%02X%02X", unsigned{identity.jedecId[0]},
                                      unsigned{identity.jedecId[1]}, unsigned{identity.jedecId[2]});
    std::snprintf(chip.name, sizeof chip.name, texts_.bridgeSfdpChipName, id.c_str());
    chip.capacity = static_cast<uint32_t>(std::min<uint64_t>(identity.sfdp.capacity, UINT32_MAX));
    chip.pageSize = static_cast<uint16_t>(std::min<uint32_t>(identity.sfdp.pageSize, 0x8000));
    chip.programMode = 1;
    chip.manufacturerId = ids[0];
    chip.deviceId = ids[1];
    if (chip.minVoltage == 0 || chip.maxVoltage == 0) {
        chip.minVoltage = 27;
        chip.maxVoltage = 36;
    }
    return chip;
}

OperationResult BridgeOperations::open(Stage stage, const std::string& path, const ChipInfo* chip,
                                       Session* session, std::stop_token stop) {
    if (stop.stop_requested())
        return resultOf(stage, Outcome::Cancelled);
    serialEeprom_ = false;
    if (running_ > 0)
        return report(resultOf(stage, Outcome::Busy));
    if (chip != nullptr) {
        if (chip->maxVoltage != 0 && chip->maxVoltage < kBridgeSupplyTenths) {
            const std::string question =
                formatText(texts_.bridgeLowVoltageQuestion, chip->name,
                           unsigned{chip->maxVoltage} / 10, unsigned{chip->maxVoltage} % 10);
            if (!host_.confirmSupplyVoltage(question)) {
                OperationResult result = resultOf(stage, Outcome::LowVoltage);
                result.detail = formatText(texts_.bridgeLowVoltageBox, chip->name);
                host_.setStatusText(result.detail.c_str());
                return result;
            }
        }
        if (chip->type != ChipType::Flash25 && chip->type != ChipType::Eeprom25 &&
            chip->type != ChipType::Eeprom24 && chip->type != ChipType::Eeprom93) {
            host_.setStatusText(texts_.bridgeFamilyUnsupported);
            OperationResult result = resultOf(stage, Outcome::NotApplicable);
            result.detail = texts_.bridgeFamilyUnsupported;
            return report(result);
        }
        if (stage != Stage::Identify && chip->capacity > kMaxStoreSize) {
            OperationResult result = resultOf(stage, Outcome::TooLarge);
            result.detail = texts_.bridgeChipTooLarge;
            return report(result);
        }
    }
    usb::DeviceBackend* backend = link_.bridgeBackend(path);
    if (backend != nullptr && usb::deviceKindOf(path) == usb::DeviceKind::Ch347) {
        session->spiClockHz = spiClocks_.clockFor(path);
        auto ch347 = bridge::Ch347Spi::open(*backend, path, session->spiClockHz);
        session->ch347 = ch347.get();
        session->bus = std::move(ch347);
    } else if (backend != nullptr) {
        auto ch341a = bridge::Ch341aSpi::open(*backend, path);
        session->ch341a = ch341a.get();
        session->bus = std::move(ch341a);
    }
    if (!session->bus) {
        host_.setStatusText(texts_.deviceOpenFailed);
        return report(resultOf(stage, Outcome::NoDevice));
    }
    if (chip == nullptr || stage == Stage::Identify)
        return resultOf(stage, Outcome::Done);
    if (chip->type == ChipType::Eeprom25) {
        session->eeprom.emplace(
            *session->bus, bridge::EepromGeometry{
                               chip->capacity, chip->pageSize != 0 ? chip->pageSize : uint32_t{1}});
        // Without an ID to read, a read through a clip touching nothing would pass for the chip.
        serialEeprom_ = true;
        if (const bridge::ChipResult present = session->eeprom->checkPresence(stop); !present.ok())
            return failure(stage, present, stop);
        return resultOf(stage, Outcome::Done);
    }
    if (chip->type == ChipType::Eeprom24 || chip->type == ChipType::Eeprom93)
        return openSerialEeprom(stage, path, *chip, session, stop);
    return checkNorChip(stage, *chip, session, stop);
}

OperationResult BridgeOperations::openSerialEeprom(Stage stage, const std::string& path,
                                                   const ChipInfo& chip, Session* session,
                                                   std::stop_token stop) {
    serialEeprom_ = true;
    // The CH347 has an I2C stream but no pin stream to drive Microwire with.
    if (session->ch341a == nullptr && (chip.type == ChipType::Eeprom93 || !session->ch347)) {
        host_.setStatusText(texts_.bridgeFamilyUnsupported);
        OperationResult result = resultOf(stage, Outcome::NotApplicable);
        result.detail = texts_.bridgeFamilyUnsupported;
        return report(result);
    }
    if (chip.type == ChipType::Eeprom93) {
        session->microwire = std::make_unique<bridge::Ch341aMicrowire>(*session->ch341a);
        // A memoryWidth of 0 counts as 16-bit, as the chip's size texts do.
        const uint32_t width = chip.memoryWidth == 8 ? 8 : 16;
        session->microwireEeprom.emplace(*session->microwire,
                                         bridge::MicrowireGeometry{chip.capacity, width});
        return resultOf(stage, Outcome::Done);
    }
    if (session->ch341a) {
        session->i2c = std::make_unique<bridge::Ch341aI2c>(*session->ch341a);
    } else {
        if (const bridge::BusResult r = session->ch347->enableI2c(); r != bridge::BusResult::Ok)
            return failure(stage, bridge::fromBus(r), stop);
        session->i2c = std::make_unique<bridge::Ch347I2c>(*session->ch347);
    }
    // The speed command goes out before any transfer, whatever the bridge was left at.
    const uint32_t kHz = i2cSpeeds_.speedFor(path);
    if (const bridge::BusResult r = session->i2c->setClockKHz(kHz); r != bridge::BusResult::Ok)
        return failure(stage, bridge::fromBus(r), stop);
    session->i2cEeprom.emplace(*session->i2c,
                               bridge::I2cEepromGeometry{chip.capacity, chip.pageSize});
    return resultOf(stage, Outcome::Done);
}

bridge::ChipResult BridgeOperations::readChip(Session& session, uint32_t address,
                                              std::span<uint8_t> dest, std::stop_token stop,
                                              const bridge::Progress& progress) {
    if (session.nor)
        return session.nor->read(address, dest, 1, stop, progress);
    if (session.i2cEeprom)
        return session.i2cEeprom->read(address, dest, 1, stop, progress);
    if (session.microwireEeprom)
        return session.microwireEeprom->read(address, dest, 1, stop, progress);
    return session.eeprom->read(address, dest, stop, progress);
}

bridge::ChipResult BridgeOperations::writeSerialEeprom(Session& session, uint32_t address,
                                                       std::span<const uint8_t> data,
                                                       std::stop_token stop,
                                                       const bridge::Progress& progress) {
    if (session.i2cEeprom)
        return session.i2cEeprom->write(address, data, stop, progress);
    const uint32_t first = address & ~1u;
    const uint32_t end = (address + static_cast<uint32_t>(data.size()) + 1) & ~1u;
    if (session.microwireEeprom->width() == 8 || (first == address && end == address + data.size()))
        return session.microwireEeprom->write(address, data, stop, progress);
    return session.microwireEeprom->write(first, buffer_.range(first, end - first), stop, progress);
}

OperationResult BridgeOperations::checkNorChip(Stage stage, const ChipInfo& chip, Session* session,
                                               std::stop_token stop) {
    bridge::NorIdentity& identity = session->identity;
    const bridge::ChipResult identified = bridge::identifyNor(*session->bus, &identity, stop);
    if (!identified.ok())
        return failure(stage, identified, stop);
    const ChipFacts* facts = factsOf(chip);
    const auto expected = facts ? parseJedecId(facts->jedecId) : std::nullopt;
    if (expected && *expected != identity.jedecId) {
        const std::vector<ChipInfo> known = chipsWithJedecId(identity.jedecId);
        std::string names;
        for (const ChipInfo& other : known)
            names += (names.empty() ? "" : ", ") + std::string(other.name);
        const std::string answered = jedecIdText(identity.jedecId);
        const std::string answer =
            known.empty() ? formatText(texts_.unknownChipAnswer, answered.c_str())
                          : formatText(texts_.knownChipAnswer, answered.c_str(), names.c_str());
        const std::string warning = formatText(texts_.wrongChipWarning, chip.name,
                                               jedecIdText(*expected).c_str(), answer.c_str());
        if (!host_.confirm(warning)) {
            host_.setStatusText(texts_.wrongChipStatus);
            return resultOf(stage, Outcome::WrongChip);
        }
    }
    // The chip's own SFDP when it agrees with the selected chip's size; else the usual
    // layout for its ID, with the erase sizes the chip facts name.
    bridge::NorGeometry geometry;
    if (identity.geometry && identity.sfdp.state == bridge::SfdpState::Sound &&
        identity.geometry->capacity == chip.capacity) {
        geometry = *identity.geometry;
    } else {
        geometry = bridge::geometryFromJedec(identity.jedecId, chip.capacity);
        if (chip.pageSize != 0)
            geometry.pageSize = chip.pageSize;
        if (facts) {
            auto types = factsEraseTypes(facts->erase, geometry.eraseTypes);
            if (!types.empty())
                geometry.eraseTypes = std::move(types);
        }
    }
    session->nor.emplace(*session->bus, std::move(geometry));
    return resultOf(stage, Outcome::Done);
}

OperationResult BridgeOperations::failure(Stage stage, const bridge::ChipResult& chipResult,
                                          std::stop_token stop) {
    using bridge::ChipOutcome;
    OperationResult result = resultOf(stage, Outcome::Failed);
    switch (chipResult.outcome) {
    case ChipOutcome::Ok:
        return resultOf(stage, Outcome::Done);
    case ChipOutcome::Cancelled:
        return resultOf(stage, Outcome::Cancelled);
    case ChipOutcome::NoChip:
        result.outcome = Outcome::NoChip;
        if (serialEeprom_)
            result.detail = texts_.bridgeEepromNoAnswer;
        break;
    case ChipOutcome::NoContact:
        result.outcome = Outcome::NoContact;
        if (serialEeprom_)
            result.detail = texts_.bridgeEepromNoContact;
        break;
    case ChipOutcome::Protected:
        result.outcome = Outcome::Protected;
        result.protectedBegin = chipResult.begin;
        result.protectedEnd = chipResult.end;
        break;
    case ChipOutcome::HardwareLocked:
        result.outcome = Outcome::ProtectionLocked;
        break;
    case ChipOutcome::BusGone:
        result.detail = texts_.bridgeGone;
        break;
    case ChipOutcome::BusFailed:
        result.detail = texts_.bridgeStalled;
        break;
    case ChipOutcome::NotCleared:
        result.detail = texts_.bridgeProtectionNotCleared;
        break;
    case ChipOutcome::StillBusy:
        result.detail = texts_.bridgeStillBusy;
        break;
    case ChipOutcome::ReadsDiffer:
        result.detail = formatText(texts_.bridgeReadsDiffer, asUlong(chipResult.begin));
        break;
    case ChipOutcome::VerifyFailed:
        result.outcome = Outcome::Mismatch;
        result.address = static_cast<uint32_t>(chipResult.begin);
        break;
    case ChipOutcome::OutOfRange:
    case ChipOutcome::Unsupported:
        result.detail = texts_.bridgeFamilyUnsupported;
        break;
    }
    if (stop.stop_requested() && result.outcome == Outcome::Failed)
        return resultOf(stage, Outcome::Cancelled);
    if (result.outcome == Outcome::Mismatch)
        host_.setStatusText(texts_.verifyDiffStatus);
    else if (result.outcome == Outcome::Protected)
        host_.setStatusText(texts_.writeFailureStatus);
    else
        host_.setStatusText(failureStatus(texts_, stage));
    return report(result);
}

OperationResult BridgeOperations::mismatchAt(Stage stage, Session* session, uint64_t address,
                                             std::stop_token stop) {
    OperationResult result = resultOf(stage, Outcome::Mismatch);
    result.address = static_cast<uint32_t>(address);
    uint8_t chipByte = 0;
    const bridge::ChipResult read =
        session->nor ? session->nor->read(address, {&chipByte, 1}, 1, stop)
                     : session->eeprom->read(static_cast<uint32_t>(address), {&chipByte, 1}, stop);
    if (!read.ok())
        return failure(stage, read, stop);
    const std::span<const uint8_t> expected = buffer_.range(address, 1);
    result.bufferByte = expected.empty() ? 0xFF : expected[0];
    result.chipByte = chipByte;
    host_.setStatusText(texts_.verifyDiffStatus);
    return report(result);
}

OperationResult BridgeOperations::read(const std::string& path, const ChipInfo& chip,
                                       std::stop_token stop) {
    Session session;
    const OperationResult opened = open(Stage::Read, path, &chip, &session, stop);
    if (!opened.ok())
        return opened;
    // The store grew to the chip when it was chosen; memory may have been short then.
    if (buffer_.store() == nullptr || buffer_.size() < chip.capacity)
        return report(resultOf(Stage::Read, Outcome::NoMemory));
    RunningScope scope(running_);
    host_.setStatusText(texts_.reading);
    const std::span<uint8_t> dest = buffer_.range(0, chip.capacity);
    const bridge::ChipResult done = readChip(session, 0, dest, stop, progressFor(Stage::Read));
    if (!done.ok())
        return failure(Stage::Read, done, stop);
    host_.progress(Stage::Read, chip.capacity, chip.capacity);
    host_.setStatusText(texts_.readDone);
    host_.refreshHexView();
    return resultOf(Stage::Read, Outcome::Done);
}

OperationResult BridgeOperations::clearProtection(Stage stage, Session* session,
                                                  std::stop_token stop) {
    const bridge::ChipResult cleared =
        session->nor ? session->nor->clearProtection(stop) : session->eeprom->clearProtection(stop);
    return cleared.ok() ? resultOf(stage, Outcome::Done) : failure(stage, cleared, stop);
}

OperationResult BridgeOperations::handleProtection(Stage stage, Session* session, uint64_t begin,
                                                   uint64_t end, std::stop_token stop) {
    bridge::StatusRegisters status;
    const bridge::ChipResult read = session->nor->readStatus(&status, stop);
    if (!read.ok())
        return failure(stage, read, stop);
    const bridge::ProtectedRange& range = status.protectedRange;
    if (!range.overlaps(begin, end))
        return resultOf(stage, Outcome::Done);
    const std::string question =
        formatText(texts_.bridgeProtectedQuestion, asUlong(range.begin), asUlong(range.end - 1));
    if (host_.confirmClearProtection(question))
        return clearProtection(stage, session, stop);
    return failure(stage, {bridge::ChipOutcome::Protected, range.begin, range.end}, stop);
}

OperationResult BridgeOperations::erase(const std::string& path, const ChipInfo& chip,
                                        std::stop_token stop) {
    if (chip.type != ChipType::Flash25)
        return resultOf(Stage::Erase, Outcome::NotApplicable);
    Session session;
    OperationResult opened = open(Stage::Erase, path, &chip, &session, stop);
    if (opened.ok())
        opened = handleProtection(Stage::Erase, &session, 0, chip.capacity, stop);
    if (!opened.ok())
        return opened;
    RunningScope scope(running_);
    host_.setStatusText(texts_.erasing);
    host_.progress(Stage::Erase, 0, 1);
    host_.pumpOneMessage();
    const bridge::ChipResult done = session.nor->eraseChip(stop, progressFor(Stage::Erase));
    if (!done.ok())
        return failure(Stage::Erase, done, stop);
    host_.progress(Stage::Erase, 1, 1);
    host_.setStatusText(texts_.eraseDone);
    return resultOf(Stage::Erase, Outcome::Done);
}

OperationResult BridgeOperations::write(const std::string& path, const ChipInfo& chip,
                                        std::span<const AddressRange> ranges, bool afterErase,
                                        std::stop_token stop) {
    Session session;
    OperationResult opened = open(Stage::Write, path, &chip, &session, stop);
    if (opened.ok() && session.nor) {
        for (const AddressRange& range : ranges) {
            opened = handleProtection(Stage::Write, &session, range.start, range.end(), stop);
            if (!opened.ok())
                break;
        }
    }
    if (!opened.ok())
        return opened;
    // The store grew to the chip when it was chosen; memory may have been short then.
    if (buffer_.store() == nullptr || buffer_.size() < chip.capacity)
        return report(resultOf(Stage::Write, Outcome::NoMemory));
    RunningScope scope(running_);
    host_.setStatusText(texts_.writing);
    uint64_t total = 0;
    for (const AddressRange& range : ranges)
        total += range.length;
    uint64_t before = 0;
    for (const AddressRange& range : ranges) {
        const std::span<const uint8_t> data = buffer_.range(range.start, range.length);
        const bridge::Progress progress = progressFor(Stage::Write, before, total);
        bridge::ChipResult done;
        if (session.nor) {
            done = afterErase ? session.nor->program(range.start, data, stop, progress)
                              : session.nor->write(range.start, data, bridge::WriteMode::Full, stop,
                                                   progress);
        } else if (!session.eeprom) {
            done = writeSerialEeprom(session, range.start, data, stop, progress);
        } else {
            done = session.eeprom->write(range.start, data, stop, progress);
            if (done.outcome == bridge::ChipOutcome::Protected) {
                const std::string question = formatText(texts_.bridgeProtectedQuestion,
                                                        asUlong(done.begin), asUlong(done.end - 1));
                if (host_.confirmClearProtection(question)) {
                    const OperationResult cleared = clearProtection(Stage::Write, &session, stop);
                    if (!cleared.ok())
                        return cleared;
                    done = session.eeprom->write(range.start, data, stop, progress);
                }
            }
        }
        if (done.outcome == bridge::ChipOutcome::VerifyFailed)
            return mismatchAt(Stage::Write, &session, done.begin, stop);
        if (!done.ok())
            return failure(Stage::Write, done, stop);
        before += range.length;
    }
    host_.progress(Stage::Write, total, total);
    host_.setStatusText(texts_.writeDone);
    return resultOf(Stage::Write, Outcome::Done);
}

OperationResult BridgeOperations::compare(const std::string& path, const ChipInfo& chip, bool blank,
                                          std::span<const AddressRange> ranges,
                                          std::stop_token stop) {
    const Stage stage = blank ? Stage::BlankCheck : Stage::Verify;
    Session session;
    const OperationResult opened = open(stage, path, &chip, &session, stop);
    if (!opened.ok())
        return opened;
    if (!blank && (buffer_.store() == nullptr || buffer_.size() < chip.capacity))
        return report(resultOf(stage, Outcome::NoMemory));
    RunningScope scope(running_);
    host_.setStatusText(blank ? texts_.blankChecking : texts_.verifying);
    uint64_t total = 0;
    for (const AddressRange& range : ranges)
        total += range.length;
    std::vector<uint8_t> block(std::min<uint64_t>(total, DeviceOperations::kVerifyBlockSize));
    uint64_t before = 0;
    for (const AddressRange& range : ranges) {
        for (uint32_t offset = range.start; offset < range.end();) {
            const uint32_t length =
                std::min<uint32_t>(static_cast<uint32_t>(block.size()), range.end() - offset);
            const std::span<uint8_t> chipBytes(block.data(), length);
            const uint64_t doneBefore = before + (offset - range.start);
            const bridge::ChipResult done =
                readChip(session, offset, chipBytes, stop, progressFor(stage, doneBefore, total));
            if (!done.ok())
                return failure(stage, done, stop);
            OperationResult result = resultOf(stage, blank ? Outcome::NotBlank : Outcome::Mismatch);
            size_t at = length;
            if (blank) {
                at = static_cast<size_t>(std::find_if(chipBytes.begin(), chipBytes.end(),
                                                      [](uint8_t b) { return b != 0xFF; }) -
                                         chipBytes.begin());
            } else {
                const std::span<const uint8_t> expected = buffer_.range(offset, length);
                at = static_cast<size_t>(
                    std::mismatch(expected.begin(), expected.end(), chipBytes.begin()).first -
                    expected.begin());
                if (at < length)
                    result.bufferByte = expected[at];
            }
            if (at < length) {
                result.address = offset + static_cast<uint32_t>(at);
                result.chipByte = chipBytes[at];
                host_.setStatusText(blank ? texts_.notBlankStatus : texts_.verifyDiffStatus);
                return report(result);
            }
            offset += length;
        }
        before += range.length;
    }
    host_.progress(stage, total, total);
    host_.setStatusText(blank ? texts_.blankDone : texts_.verifyDone);
    return resultOf(stage, Outcome::Done);
}

OperationResult BridgeOperations::identify(const std::string& path, std::vector<ChipInfo>* matches,
                                           std::stop_token stop) {
    if (currentChip_.type != ChipType::Flash25)
        return resultOf(Stage::Identify, Outcome::NotApplicable);
    Session session;
    const ChipInfo selected = currentChip_;
    const OperationResult opened = open(Stage::Identify, path, &selected, &session, stop);
    if (!opened.ok())
        return opened;
    bridge::NorIdentity identity;
    const bridge::ChipResult asked = bridge::identifyNor(*session.bus, &identity, stop);
    if (!asked.ok())
        return failure(Stage::Identify, asked, stop);
    OperationResult result = resultOf(Stage::Identify, Outcome::Done);
    result.ids[0] = identity.manufacturerDeviceId[0];
    result.ids[1] = identity.manufacturerDeviceId[1];
    result.nor = identity;

    // By JEDEC ID first; the 90 ID for chips whose facts name none.
    std::vector<ChipInfo> found = chipsWithJedecId(identity.jedecId);
    if (found.empty() && !(result.ids[0] == 0xFF && result.ids[1] == 0xFF)) {
        found.resize(ChipDatabase::kMaxRecords);
        found.resize(
            database_.findAllById(found.data(), found.size(), result.ids[0], result.ids[1]));
        // A chip whose facts name another JEDEC ID is not this one.
        std::erase_if(found, [this, &identity](const ChipInfo& chip) {
            const ChipFacts* facts = factsOf(chip);
            const auto known = facts ? parseJedecId(facts->jedecId) : std::nullopt;
            return known && *known != identity.jedecId;
        });
    }
    if (matches != nullptr)
        *matches = found;
    if (found.empty()) {
        if (identity.sfdp.state == bridge::SfdpState::Sound && identity.sfdp.capacity != 0 &&
            identity.sfdp.capacity <= kMaxStoreSize) {
            // Usable at once; the front end may offer to save it under a name.
            currentChip_ = unnamedChip(identity);
            host_.identifiedChipChanged();
            host_.setStatusText(texts_.identifiedStatus);
            host_.offerNewChip(currentChip_);
            return report(result);
        }
        host_.setStatusText(texts_.notFoundStatus);
        result.outcome = Outcome::NotIdentified;
        report(result);
        host_.offerNewChip(unknownChipRow(database_, result.ids[0], result.ids[1]).chip);
        return result;
    }
    if (!settleIdentifiedChip(texts_, host_, currentChip_, found))
        return resultOf(Stage::Identify, Outcome::Cancelled);
    return report(result);
}

OperationResult BridgeOperations::firmwareVersion(const std::string& path, std::stop_token stop) {
    Session session;
    const OperationResult opened = open(Stage::FirmwareVersion, path, nullptr, &session, stop);
    if (!opened.ok())
        return opened;
    if (session.ch341a == nullptr) {
        // The CH347 answers no version request here: its kind and the clock it runs.
        OperationResult result = resultOf(Stage::FirmwareVersion, Outcome::Done);
        result.version = usb::deviceLabelOf(path).substr(0, 6) + " SPI " +
                         bridge::spiClockText(session.spiClockHz);
        host_.setStatusText(texts_.firmwareStatus);
        return report(result);
    }
    const std::vector<uint8_t> version = session.ch341a->version();
    if (version.empty()) {
        host_.setStatusText(texts_.firmwareFailure);
        return resultOf(Stage::FirmwareVersion, Outcome::StartFailed);
    }
    OperationResult result = resultOf(Stage::FirmwareVersion, Outcome::Done);
    result.version = "CH341A";
    for (uint8_t byte : version)
        result.version += formatText(" %02X", unsigned{byte});
    host_.setStatusText(texts_.firmwareStatus);
    return report(result);
}
