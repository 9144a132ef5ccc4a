// Editing bytes in the hex view, free of any widget: the caret (which byte, hex or
// character column, which digit of the byte), its moves, typing over bytes and
// Undo/Redo through the history. The widget turns clicks and keys into these calls,
// then scrolls by revealRows() and refreshes.
//
// The caret reaches only the bytes the view can show, which lie within the buffer's
// length: whole 16-byte rows, no further than the last line the view can scroll to.
// While the caret is shown an edit is under way.
#pragma once

#include <cstdint>
#include <optional>

#include "buffer/DataBuffer.h"
#include "buffer/EditHistory.h"
#include "buffer/HexViewModel.h"

enum class CaretColumn { Hex, Ascii };

enum class CaretMove {
    Left,
    Right,
    Up,
    Down,
    PageUp,   // one screen of lines
    PageDown, //
    LineStart,
    LineEnd,
    First, // first byte of the buffer
    Last,  // last byte the caret can reach
};

struct Caret {
    uint32_t offset = 0;
    CaretColumn column = CaretColumn::Hex;
    bool lowDigit = false; // hex column: the next digit typed is the byte's low one
    bool operator==(const Caret&) const = default;
};

class HexEditor {
  public:
    HexEditor(DataBuffer& buffer, const HexViewModel& view, EditHistory& history)
        : buffer_(buffer), view_(view), history_(history) {}

    // Bytes from offset 0 that the caret can reach; 0 while the view shows no data line.
    uint32_t editableBytes() const;

    const std::optional<Caret>& caret() const { return caret_; }
    bool editing() const { return caret_.has_value(); }
    // Shows the caret on `offset`; false (and nothing changed) when it cannot reach it.
    bool place(uint32_t offset, CaretColumn column);
    // Ends the edit: the caret goes away; the bytes typed stay.
    void endEdit();
    // Hex column <-> character column, same byte.
    void switchColumn();
    // False without a caret.
    bool move(CaretMove move);

    // Typing at the caret: a hex digit (hex column) or a printable ASCII character
    // (character column) overwrites the byte and moves on. Returns false, changing
    // nothing, without a caret, in the other column or for any other character.
    bool typeHexDigit(char digit);
    bool typeCharacter(char32_t character);

    // Undo and Redo; the caret, when shown, goes to the first byte changed when it can
    // reach it. The range changed, or nothing.
    std::optional<ByteRange> undo();
    std::optional<ByteRange> redo();

    // Rows the view must scroll (negative: towards offset 0) to show `offset`'s row.
    int64_t revealRows(uint32_t offset) const;
    // The same for the caret; 0 without one.
    int64_t revealCaret() const { return caret_ ? revealRows(caret_->offset) : 0; }

  private:
    // Puts the caret after an edit or a move, the digit reset.
    void moveTo(uint64_t offset);
    std::optional<ByteRange> afterHistory(std::optional<ByteRange> changed);

    DataBuffer& buffer_;
    const HexViewModel& view_;
    EditHistory& history_;
    std::optional<Caret> caret_;
    // The high digit just typed began an undo step that the low digit joins.
    bool lowDigitJoins_ = false;
};
