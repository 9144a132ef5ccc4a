#include "protocol/Programmer.h"

#include "protocol/FamilyParams.h"
#include "usb/UsbLink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace {

constexpr uint8_t kOpRead = 0x01;
constexpr uint8_t kOpWrite = 0x02;
constexpr uint8_t kOpEraseStatus = 0x03;
constexpr uint8_t kOpErase = 0x04;
constexpr uint8_t kOpChipId = 0x05;
constexpr uint8_t kOpVersion = 0x07;

// The most bytes each answer may have.
constexpr uint16_t kShortAnswer = 3;
constexpr uint16_t kIdAnswer = 4;
constexpr uint16_t kVersionAnswer = 102;

void putBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

} // namespace

Programmer::Programmer() : Programmer(familyParams()) {}
Programmer::Programmer(FamilyParams& params) : params_(params) {}
Programmer::~Programmer() = default;

int Programmer::init(UsbLink* link) {
    link_ = link;
    if (!transferBuffer_) {
        transferBuffer_.reset(new (std::nothrow) uint8_t[kTransferBufferSize]);
    }
    return 1;
}

int Programmer::prepareFamily(const ChipInfo& chip) {
    preparedChip_ = chip;
    return setFamilyParams(params_, chip);
}

int Programmer::waitResponse(uint8_t key, uint8_t* answer, uint16_t maxLength,
                             uint16_t* answerLength) {
    if (link_ == nullptr) {
        return 0;
    }
    for (uint32_t skipped = 0; skipped <= kMaxSkippedPackets; ++skipped) {
        uint8_t packet[kPacketSize];
        std::atomic<uint32_t> count{0};
        if (!link_->timedRead(packet, kPacketSize, &count, kAnswerTimeoutMs, stop_)) {
            return 0;
        }
        const uint32_t length = std::min(count.load(), kPacketSize);
        // An empty packet has no opcode: it answers nothing, like a stray.
        if (length == 0 || packet[0] != key || length > maxLength) {
            continue;
        }
        std::memcpy(answer, packet, length);
        if (answerLength != nullptr) {
            *answerLength = static_cast<uint16_t>(length);
        }
        return 1;
    }
    return 0;
}

int Programmer::exchange(const uint8_t* command, uint32_t length, uint8_t* answer,
                         uint16_t maxAnswer, uint16_t* answerLength) {
    if (link_ == nullptr) {
        return 0;
    }
    if (!link_->bringInStep(stop_)) {
        return 0;
    }
    std::atomic<uint32_t> written{0};
    // A command the device took only part of cannot be answered properly.
    if (!link_->timedWrite(command, length, &written, kCommandTimeoutMs, stop_) ||
        written.load() != length || !waitResponse(command[0], answer, maxAnswer, answerLength)) {
        link_->markOutOfStep();
        return 0;
    }
    return 1;
}

// Answers shorter than the bytes checked are refused: the device always sends them
// whole, and a cut-off answer says nothing reliable. A refused answer leaves the link
// out of step: a garbled answer to a Read may come from a programmer now sending data.
bool Programmer::accepted(bool answerMatches) {
    if (!answerMatches) {
        link_->markOutOfStep();
    }
    return answerMatches;
}

int Programmer::startReadChip(uint8_t* dest, uint32_t address, uint32_t length) {
    if (state_ != BusyState::Idle || length > kMaxChipLength || (dest == nullptr && length > 0)) {
        return 0;
    }
    uint8_t command[15] = {kOpRead, 0x0A, params_.familyCode};
    putBigEndian32(command + 3, address);
    putBigEndian32(command + 7, length);
    command[11] = params_.addressMode;
    command[12] = params_.widthMode;
    command[13] = params_.reserved[0];
    command[14] = params_.reserved[1];
    uint8_t answer[kShortAnswer];
    uint16_t answerLength = 0;
    if (!exchange(command, sizeof command, answer, kShortAnswer, &answerLength) ||
        !accepted(answerLength >= 3 && answer[1] == 0x01 && answer[2] == 0x00)) {
        return 0;
    }
    readDest_ = dest;
    readLength_ = length;
    readCount_.store(0);
    // The programmer now sends the data whether or not it is read.
    if (!transferBuffer_ || !link_->startRead(transferBuffer_.get(), length + kReadSlack,
                                              &readCount_, kReadTimeoutMs)) {
        link_->markOutOfStep();
        return 0;
    }
    state_ = BusyState::Reading;
    return 1;
}

