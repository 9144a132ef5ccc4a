#include "protocol/DeviceOperations.h"

#include "chipdb/UnknownChip.h"
#include "protocol/BridgeOperations.h"
#include "usb/DeviceKinds.h"

#include "res/MessageBox.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Marks a command whose operation is under way, from its start to the end of its loop.
class RunningScope {
  public:
    explicit RunningScope(int& running) : running_(running) { ++running_; }
    ~RunningScope() { --running_; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

  private:
    int& running_;
};

unsigned highNibble(uint8_t byte) {
    return static_cast<unsigned>(byte >> 4);
}

unsigned lowNibble(uint8_t byte) {
    return static_cast<unsigned>(byte & 0x0F);
}

OperationResult resultOf(Stage stage, Outcome outcome) {
    OperationResult result;
    result.stage = stage;
    result.outcome = outcome;
    return result;
}

// The whole chip as one range.
std::vector<AddressRange> wholeChip(const ChipInfo& chip) {
    return {AddressRange{0, chip.capacity}};
}

// `ranges` inside the chip; on a chip of 16-bit cells widened to whole cells, which the
// programmer moves as one.
std::vector<AddressRange> chipRanges(const ChipInfo& chip, std::span<const AddressRange> ranges) {
    const uint32_t unit = chip.type == ChipType::Eeprom93 && chip.memoryWidth == 16 ? 2 : 1;
    std::vector<AddressRange> fitted;
    for (const AddressRange& range : ranges) {
        const uint32_t start = range.start / unit * unit;
        const uint64_t end = std::min<uint64_t>(
            (uint64_t{range.start} + range.length + unit - 1) / unit * unit, chip.capacity);
        if (start >= end)
            continue;
        if (!fitted.empty() && fitted.back().end() >= start) {
            fitted.back().length = static_cast<uint32_t>(
                std::max<uint64_t>(fitted.back().end(), end) - fitted.back().start);
        } else {
            fitted.push_back({start, static_cast<uint32_t>(end - start)});
        }
    }
    return fitted;
}

// The Write commands for `ranges`: a range that starts inside a page and runs past it
// sends that page's part on its own, whatever page handling the programmer has.
std::vector<AddressRange> writePieces(std::span<const AddressRange> ranges, uint32_t pageSize) {
    std::vector<AddressRange> pieces;
    for (AddressRange range : ranges) {
        const uint32_t intoPage = pageSize > 1 ? range.start % pageSize : 0;
        if (intoPage != 0 && range.length > pageSize - intoPage) {
            pieces.push_back({range.start, pageSize - intoPage});
            range.start += pageSize - intoPage;
            range.length -= pageSize - intoPage;
        }
        pieces.push_back(range);
    }
    return pieces;
}

uint64_t totalLength(std::span<const AddressRange> ranges) {
    uint64_t total = 0;
    for (const AddressRange& range : ranges)
        total += range.length;
    return total;
}

std::string orEmpty(const char* text) {
    return text ? text : "";
}

std::string idText(uint8_t manufacturer, uint8_t device) {
    return formatText("%02X %02X", unsigned{manufacturer}, unsigned{device});
}

// The box a refused start shows.
std::string startFailedMessage(const Texts& texts, Stage stage) {
    switch (stage) {
    case Stage::Read:
    case Stage::Verify:
    case Stage::BlankCheck:
        return texts.startReadChipError;
    case Stage::Erase:
        return texts.eraseStartError;
    case Stage::Write:
        return texts.writeStartError;
    case Stage::Identify:
        return orEmpty(texts.identifyFailureBox); // the Chinese build only
    case Stage::FirmwareVersion:
        return {};
    }
    return {};
}

// The box a data phase or an erase that failed on the way shows.
std::string failedMessage(const Texts& texts, Stage stage) {
    switch (stage) {
    case Stage::Read:
        return texts.readFailureBox;
    case Stage::Erase:
        return texts.eraseFailureBox;
    case Stage::Write:
        return texts.writeFailureBox;
    case Stage::Verify:
        return texts.verifyReadFailureBox;
    case Stage::BlankCheck:
        return texts.blankFailureBox;
    case Stage::Identify:
    case Stage::FirmwareVersion:
        return startFailedMessage(texts, stage);
    }
    return {};
}

} // namespace

