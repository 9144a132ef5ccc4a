#include "protocol/DeviceOperations.h"

#include "res/MessageBox.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

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

} // namespace

DeviceOperations::DeviceOperations(const Texts& texts, OperationHost& host, UsbLink& link,
                                   Programmer& programmer, const ChipDatabase& database,
                                   ChipInfo& currentChip, DataBuffer& buffer)
    : texts_(texts), host_(host), link_(link), programmer_(programmer), database_(database),
      currentChip_(currentChip), buffer_(buffer) {}

void DeviceOperations::openAtStartUp() {
    if (!link_.open()) {
        host_.setStatusText(texts_.deviceOpenFailed);
        messageBox(texts_.deviceOpenFailed);
    }
    programmer_.init(&link_);
}

bool DeviceOperations::programmerIdle() {
    // A command chosen while another one's operation runs must not poll it: that poll
    // could take the data or the failure away from the loop that reports them.
    if (running_ > 0 || programmer_.poll() != OpStatus::Idle) {
        messageBox(texts_.deviceBusy);
        return false;
    }
    return true;
}

bool DeviceOperations::fitsBuffer(const ChipInfo& chip) {
    if (chip.capacity <= kStoreSize) {
        return true;
    }
    messageBox(texts_.chipTooLarge);
    return false;
}

bool DeviceOperations::openLink() {
    if (link_.open()) {
        return true;
    }
    host_.setStatusText(texts_.deviceOpenFailed);
    messageBox(texts_.deviceOpenFailed);
    return false;
}

template <typename ShowRunning>
OpStatus DeviceOperations::pollUntilOver(OpStatus running, uint32_t waitMs,
                                         ShowRunning showRunning) {
    for (;;) {
        const OpStatus status = programmer_.poll();
        if (status == OpStatus::Idle || status == OpStatus::Failed) {
            return status;
        }
        if (status != running) {
            continue; // another operation's state: ask again at once
        }
        showRunning();
        host_.pumpOneMessage();
        programmer_.waitForChange(waitMs);
    }
}

bool DeviceOperations::read() {
    const ChipInfo chip = currentChip_;
    return read(chip);
}

bool DeviceOperations::erase() {
    const ChipInfo chip = currentChip_;
    return erase(chip);
}

bool DeviceOperations::write() {
    const ChipInfo chip = currentChip_;
    return write(chip);
}

bool DeviceOperations::verify() {
    const ChipInfo chip = currentChip_;
    return verify(chip);
}

// The chip is taken once: a chip chosen while the steps run does not change them.
bool DeviceOperations::autoProgram() {
    const ChipInfo chip = currentChip_;
    // Erasing a chip that cannot be written afterwards would only lose its contents.
    if (!fitsBuffer(chip)) {
        return false;
    }
    bool ok = true;
    if (chip.type == ChipType::Flash25) {
        ok = erase(chip);
    }
    ok = write(chip) && ok;
    ok = verify(chip) && ok;
    return ok;
}

bool DeviceOperations::read(const ChipInfo& chip) {
    if (!programmerIdle() || !fitsBuffer(chip) || !openLink()) {
        return false;
    }
    programmer_.prepareFamily(chip);
    if (!programmer_.startReadChip(buffer_.store(), 0, chip.capacity)) {
        messageBox(texts_.startReadChipError);
        return false;
    }
    RunningScope scope(running_);
    host_.setStatusText(texts_.reading);
    if (pollUntilOver(OpStatus::Reading, kPollWaitMs, [this] { host_.showProgress(); }) ==
        OpStatus::Failed) {
        host_.setStatusText(texts_.readFailureStatus);
        messageBox(texts_.readFailureBox);
        return false;
    }
    host_.setStatusText(texts_.readDone);
    host_.showProgress();
    host_.refreshHexView();
    return true;
}

bool DeviceOperations::erase(const ChipInfo& chip) {
    if (chip.type != ChipType::Flash25) {
        return false;
    }
    if (!programmerIdle() || !openLink()) {
        return false;
    }
    programmer_.prepareFamily(chip);
    if (!programmer_.startErase()) {
        messageBox(texts_.eraseStartError);
        return false;
    }
    RunningScope scope(running_);
    host_.setStatusText(texts_.erasing);
    host_.showPercent(0);
    host_.pumpOneMessage();
    host_.pumpOneMessage();
    if (pollUntilOver(OpStatus::Erasing, kErasePollWaitMs, [this] { host_.showProgress(); }) ==
        OpStatus::Failed) {
        host_.setStatusText(texts_.eraseFailureStatus);
        messageBox(texts_.eraseFailureBox);
        return false;
    }
    host_.showProgress();
    host_.setStatusText(texts_.eraseDone);
    return true;
}