int Programmer::startWriteChip(const uint8_t* src, uint32_t address, uint32_t length,
                               uint16_t pageSize) {
    if (state_ != BusyState::Idle || length > kMaxChipLength || (src == nullptr && length > 0)) {
        return 0;
    }
    uint8_t command[17] = {kOpWrite, 0x0C, params_.familyCode};
    putBigEndian32(command + 3, address);
    putBigEndian32(command + 7, length);
    command[11] = static_cast<uint8_t>(pageSize >> 8);
    command[12] = static_cast<uint8_t>(pageSize);
    command[13] = params_.addressMode;
    command[14] = params_.widthMode;
    command[15] = params_.reserved[0];
    command[16] = params_.reserved[1];
    uint8_t answer[kShortAnswer];
    uint16_t answerLength = 0;
    // Once the command is out, the programmer may be waiting for data, answer or not.
    if (link_ == nullptr || !link_->bringInStep(stop_)) {
        return 0;
    }
    link_->setWriteDataPending(length > 0);
    if (!exchange(command, sizeof command, answer, kShortAnswer, &answerLength) ||
        !accepted(answerLength >= 3 && answer[1] == 0x01 && answer[2] == 0x01)) {
        return 0;
    }
    // The programmer now waits for the data; until its idle limit it takes whatever
    // comes next as chip data.
    if (!transferBuffer_) {
        link_->markOutOfStep();
        return 0;
    }
    // The data is sent from a copy, so the caller's buffer may change meanwhile.
    if (length > 0) {
        std::memcpy(transferBuffer_.get(), src, length);
    }
    writeCount_.store(0);
    writeLength_ = length;
    if (!link_->startWrite(transferBuffer_.get(), length, &writeCount_, kWriteTimeoutMs)) {
        link_->markOutOfStep();
        return 0;
    }
    state_ = BusyState::Writing;
    return 1;
}

int Programmer::startErase() {
    if (state_ != BusyState::Idle) {
        return 0;
    }
    const uint8_t command[3] = {kOpErase, 0x01, params_.familyCode};
    uint8_t answer[kShortAnswer];
    uint16_t answerLength = 0;
    // Byte 1 of this answer carries nothing the host relies on.
    if (!exchange(command, sizeof command, answer, kShortAnswer, &answerLength) ||
        !accepted(answerLength >= 3 && answer[2] == 0x01)) {
        return 0;
    }
    state_ = BusyState::Erasing;
    return 1;
}

int Programmer::queryEraseStatus(int* status) {
    const uint8_t command[3] = {kOpEraseStatus, 0x00, params_.familyCode};
    uint8_t answer[kShortAnswer];
    uint16_t answerLength = 0;
    if (!exchange(command, sizeof command, answer, kShortAnswer, &answerLength) ||
        !accepted(answerLength >= 3 && answer[1] == 0x01)) {
        return 0;
    }
    *status = answer[2];
    return 1;
}

int Programmer::readChipId(uint8_t ids[2]) {
    const uint8_t command[3] = {kOpChipId, 0x00, params_.familyCode};
    uint8_t answer[kIdAnswer];
    uint16_t answerLength = 0;
    if (!exchange(command, sizeof command, answer, kIdAnswer, &answerLength) ||
        !accepted(answerLength >= 4 && answer[1] == 0x02)) {
        return 0;
    }
    ids[0] = answer[2];
    ids[1] = answer[3];
    return 1;
}

