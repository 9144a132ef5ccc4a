#include "sim/SpiNorChip.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint8_t kWip = 0x01;
constexpr uint8_t kWel = 0x02;
constexpr uint8_t kSrp = 0x80;
constexpr uint8_t kCmp = 0x40;
constexpr uint8_t kAds = 0x01;
constexpr size_t kKeptBytes = 8;

bool isStatusRead(uint8_t opcode) {
    return opcode == 0x05 || opcode == 0x35 || opcode == 0x15;
}

bool isFourByteOpcode(uint8_t opcode) {
    return opcode == 0x13 || opcode == 0x0C || opcode == 0x12 || opcode == 0x21 || opcode == 0xDC;
}

} // namespace

SpiNorChip::SpiNorChip(SpiNorConfig config, const VirtualClock& clock)
    : config_(std::move(config)), clock_(clock), memory_(config_.capacity, 0xFF) {}

uint8_t SpiNorChip::status(int index) const {
    uint8_t value = status_.at(index);
    if (index == 0)
        value = static_cast<uint8_t>((value & ~kWip) | (busy() ? kWip : 0));
    return value;
}

std::pair<uint32_t, uint32_t> SpiNorChip::protectedRange() const {
    const uint64_t capacity = config_.capacity;
    const uint8_t s1 = status_[0];
    uint64_t size = 0;
    bool bottom = false;
    if (config_.protection == ProtectionScheme::Fraction3) {
        const unsigned bp = (s1 >> 2) & 7;
        bottom = (s1 & 0x20) != 0;
        if (bp == 7)
            size = capacity;
        else if (bp != 0)
            size = (s1 & 0x40) ? uint64_t{4096} << std::min(bp - 1, 3u) : capacity >> (7 - bp);
    } else {
        const unsigned bp = (s1 >> 2) & 15;
        bottom = (s1 & 0x40) != 0;
        if (bp != 0)
            size = std::min(capacity, uint64_t{65536} << (bp - 1));
    }
    uint64_t begin = bottom ? 0 : capacity - size;
    uint64_t end = bottom ? size : capacity;
    if (status_[1] & kCmp) {
        // The complement of a prefix is the matching suffix and the other way round.
        if (size == 0 || size == capacity)
            return size == 0 ? std::pair<uint32_t, uint32_t>{0, config_.capacity}
                             : std::pair<uint32_t, uint32_t>{0, 0};
        begin = bottom ? size : 0;
        end = bottom ? capacity : capacity - size;
    }
    return {static_cast<uint32_t>(begin), static_cast<uint32_t>(end)};
}

bool SpiNorChip::isProtected(uint32_t begin, uint32_t end) const {
    const auto [from, to] = protectedRange();
    return from < to && begin < to && from < end;
}

uint32_t SpiNorChip::addressLength(uint8_t opcode) const {
    if (isFourByteOpcode(opcode))
        return 4;
    if (opcode == 0x90 || opcode == 0x5A)
        return 3;
    return (status_[2] & kAds) ? 4 : 3;
}

uint32_t SpiNorChip::addressAt(size_t from, uint32_t length) const {
    uint32_t address = 0;
    for (uint32_t i = 0; i < length; ++i)
        address = (address << 8) | command_[from + i];
    return address;
}

void SpiNorChip::select() {
    selected_ = true;
    ignored_ = false;
    command_.clear();
    bytes_ = 0;
}

uint8_t SpiNorChip::exchange(uint8_t mosi) {
    if (!selected_)
        return kFloatingMiso;
    const size_t position = bytes_++;
    if (position == 0)
        ignored_ = busy() && !isStatusRead(mosi);
    // Only the opcode and its address are kept: data streams through.
    if (command_.size() < kKeptBytes)
        command_.push_back(mosi);
    if (ignored_ || position == 0)
        return kFloatingMiso;

    const uint8_t opcode = command_[0];
    switch (opcode) {
    case 0x02:
    case 0x12: {
        const uint32_t length = addressLength(opcode);
        if (position == 1 + length) {
            programAddress_ = addressAt(1, length);
            pageBuffer_.assign(config_.pageSize, 0xFF);
            programCount_ = 0;
        }
        if (position > length)
            pageBuffer_[(programAddress_ + programCount_++) % config_.pageSize] = mosi;
        return kFloatingMiso;
    }
    case 0x9F:
        return position <= 3 ? config_.jedecId[position - 1] : kFloatingMiso;
    case 0x90:
        if (position < 4)
            return kFloatingMiso;
        return config_.manufacturerDeviceId[(position - 4 + (command_[3] & 1)) % 2];
    case 0x05:
        return status(0);
    case 0x35:
        return status(1);
    case 0x15:
        return status(2);
    case 0x5A: {
        if (position < 5)
            return kFloatingMiso;
        const uint64_t at = uint64_t{addressAt(1, 3)} + (position - 5);
        return at < config_.sfdp.size() ? config_.sfdp[at] : kFloatingMiso;
    }
    case 0x03:
    case 0x13:
    case 0x0B:
    case 0x0C: {
        const uint32_t length = addressLength(opcode);
        const size_t dataStart = 1 + length + ((opcode == 0x0B || opcode == 0x0C) ? 1 : 0);
        if (position < dataStart || config_.capacity == 0)
            return kFloatingMiso;
        if (position == dataStart)
            readAddress_ = addressAt(1, length);
        const uint8_t value = memory_[readAddress_ % config_.capacity];
        readAddress_ = (readAddress_ + 1) % config_.capacity;
        return value;
    }
    default:
        return kFloatingMiso;
    }
}