std::string outcomeMessage(const Texts& texts, const OperationResult& result) {
    switch (result.outcome) {
    case Outcome::Done:
        if (result.stage == Stage::Identify)
            return texts.identifiedBox;
        if (result.stage == Stage::FirmwareVersion)
            return formatText("%s%s", texts.firmwareBox, result.version.c_str());
        return {};
    case Outcome::Busy:
        return texts.deviceBusy;
    case Outcome::TooLarge:
        return result.detail.empty() ? std::string(texts.chipTooLarge) : result.detail;
    case Outcome::NoDevice:
        return texts.deviceOpenFailed;
    case Outcome::NoMemory:
        return texts.memoryNotEnough;
    case Outcome::StartFailed:
        return startFailedMessage(texts, result.stage);
    case Outcome::Failed:
        if (!result.detail.empty())
            return failedMessage(texts, result.stage) + "\r\n" + result.detail;
        return failedMessage(texts, result.stage);
    case Outcome::Mismatch:
        return formatText(texts.verifyDiffBox, static_cast<unsigned long>(result.address),
                          highNibble(result.bufferByte), lowNibble(result.bufferByte),
                          highNibble(result.chipByte), lowNibble(result.chipByte));
    case Outcome::NotBlank:
        return formatText(texts.notBlankBox, static_cast<unsigned long>(result.address),
                          highNibble(result.chipByte), lowNibble(result.chipByte));
    case Outcome::NotIdentified:
        return std::string(texts.notFoundBox) +
               formatText(texts.idText, unsigned{result.ids[0]}, unsigned{result.ids[1]});
    case Outcome::NoChip:
        return result.detail.empty() ? std::string(texts.bridgeNoChip) : result.detail;
    case Outcome::NoContact:
        return result.detail.empty() ? std::string(texts.bridgeNoContact) : result.detail;
    case Outcome::Protected:
        return formatText(
            texts.bridgeProtectedBox, static_cast<unsigned long>(result.protectedBegin),
            static_cast<unsigned long>(result.protectedEnd > 0 ? result.protectedEnd - 1 : 0));
    case Outcome::ProtectionLocked:
        return texts.bridgeProtectionLocked;
    case Outcome::LowVoltage:
    case Outcome::NotApplicable:
        return result.detail;
    case Outcome::Cancelled:
    case Outcome::WrongChip:
        return {};
    }
    return {};
}

bool settleIdentifiedChip(const Texts& texts, OperationHost& host, ChipInfo& currentChip,
                          const std::vector<ChipInfo>& found) {
    // EN25F80, EN25Q80 and EN25T80 answer the same IDs, as do a maker's chip revisions.
    const auto selected = std::find_if(found.begin(), found.end(), [&](const ChipInfo& chip) {
        return std::strcmp(chip.name, currentChip.name) == 0;
    });
    if (selected != found.end()) {
        host.setStatusText(texts.identifiedStatus);
        return true;
    }
    const int chosen = found.size() == 1 ? 0 : host.chooseChip(found);
    if (chosen < 0 || static_cast<size_t>(chosen) >= found.size())
        return false;
    currentChip = found[static_cast<size_t>(chosen)];
    host.identifiedChipChanged();
    host.setStatusText(texts.identifiedStatus);
    return true;
}

DeviceOperations::DeviceOperations(const Texts& texts, OperationHost& host, UsbLink& link,
                                   Programmer& programmer, const ChipDatabase& database,
                                   ChipInfo& currentChip, DataBuffer& buffer)
    : texts_(texts), host_(host), link_(link), programmer_(programmer), database_(database),
      currentChip_(currentChip), buffer_(buffer),
      bridge_(std::make_unique<BridgeOperations>(texts, host, link, database, currentChip, buffer,
                                                 running_)) {}

DeviceOperations::~DeviceOperations() = default;