int Programmer::readFirmwareVersion(char text[kVersionTextSize]) {
    if (state_ != BusyState::Idle) {
        return 0;
    }
    const uint8_t command[2] = {kOpVersion, 0x00};
    uint8_t answer[kVersionAnswer] = {};
    uint16_t answerLength = 0;
    if (!exchange(command, sizeof command, answer, kVersionAnswer, &answerLength)) {
        return 0;
    }
    // The answer is longer than one packet: a text of more than 61 characters comes in
    // two. The rest is read until the text's zero, so no text is cut short and no piece
    // of it is left on the pipe to be taken for the next command's answer.
    while (answerLength % kPacketSize == 0 && answerLength < kVersionAnswer &&
           std::memchr(answer + 2, 0, answerLength - 2u) == nullptr) {
        uint8_t packet[kPacketSize];
        std::atomic<uint32_t> count{0};
        if (!link_->timedRead(packet, kPacketSize, &count, kAnswerTimeoutMs) || count == 0) {
            break; // what came is the text
        }
        const uint32_t taken =
            std::min({count.load(), kPacketSize, uint32_t{kVersionAnswer} - answerLength});
        std::memcpy(answer + answerLength, packet, taken);
        answerLength = static_cast<uint16_t>(answerLength + taken);
    }
    size_t n = 0;
    for (size_t i = 2; i < answerLength && n < kVersionTextSize - 1 && answer[i] != 0; ++i) {
        text[n++] = static_cast<char>(answer[i]);
    }
    text[n] = '\0';
    return 1;
}

void Programmer::setProgress(uint32_t count, uint32_t length) {
    progressDone_ = count;
    progressTotal_ = length;
    if (length == 0) {
        progress_ = 0; // nothing to measure until the transfer is over
        return;
    }
    progress_ = static_cast<uint16_t>(std::min<uint64_t>(100, uint64_t{count} * 100 / length));
}

OpStatus Programmer::poll() {
    int result = 0;
    switch (state_) {
    case BusyState::Reading: {
        setProgress(readCount_.load(), readLength_);
        if (!link_->pollRead(&result)) {
            return OpStatus::Reading;
        }
        state_ = BusyState::Idle;
        // The pipe may bring up to 64 bytes more than asked: only the chip's bytes go on.
        // Fewer than asked is a data phase that broke off, not a smaller chip.
        const uint32_t received = readCount_.load();
        if (result == 0 || received < readLength_) {
            link_->markOutOfStep();
            return OpStatus::Failed;
        }
        if (readLength_ > 0) {
            std::memcpy(readDest_, transferBuffer_.get(), readLength_);
        } else {
            setProgress(1, 1);
        }
        return OpStatus::Idle;
    }
    case BusyState::Writing:
        setProgress(writeCount_.load(), writeLength_);
        if (!link_->pollWrite(&result)) {
            return OpStatus::Writing;
        }
        state_ = BusyState::Idle;
        // A write the pipe cut short leaves the programmer waiting for the rest.
        if (result == 0 || writeCount_.load() < writeLength_) {
            link_->markOutOfStep();
            return OpStatus::Failed;
        }
        link_->setWriteDataPending(false);
        if (writeLength_ == 0) {
            setProgress(1, 1);
        }
        return OpStatus::Idle;
    case BusyState::Erasing: {
        int status = 0;
        if (!queryEraseStatus(&status)) {
            state_ = BusyState::Idle;
            return OpStatus::Failed;
        }
        if (status == 1) {
            setProgress(0, 1);
            return OpStatus::Erasing;
        }
        setProgress(1, 1);
        state_ = BusyState::Idle;
        return OpStatus::Idle;
    }
    case BusyState::Idle:
        break;
    }
    state_ = BusyState::Idle;
    return OpStatus::Idle;
}

void Programmer::cancel() {
    if (state_ == BusyState::Reading || state_ == BusyState::Writing) {
        link_->abandonTransfers();
    }
    state_ = BusyState::Idle;
}

void Programmer::waitForChange(uint32_t maxMs) {
    switch (state_) {
    case BusyState::Reading:
        link_->waitReadDone(maxMs);
        return;
    case BusyState::Writing:
        link_->waitWriteDone(maxMs);
        return;
    case BusyState::Erasing:
        std::this_thread::sleep_for(std::chrono::milliseconds(maxMs));
        return;
    case BusyState::Idle:
        return;
    }
}