void SpiNorChip::deselect() {
    if (selected_ && !ignored_ && !command_.empty())
        finishCommand();
    selected_ = false;
    command_.clear();
}

void SpiNorChip::writeStatus(size_t firstRegister) {
    const size_t count = bytes_ - 1;
    if (count == 0 || firstRegister + count > (firstRegister == 0 ? 2u : firstRegister + 1))
        return;
    const bool nonVolatile = (status_[0] & kWel) != 0;
    if (!nonVolatile && !volatileWriteEnable_)
        return;
    status_[0] &= static_cast<uint8_t>(~kWel);
    volatileWriteEnable_ = false;
    if ((status_[0] & kSrp) && wpLow_)
        return; // the hardware lock: the write is ignored
    for (size_t i = 0; i < count; ++i) {
        const size_t index = firstRegister + i;
        const uint8_t writable = index == 0 ? 0xFC : index == 1 ? 0xFF : 0xFE;
        status_[index] =
            static_cast<uint8_t>((status_[index] & ~writable) | (command_[1 + i] & writable));
    }
    if (nonVolatile)
        startBusy(config_.times.statusWriteNs);
}

void SpiNorChip::erase(uint32_t address, uint32_t size, uint64_t ns) {
    const uint32_t begin = address / size * size;
    if (begin >= config_.capacity || isProtected(begin, begin + size))
        return;
    std::fill_n(memory_.begin() + begin, std::min(size, config_.capacity - begin), 0xFF);
    startBusy(ns);
}

void SpiNorChip::finishCommand() {
    const uint8_t opcode = command_[0];
    const size_t bytes = bytes_;
    const SpiNorTimes& times = config_.times;
    switch (opcode) {
    case 0x06:
        if (bytes == 1)
            status_[0] |= kWel;
        return;
    case 0x04:
        if (bytes == 1)
            status_[0] &= static_cast<uint8_t>(~kWel);
        return;
    case 0x50:
        if (bytes == 1)
            volatileWriteEnable_ = true;
        return;
    case 0x01:
        return writeStatus(0);
    case 0x31:
        return writeStatus(1);
    case 0x11:
        return writeStatus(2);
    case 0xB7:
    case 0xE9:
        if (bytes == 1)
            status_[2] =
                static_cast<uint8_t>(opcode == 0xB7 ? (status_[2] | kAds) : (status_[2] & ~kAds));
        return;
    default:
        break;
    }
    // Program and erase: they need the write enable latch and always clear it.
    const bool isErase = opcode == 0x20 || opcode == 0x21 || opcode == 0x52 || opcode == 0xD8 ||
                         opcode == 0xDC || opcode == 0x60 || opcode == 0xC7;
    const bool isProgram = opcode == 0x02 || opcode == 0x12;
    if (!isErase && !isProgram)
        return;
    const bool enabled = (status_[0] & kWel) != 0;
    const uint32_t length = addressLength(opcode);
    const bool wellFormed = opcode == 0x60 || opcode == 0xC7 ? bytes == 1
                            : isErase                        ? bytes == 1 + length
                                                             : bytes > 1 + length;
    if (!enabled || !wellFormed)
        return;
    status_[0] &= static_cast<uint8_t>(~kWel);
    const uint32_t address = opcode == 0x60 || opcode == 0xC7 ? 0 : addressAt(1, length);
    if (config_.capacity == 0)
        return;
    switch (opcode) {
    case 0x60:
    case 0xC7:
        if (!isProtected(0, config_.capacity)) {
            std::fill(memory_.begin(), memory_.end(), 0xFF);
            startBusy(times.chipNs);
        }
        return;
    case 0x20:
    case 0x21:
        return erase(address, 4096, times.sector4kNs);
    case 0x52:
        return erase(address, 32768, times.block32kNs);
    case 0xD8:
    case 0xDC:
        return erase(address, 65536, times.block64kNs);
    default:
        break;
    }
    // Page program: the data wraps inside the page; of more than a page the last counts.
    const uint32_t pageSize = config_.pageSize;
    const uint32_t page = address % config_.capacity / pageSize * pageSize;
    if (isProtected(page, page + pageSize))
        return;
    for (uint32_t i = 0; i < pageSize; ++i)
        memory_[page + i] &= pageBuffer_[i];
    startBusy(times.pageProgramNs);
}

} // namespace sim