bridge::SpiClockSettings& DeviceOperations::spiClocks() {
    return bridge_->spiClocks();
}

bridge::I2cSpeedSettings& DeviceOperations::i2cSpeeds() {
    return bridge_->i2cSpeeds();
}

std::string DeviceOperations::bridgePath() {
    const std::string& preferred = link_.preferredPath();
    if (!preferred.empty()) {
        // The chosen programmer needs no listing: its commands go as they always went.
        if (usb::deviceKindOf(preferred) == usb::DeviceKind::Programmer)
            return {};
        if (usb::isBridge(usb::deviceKindOf(preferred)))
            return preferred;
    }
    // Only with no programmer present may a bridge stand in for it.
    if (!link_.listProgrammers().empty())
        return {};
    const std::vector<std::string> bridges = link_.listBridges();
    return bridges.empty() ? std::string() : bridges.front();
}

void DeviceOperations::openAtStartUp() {
    // Bridges are opened per command: one present is a device the user can work with.
    if (!link_.open() && link_.listBridges().empty()) {
        host_.setStatusText(texts_.deviceOpenFailed);
        host_.showMessage(texts_.deviceOpenFailed);
    }
    programmer_.init(&link_);
}

OperationResult DeviceOperations::report(const OperationResult& result) {
    const std::string message = outcomeMessage(texts_, result);
    if (!message.empty()) {
        host_.showMessage(message);
    }
    return result;
}

Outcome DeviceOperations::unlessStopped(Outcome outcome, const std::stop_token& stop) {
    return stop.stop_requested() ? Outcome::Cancelled : outcome;
}

std::string DeviceOperations::answerText(const uint8_t ids[2]) const {
    const std::string bytes = idText(ids[0], ids[1]);
    // What an empty socket or a clip that does not touch the chip reads as.
    if ((ids[0] == 0xFF && ids[1] == 0xFF) || (ids[0] == 0x00 && ids[1] == 0x00)) {
        return formatText(texts_.emptySocketAnswer, bytes.c_str());
    }
    std::vector<ChipInfo> found(ChipDatabase::kMaxRecords);
    found.resize(database_.findAllById(found.data(), found.size(), ids[0], ids[1]));
    if (found.empty()) {
        return formatText(texts_.unknownChipAnswer, bytes.c_str());
    }
    std::string names;
    for (const ChipInfo& chip : found) {
        names += (names.empty() ? "" : ", ") + std::string(chip.name);
    }
    return formatText(texts_.knownChipAnswer, bytes.c_str(), names.c_str());
}

OperationResult DeviceOperations::checkChipInSocket(Stage stage, const ChipInfo& chip,
                                                    std::stop_token stop) {
    programmer_.prepareFamily(chip);
    // A chip without IDs (FF FF) cannot be told from an empty socket: nothing to check.
    if (chipChecked_ || chip.type != ChipType::Flash25 ||
        (chip.manufacturerId == 0xFF && chip.deviceId == 0xFF)) {
        return resultOf(stage, Outcome::Done);
    }
    uint8_t ids[2] = {};
    if (!programmer_.readChipId(ids)) {
        return report(resultOf(stage, unlessStopped(Outcome::StartFailed, stop)));
    }
    if (!(ids[0] == chip.manufacturerId && ids[1] == chip.deviceId)) {
        const std::string warning =
            formatText(texts_.wrongChipWarning, chip.name,
                       idText(chip.manufacturerId, chip.deviceId).c_str(), answerText(ids).c_str());
        if (!host_.confirm(warning)) {
            host_.setStatusText(texts_.wrongChipStatus);
            return resultOf(stage, Outcome::WrongChip);
        }
    }
    chipChecked_ = autoRunning_;
    return resultOf(stage, Outcome::Done);
}