bool DeviceOperations::write(const ChipInfo& chip) {
    if (!programmerIdle() || !fitsBuffer(chip) || !openLink()) {
        return false;
    }
    programmer_.prepareFamily(chip);
    const uint16_t pageSize = chip.programMode != 0 ? chip.pageSize : 1;
    if (!programmer_.startWriteChip(buffer_.store(), 0, chip.capacity, pageSize)) {
        messageBox(texts_.writeStartError);
        return false;
    }
    RunningScope scope(running_);
    host_.setStatusText(texts_.writing);
    if (pollUntilOver(OpStatus::Writing, kPollWaitMs, [this] { host_.showProgress(); }) ==
        OpStatus::Failed) {
        host_.setStatusText(texts_.writeFailureStatus);
        messageBox(texts_.writeFailureBox);
        return false;
    }
    host_.setStatusText(texts_.writeDone);
    host_.showProgress();
    return true;
}

bool DeviceOperations::verify(const ChipInfo& chip) {
    if (!programmerIdle() || !fitsBuffer(chip) || !openLink()) {
        return false;
    }
    programmer_.prepareFamily(chip);
    host_.setStatusText(texts_.verifying);

    const uint32_t capacity = chip.capacity;
    const uint32_t blockSize = std::min(capacity, kVerifyBlockSize);
    const uint8_t* store = buffer_.store();
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockSize]());
    if (store == nullptr || !block) {
        messageBox(texts_.memoryNotEnough);
        return false;
    }

    for (uint32_t offset = 0; offset < capacity; offset += blockSize) {
        // The last block ends at the chip's end, not a whole block further.
        const uint32_t length = std::min(blockSize, capacity - offset);
        if (!programmer_.startReadChip(block.get(), offset, length)) {
            messageBox(texts_.startReadChipError);
            return false;
        }
        RunningScope scope(running_);
        const OpStatus status =
            pollUntilOver(OpStatus::Reading, kPollWaitMs, [this, length, offset, capacity] {
                const uint64_t inBlock = uint64_t{length} * programmer_.getProgress() / 100;
                host_.showPercent(static_cast<int>((inBlock + offset) * 100 / capacity));
            });
        // A block that came back short holds no chip bytes to compare: it failed too.
        if (status == OpStatus::Failed || programmer_.readCount() < length) {
            host_.setStatusText(texts_.verifyReadFailureStatus);
            messageBox(texts_.verifyReadFailureBox);
            return false;
        }
        const uint8_t* expected = store + offset;
        const auto [bufferByte, chipByte] = std::mismatch(expected, expected + length, block.get());
        if (bufferByte != expected + length) {
            const auto address = static_cast<unsigned long>(offset + (bufferByte - expected));
            host_.setStatusText(texts_.verifyDiffStatus);
            messageBox(formatText(texts_.verifyDiffBox, address, highNibble(*bufferByte),
                                  lowNibble(*bufferByte), highNibble(*chipByte),
                                  lowNibble(*chipByte)));
            return false;
        }
    }
    host_.showProgress();
    host_.setStatusText(texts_.verifyDone);
    return true;
}

bool DeviceOperations::identify() {
    if (currentChip_.type != ChipType::Flash25) {
        return false;
    }
    if (!programmerIdle() || !openLink()) {
        return false;
    }
    programmer_.prepareFamily(currentChip_);
    uint8_t ids[2] = {};
    if (!programmer_.readChipId(ids)) {
        host_.setStatusText(texts_.identifyFailureStatus);
        messageBoxIf(texts_.identifyFailureBox);
        return false;
    }
    const std::string idText = formatText(texts_.idText, unsigned{ids[0]}, unsigned{ids[1]});
    // FF FF is what an empty socket or a chip without ID answers: never looked up.
    const bool identified = !(ids[0] == 0xFF && ids[1] == 0xFF) &&
                            database_.findById(&currentChip_, ids[0], ids[1]) == 1;
    if (!identified) {
        host_.setStatusText(texts_.notFoundStatus);
        messageBox(std::string(texts_.notFoundBox) + idText);
        return false;
    }
    host_.identifiedChipChanged();
    host_.setStatusText(texts_.identifiedStatus);
    messageBox(texts_.identifiedBox);
    return true;
}

bool DeviceOperations::firmwareVersion() {
    if (!programmerIdle() || !openLink()) {
        return false;
    }
    char version[Programmer::kVersionTextSize] = {};
    if (!programmer_.readFirmwareVersion(version)) {
        host_.setStatusText(texts_.firmwareFailure);
        return false;
    }
    host_.setStatusText(texts_.firmwareStatus);
    messageBox(formatText("%s%s", texts_.firmwareBox, version));
    return true;
}
