// Undo and Redo over the changes the user makes to the buffer: bytes typed in the hex
// view, Fill, Exchange, file loads and chip reads. Each step keeps one copy of the bytes
// of its range, the ones the buffer does not hold at the moment; undo and redo swap
// them with the buffer. So a step costs its range once, and the history drops its
// oldest steps when it holds more than its limit.
//
// A step is only swapped back onto the bytes it left behind: each remembers the CRC of
// what its range holds after it and after its undo. When the buffer was changed behind
// the history's back, undo and redo find another CRC, forget every step and change
// nothing, rather than mixing old bytes into new ones.
//
// The history also knows whether the buffer holds unsaved changes: markClean() notes the
// state the buffer is in after an Open, Save, Read or Write, and modified() says whether
// undo, redo or new steps have left it. Undoing back to the noted state clears it.
//
// One thread (the window's). No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "buffer/DataBuffer.h"

struct ByteRange {
    uint32_t offset = 0;
    uint32_t count = 0;
    bool operator==(const ByteRange&) const = default;
};

class EditHistory {
  public:
    static constexpr size_t kDefaultLimitBytes = size_t{64} << 20; // four 16 MiB loads
    static constexpr size_t kStepOverheadBytes = 64;               // counted per step

    explicit EditHistory(size_t limitBytes = kDefaultLimitBytes) : limitBytes_(limitBytes) {}

    // Opens a step before `count` bytes from `offset` (cut to the store) change: keeps
    // their present content. Steps nest (a Fill chosen while a Read runs); every begin
    // has its end, innermost first.
    void begin(const DataBuffer& buffer, uint64_t offset, uint64_t count);
    // Closes the innermost open step after its change. A step whose bytes did not change
    // is dropped; otherwise it becomes the newest undo step and the redo steps are
    // forgotten. Returns true when the step was kept.
    bool end(const DataBuffer& buffer);
    // begin, change(), end.
    template <typename Change>
    bool record(DataBuffer& buffer, uint64_t offset, uint64_t count, Change&& change) {
        begin(buffer, offset, count);
        change();
        return end(buffer);
    }
    // Runs a further change of exactly the newest step's range as part of that step
    // (the second digit typed into one byte). False, and nothing run, when the newest
    // step is another range, a redo step exists or a step is open.
    template <typename Change>
    bool amendNewest(DataBuffer& buffer, uint64_t offset, uint64_t count, Change&& change) {
        if (!canAmend(buffer, offset, count))
            return false;
        change();
        amended(buffer);
        return true;
    }

    bool canUndo() const { return open_.empty() && !undo_.empty(); }
    bool canRedo() const { return open_.empty() && !redo_.empty(); }
    // Each returns the range it changed, or nothing when there was no step to take or
    // the buffer no longer held what the step left (the history is then cleared).
    std::optional<ByteRange> undo(DataBuffer& buffer);
    std::optional<ByteRange> redo(DataBuffer& buffer);

    void clear();

    // The buffer as it is now matches its file or chip: no unsaved changes.
    void markClean() { cleanState_ = state(); }
    // Whether the buffer has left the state markClean() noted. A state the steps can no
    // longer reach (dropped for the limit, or bytes changed behind the history's back)
    // counts as modified.
    bool modified() const { return state() != cleanState_; }
    // Names the buffer's present state: equal values, equal bytes (as far as the history
    // knows). Changes with every kept step, undo and redo.
    uint64_t state() const { return undo_.empty() ? baseState_ : undo_.back().state; }
    // Memory the closed steps hold, overhead included.
    size_t heldBytes() const { return heldBytes_; }

  private:
    struct Step {
        ByteRange range;
        std::vector<uint8_t> bytes; // what the range does not hold now
        uint32_t crcNow = 0;        // CRC of what the range holds now
        uint32_t crcKept = 0;       // CRC of `bytes`
        uint64_t state = 0;         // the buffer's state once this step is applied
    };

    bool canAmend(const DataBuffer& buffer, uint64_t offset, uint64_t count) const;
    void amended(const DataBuffer& buffer);
    std::optional<ByteRange> swapBack(DataBuffer& buffer, std::vector<Step>& from,
                                      std::vector<Step>& to);
    static size_t cost(const Step& step) { return step.bytes.size() + kStepOverheadBytes; }

    size_t limitBytes_;
    size_t heldBytes_ = 0;
    std::vector<Step> undo_; // oldest first
    std::vector<Step> redo_; // next redo last
    std::vector<Step> open_; // innermost last
    uint64_t nextState_ = 1;
    uint64_t baseState_ = 0;  // the state beneath the oldest undo step
    uint64_t cleanState_ = 0; // the state markClean() noted
};