OperationResult DeviceOperations::open(Stage stage, const ChipInfo* chip, std::stop_token stop) {
    if (stop.stop_requested()) {
        return resultOf(stage, Outcome::Cancelled);
    }
    // Every exchange of this command gives up as soon as it is asked to stop.
    programmer_.setStopToken(stop);
    // A command chosen while another one's operation runs must not poll it: that poll
    // could take the data or the failure away from the loop that reports them.
    if (running_ > 0 || programmer_.poll() != OpStatus::Idle) {
        return report(resultOf(stage, Outcome::Busy));
    }
    if (chip != nullptr && chip->capacity > kStoreSize) {
        return report(resultOf(stage, Outcome::TooLarge));
    }
    if (link_.open()) {
        RunningScope scope(running_);
        // After a failure part-way the programmer may still be answering or taking data:
        // wait for it here, where the window stays responsive, not inside a command.
        if (link_.bringInStep(stop, [this] { host_.pumpOneMessage(); })) {
            return resultOf(stage, Outcome::Done);
        }
        if (stop.stop_requested()) {
            return resultOf(stage, Outcome::Cancelled);
        }
    }
    host_.setStatusText(texts_.deviceOpenFailed);
    return report(resultOf(stage, Outcome::NoDevice));
}

template <typename ShowRunning>
Outcome DeviceOperations::pollUntilOver(OpStatus running, uint32_t waitMs, std::stop_token stop,
                                        ShowRunning showRunning) {
    for (;;) {
        const OpStatus status = programmer_.poll();
        if (status == OpStatus::Idle) {
            return Outcome::Done;
        }
        if (status == OpStatus::Failed) {
            return unlessStopped(Outcome::Failed, stop);
        }
        if (stop.stop_requested()) {
            programmer_.cancel();
            return Outcome::Cancelled;
        }
        if (status != running) {
            continue; // another operation's state: ask again at once
        }
        showRunning();
        host_.pumpOneMessage();
        programmer_.waitForChange(waitMs);
    }
}

void DeviceOperations::showProgress(Stage stage) {
    host_.progress(stage, programmer_.progressDone(), programmer_.progressTotal());
}

OperationResult DeviceOperations::read(std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return read(chip, stop);
}

OperationResult DeviceOperations::erase(std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return erase(chip, stop);
}

OperationResult DeviceOperations::write(std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return write(chip, wholeChip(chip), stop);
}

OperationResult DeviceOperations::verify(std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return compare(chip, false, wholeChip(chip), stop);
}

OperationResult DeviceOperations::blankCheck(std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return compare(chip, true, wholeChip(chip), stop);
}

OperationResult DeviceOperations::autoProgram(std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return autoProgram(chip, wholeChip(chip), stop);
}

OperationResult DeviceOperations::writeRanges(std::span<const AddressRange> ranges,
                                              std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return write(chip, chipRanges(chip, ranges), stop);
}

OperationResult DeviceOperations::verifyRanges(std::span<const AddressRange> ranges,
                                               std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return compare(chip, false, chipRanges(chip, ranges), stop);
}

OperationResult DeviceOperations::autoProgramRanges(std::span<const AddressRange> ranges,
                                                    std::stop_token stop) {
    const ChipInfo chip = currentChip_;
    return autoProgram(chip, chipRanges(chip, ranges), stop);
}

// The chip is taken once: a chip chosen while the steps run does not change them.
OperationResult DeviceOperations::autoProgram(const ChipInfo& chip,
                                              std::span<const AddressRange> ranges,
                                              std::stop_token stop) {
    // Erasing a chip that cannot be written afterwards would only lose its contents.
    const bool overBridge = !bridgePath().empty();
    if (chip.capacity > (overBridge ? kMaxStoreSize : kStoreSize)) {
        OperationResult result = resultOf(Stage::Write, Outcome::TooLarge);
        if (overBridge)
            result.detail = texts_.bridgeChipTooLarge;
        return report(result);
    }
    const DataBuffer::Hold hold = holdStore(chip);
    // The first step to reach the chip checks it; the others need not ask again.
    struct AutoScope {
        DeviceOperations& operations;
        ~AutoScope() {
            operations.autoRunning_ = operations.chipChecked_ = operations.autoErased_ = false;
        }
    } scope{*this};
    autoRunning_ = true;
    OperationResult first = resultOf(Stage::Write, Outcome::Done);
    const auto keep = [&first](const OperationResult& step) {
        if (first.ok()) {
            first = step;
        }
        return step.outcome != Outcome::Cancelled && step.outcome != Outcome::WrongChip;
    };
    if (chip.type == ChipType::Flash25 && !keep(erase(chip, stop))) {
        return first;
    }
    if (!keep(write(chip, ranges, stop))) {
        return first;
    }
    keep(compare(chip, false, ranges, stop));
    return first;
}

