#include "buffer/EditHistory.h"

#include <algorithm>
#include <zlib.h>

namespace {
uint32_t crcOf(std::span<const uint8_t> bytes) {
    return static_cast<uint32_t>(crc32_z(crc32_z(0, Z_NULL, 0), bytes.data(), bytes.size()));
}

std::span<const uint8_t> rangeOf(const DataBuffer& buffer, const ByteRange& range) {
    return buffer.range(range.offset, range.count);
}
} // namespace

void EditHistory::begin(const DataBuffer& buffer, uint64_t offset, uint64_t count) {
    Step step;
    const std::span<const uint8_t> bytes = buffer.range(offset, count);
    step.range = {static_cast<uint32_t>(std::min<uint64_t>(offset, buffer.size())),
                  static_cast<uint32_t>(bytes.size())};
    step.bytes.assign(bytes.begin(), bytes.end());
    open_.push_back(std::move(step));
}

bool EditHistory::end(const DataBuffer& buffer) {
    if (open_.empty())
        return false;
    Step step = std::move(open_.back());
    open_.pop_back();
    const std::span<const uint8_t> now = rangeOf(buffer, step.range);
    if (now.size() != step.bytes.size() || std::equal(now.begin(), now.end(), step.bytes.begin()))
        return false;
    step.crcNow = crcOf(now);
    step.crcKept = crcOf(step.bytes);
    step.state = nextState_++;
    for (const Step& forgotten : redo_)
        heldBytes_ -= cost(forgotten);
    redo_.clear();
    heldBytes_ += cost(step);
    undo_.push_back(std::move(step));
    // The oldest steps go first; the newest stays whatever its size.
    size_t dropped = 0;
    while (heldBytes_ > limitBytes_ && dropped + 1 < undo_.size())
        heldBytes_ -= cost(undo_[dropped++]);
    if (dropped > 0)
        baseState_ = undo_[dropped - 1].state;
    undo_.erase(undo_.begin(), undo_.begin() + static_cast<std::ptrdiff_t>(dropped));
    return true;
}

bool EditHistory::canAmend(const DataBuffer& buffer, uint64_t offset, uint64_t count) const {
    if (!open_.empty() || !redo_.empty() || undo_.empty())
        return false;
    const Step& newest = undo_.back();
    // A step that ends in the clean state stays as it is, so that Undo comes back to it.
    return newest.state != cleanState_ && newest.range.offset == offset &&
           newest.range.count == count && crcOf(rangeOf(buffer, newest.range)) == newest.crcNow;
}

void EditHistory::amended(const DataBuffer& buffer) {
    Step& newest = undo_.back();
    newest.crcNow = crcOf(rangeOf(buffer, newest.range));
}

std::optional<ByteRange> EditHistory::undo(DataBuffer& buffer) {
    return canUndo() ? swapBack(buffer, undo_, redo_) : std::nullopt;
}

std::optional<ByteRange> EditHistory::redo(DataBuffer& buffer) {
    return canRedo() ? swapBack(buffer, redo_, undo_) : std::nullopt;
}

std::optional<ByteRange> EditHistory::swapBack(DataBuffer& buffer, std::vector<Step>& from,
                                               std::vector<Step>& to) {
    Step step = std::move(from.back());
    from.pop_back();
    const std::span<uint8_t> now = buffer.range(step.range.offset, step.range.count);
    if (now.size() != step.bytes.size() || crcOf(now) != step.crcNow) {
        clear();
        return std::nullopt;
    }
    std::swap_ranges(now.begin(), now.end(), step.bytes.begin());
    std::swap(step.crcNow, step.crcKept);
    const ByteRange range = step.range;
    to.push_back(std::move(step));
    return range;
}

void EditHistory::clear() {
    // What the buffer held before is out of reach now.
    baseState_ = nextState_++;
    undo_.clear();
    redo_.clear();
    heldBytes_ = 0;
}