DataBuffer::Hold DeviceOperations::holdStore(const ChipInfo& chip) {
    buffer_.reserve(chip.capacity);
    return DataBuffer::Hold(buffer_);
}

OperationResult DeviceOperations::read(const ChipInfo& chip, std::stop_token stop) {
    const DataBuffer::Hold hold = holdStore(chip);
    if (const std::string path = bridgePath(); !path.empty()) {
        return bridge_->read(path, chip, stop);
    }
    OperationResult opened = open(Stage::Read, &chip, stop);
    if (opened.ok()) {
        opened = checkChipInSocket(Stage::Read, chip, stop);
    }
    if (!opened.ok()) {
        return opened;
    }
    if (!programmer_.startReadChip(buffer_.store(), 0, chip.capacity)) {
        return report(resultOf(Stage::Read, unlessStopped(Outcome::StartFailed, stop)));
    }
    RunningScope scope(running_);
    host_.setStatusText(texts_.reading);
    const Outcome outcome =
        pollUntilOver(OpStatus::Reading, kPollWaitMs, stop, [this] { showProgress(Stage::Read); });
    if (outcome != Outcome::Done) {
        if (outcome == Outcome::Failed) {
            host_.setStatusText(texts_.readFailureStatus);
        }
        return report(resultOf(Stage::Read, outcome));
    }
    host_.setStatusText(texts_.readDone);
    showProgress(Stage::Read);
    host_.refreshHexView();
    return resultOf(Stage::Read, Outcome::Done);
}

OperationResult DeviceOperations::erase(const ChipInfo& chip, std::stop_token stop) {
    if (const std::string path = bridgePath(); !path.empty()) {
        const OperationResult result = bridge_->erase(path, chip, stop);
        autoErased_ = autoRunning_ && result.ok();
        return result;
    }
    if (chip.type != ChipType::Flash25) {
        return resultOf(Stage::Erase, Outcome::NotApplicable);
    }
    OperationResult opened = open(Stage::Erase, nullptr, stop);
    if (opened.ok()) {
        opened = checkChipInSocket(Stage::Erase, chip, stop);
    }
    if (!opened.ok()) {
        return opened;
    }
    if (!programmer_.startErase()) {
        return report(resultOf(Stage::Erase, unlessStopped(Outcome::StartFailed, stop)));
    }
    RunningScope scope(running_);
    host_.setStatusText(texts_.erasing);
    host_.progress(Stage::Erase, 0, 1);
    host_.pumpOneMessage();
    host_.pumpOneMessage();
    const Outcome outcome = pollUntilOver(OpStatus::Erasing, kErasePollWaitMs, stop,
                                          [this] { showProgress(Stage::Erase); });
    if (outcome != Outcome::Done) {
        if (outcome == Outcome::Failed) {
            host_.setStatusText(texts_.eraseFailureStatus);
        }
        return report(resultOf(Stage::Erase, outcome));
    }
    showProgress(Stage::Erase);
    host_.setStatusText(texts_.eraseDone);
    return resultOf(Stage::Erase, Outcome::Done);
}

OperationResult DeviceOperations::write(const ChipInfo& chip, std::span<const AddressRange> ranges,
                                        std::stop_token stop) {
    const DataBuffer::Hold hold = holdStore(chip);
    if (const std::string path = bridgePath(); !path.empty()) {
        return bridge_->write(path, chip, ranges, autoRunning_ && autoErased_, stop);
    }
    OperationResult opened = open(Stage::Write, &chip, stop);
    if (opened.ok()) {
        opened = checkChipInSocket(Stage::Write, chip, stop);
    }
    if (!opened.ok()) {
        return opened;
    }
    const uint16_t pageSize = chip.programMode != 0 ? chip.pageSize : 1;
    const std::vector<AddressRange> pieces = writePieces(ranges, pageSize);
    const uint64_t total = totalLength(pieces);
    uint64_t before = 0;
    // One piece (the whole chip) shows the programmer's own figures.
    const auto progress = [&] {
        if (pieces.size() == 1) {
            showProgress(Stage::Write);
        } else {
            host_.progress(Stage::Write, before + programmer_.progressDone(), total);
        }
    };
    for (const AddressRange& piece : pieces) {
        if (!programmer_.startWriteChip(buffer_.store() + piece.start, piece.start, piece.length,
                                        pageSize)) {
            return report(resultOf(Stage::Write, unlessStopped(Outcome::StartFailed, stop)));
        }
        RunningScope scope(running_);
        host_.setStatusText(texts_.writing);
        const Outcome outcome = pollUntilOver(OpStatus::Writing, kPollWaitMs, stop, progress);
        if (outcome != Outcome::Done) {
            if (outcome == Outcome::Failed) {
                host_.setStatusText(texts_.writeFailureStatus);
            }
            return report(resultOf(Stage::Write, outcome));
        }
        before += piece.length;
    }
    host_.setStatusText(texts_.writeDone);
    if (pieces.size() == 1) {
        showProgress(Stage::Write);
    } else {
        host_.progress(Stage::Write, total, total);
    }
    return resultOf(Stage::Write, Outcome::Done);
}

OperationResult DeviceOperations::compare(const ChipInfo& chip, bool blank,
                                          std::span<const AddressRange> ranges,
                                          std::stop_token stop) {
    const DataBuffer::Hold hold = holdStore(chip);
    if (const std::string path = bridgePath(); !path.empty()) {
        return bridge_->compare(path, chip, blank, ranges, stop);
    }
    const Stage stage = blank ? Stage::BlankCheck : Stage::Verify;
    OperationResult opened = open(stage, &chip, stop);
    if (opened.ok()) {
        opened = checkChipInSocket(stage, chip, stop);
    }
    if (!opened.ok()) {
        return opened;
    }
    host_.setStatusText(blank ? texts_.blankChecking : texts_.verifying);

    // The bytes compared: the whole chip's capacity, or the ranges' sum.
    const uint64_t total = totalLength(ranges);
    const uint32_t blockSize = static_cast<uint32_t>(std::min<uint64_t>(total, kVerifyBlockSize));
    const uint8_t* store = buffer_.store();
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockSize]());
    if ((store == nullptr && !blank) || !block) {
        return report(resultOf(stage, Outcome::NoMemory));
    }

    uint64_t before = 0; // bytes of earlier ranges
    for (const AddressRange& range : ranges) {
        for (uint32_t offset = range.start; offset < range.end(); offset += blockSize) {
            // The last block ends at the range's end, not a whole block further.
            const uint32_t length = std::min(blockSize, range.end() - offset);
            if (!programmer_.startReadChip(block.get(), offset, length)) {
                return report(resultOf(stage, unlessStopped(Outcome::StartFailed, stop)));
            }
            RunningScope scope(running_);
            const uint64_t doneBefore = before + (offset - range.start);
            const Outcome outcome =
                pollUntilOver(OpStatus::Reading, kPollWaitMs, stop, [&, length, doneBefore] {
                    // A whole chip read shows as 100 only once it has been compared.
                    const uint64_t done =
                        uint64_t{length} * programmer_.getProgress() / 100 + doneBefore;
                    if (done < total) {
                        host_.progress(stage, done, total);
                    }
                });
            if (outcome != Outcome::Done) {
                if (outcome == Outcome::Failed) {
                    host_.setStatusText(blank ? texts_.blankFailureStatus
                                              : texts_.verifyReadFailureStatus);
                }
                return report(resultOf(stage, outcome));
            }
            const uint8_t* chipBytes = block.get();
            OperationResult result = resultOf(stage, blank ? Outcome::NotBlank : Outcome::Mismatch);
            if (blank) {
                const uint8_t* other = std::find_if(chipBytes, chipBytes + length,
                                                    [](uint8_t b) { return b != 0xFF; });
                if (other == chipBytes + length) {
                    continue;
                }
                result.address = offset + static_cast<uint32_t>(other - chipBytes);
                result.chipByte = *other;
                host_.setStatusText(texts_.notBlankStatus);
            } else {
                const uint8_t* expected = store + offset;
                const auto [bufferByte, chipByte] =
                    std::mismatch(expected, expected + length, chipBytes);
                if (bufferByte == expected + length) {
                    continue;
                }
                result.address = offset + static_cast<uint32_t>(bufferByte - expected);
                result.bufferByte = *bufferByte;
                result.chipByte = *chipByte;
                host_.setStatusText(texts_.verifyDiffStatus);
            }
            return report(result);
        }
        before += range.length;
    }
    host_.progress(stage, total, total);
    host_.setStatusText(blank ? texts_.blankDone : texts_.verifyDone);
    return resultOf(stage, Outcome::Done);
}

OperationResult DeviceOperations::identify(std::vector<ChipInfo>* matches, std::stop_token stop) {
    if (const std::string path = bridgePath(); !path.empty()) {
        return bridge_->identify(path, matches, stop);
    }
    if (currentChip_.type != ChipType::Flash25) {
        return resultOf(Stage::Identify, Outcome::NotApplicable);
    }
    const OperationResult opened = open(Stage::Identify, nullptr, stop);
    if (!opened.ok()) {
        return opened;
    }
    programmer_.prepareFamily(currentChip_);
    OperationResult result = resultOf(Stage::Identify, Outcome::Done);
    if (!programmer_.readChipId(result.ids)) {
        if (stop.stop_requested()) {
            return resultOf(Stage::Identify, Outcome::Cancelled);
        }
        host_.setStatusText(texts_.identifyFailureStatus);
        return report(resultOf(Stage::Identify, Outcome::StartFailed));
    }
    // FF FF is what an empty socket or a chip without ID answers: never looked up.
    std::vector<ChipInfo> found;
    if (!(result.ids[0] == 0xFF && result.ids[1] == 0xFF)) {
        found.resize(ChipDatabase::kMaxRecords);
        found.resize(
            database_.findAllById(found.data(), found.size(), result.ids[0], result.ids[1]));
    }
    if (matches != nullptr) {
        *matches = found;
    }
    if (found.empty()) {
        host_.setStatusText(texts_.notFoundStatus);
        result.outcome = Outcome::NotIdentified;
        report(result);
        // After the described box: the chip the database lacks, ready to be saved.
        if (!(result.ids[0] == 0xFF && result.ids[1] == 0xFF))
            host_.offerNewChip(unknownChipRow(database_, result.ids[0], result.ids[1]).chip);
        return result;
    }
    if (!settleIdentifiedChip(texts_, host_, currentChip_, found))
        return resultOf(Stage::Identify, Outcome::Cancelled);
    return report(result);
}

OperationResult DeviceOperations::firmwareVersion(std::stop_token stop) {
    if (const std::string path = bridgePath(); !path.empty()) {
        return bridge_->firmwareVersion(path, stop);
    }
    const OperationResult opened = open(Stage::FirmwareVersion, nullptr, stop);
    if (!opened.ok()) {
        return opened;
    }
    char version[Programmer::kVersionTextSize] = {};
    if (!programmer_.readFirmwareVersion(version)) {
        if (stop.stop_requested()) {
            return resultOf(Stage::FirmwareVersion, Outcome::Cancelled);
        }
        host_.setStatusText(texts_.firmwareFailure);
        return resultOf(Stage::FirmwareVersion, Outcome::StartFailed);
    }
    host_.setStatusText(texts_.firmwareStatus);
    OperationResult result = resultOf(Stage::FirmwareVersion, Outcome::Done);
    result.version = version;
    return report(result);
}
