#include "buffer/HexEditor.h"

#include <algorithm>

namespace {
int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint32_t linesOnScreen(const HexViewModel& view) {
    return std::max<uint32_t>(view.rowCount, 1);
}
} // namespace

uint32_t HexEditor::editableBytes() const {
    if (!buffer_.allocated() || view_.rowCount == 0)
        return 0;
    const uint64_t reachableRows =
        std::min<uint64_t>(HexViewModel::rowsFor(buffer_.length()),
                           static_cast<uint64_t>(view_.maxTopRow()) + view_.rowCount);
    return static_cast<uint32_t>(reachableRows * kHexBytesPerLine);
}

bool HexEditor::place(uint32_t offset, CaretColumn column) {
    if (offset >= editableBytes())
        return false;
    caret_ = Caret{offset, column};
    lowDigitJoins_ = false;
    return true;
}

void HexEditor::endEdit() {
    caret_.reset();
    lowDigitJoins_ = false;
}

void HexEditor::switchColumn() {
    if (!caret_)
        return;
    caret_->column = caret_->column == CaretColumn::Hex ? CaretColumn::Ascii : CaretColumn::Hex;
    caret_->lowDigit = false;
    lowDigitJoins_ = false;
}

void HexEditor::moveTo(uint64_t offset) {
    const uint32_t limit = editableBytes();
    if (limit == 0) {
        endEdit();
        return;
    }
    caret_->offset = static_cast<uint32_t>(std::min<uint64_t>(offset, limit - 1));
    caret_->lowDigit = false;
    lowDigitJoins_ = false;
}

bool HexEditor::move(CaretMove move) {
    if (!caret_)
        return false;
    const int64_t at = caret_->offset;
    const int64_t last = static_cast<int64_t>(editableBytes()) - 1;
    const int64_t page = static_cast<int64_t>(linesOnScreen(view_)) * kHexBytesPerLine;
    const int64_t column = at % kHexBytesPerLine;
    int64_t to = at;
    switch (move) {
    case CaretMove::Left:
        to = at - 1;
        break;
    case CaretMove::Right:
        to = at + 1;
        break;
    case CaretMove::Up:
        to = at - kHexBytesPerLine;
        break;
    case CaretMove::Down:
        to = at + kHexBytesPerLine;
        break;
    // A page beyond either end lands on the same column of the first or last line.
    case CaretMove::PageUp:
        to = at - page >= 0 ? at - page : column;
        break;
    case CaretMove::PageDown:
        to = at + page <= last ? at + page : last - (last % kHexBytesPerLine) + column;
        break;
    case CaretMove::LineStart:
        to = at - column;
        break;
    case CaretMove::LineEnd:
        to = at - column + kHexBytesPerLine - 1;
        break;
    case CaretMove::First:
        to = 0;
        break;
    case CaretMove::Last:
        to = last;
        break;
    }
    // Single steps past either end stay where they are.
    if (to < 0 || to > last)
        to = at;
    moveTo(static_cast<uint64_t>(to));
    return true;
}

bool HexEditor::typeHexDigit(char digit) {
    const int value = hexDigitValue(digit);
    if (!caret_ || caret_->column != CaretColumn::Hex || value < 0 ||
        caret_->offset >= editableBytes())
        return false;
    const uint32_t at = caret_->offset;
    uint8_t& byte = buffer_.store()[at];
    if (!caret_->lowDigit) {
        lowDigitJoins_ = history_.record(
            buffer_, at, 1, [&] { byte = static_cast<uint8_t>((value << 4) | (byte & 0x0F)); });
        caret_->lowDigit = true;
        return true;
    }
    auto setLow = [&] { byte = static_cast<uint8_t>((byte & 0xF0) | value); };
    if (!lowDigitJoins_ || !history_.amendNewest(buffer_, at, 1, setLow))
        history_.record(buffer_, at, 1, setLow);
    if (static_cast<uint64_t>(at) + 1 < editableBytes())
        moveTo(static_cast<uint64_t>(at) + 1);
    else
        moveTo(at);
    return true;
}

bool HexEditor::typeCharacter(char32_t character) {
    if (!caret_ || caret_->column != CaretColumn::Ascii || character < 0x20 || character > 0x7E ||
        caret_->offset >= editableBytes())
        return false;
    const uint32_t at = caret_->offset;
    history_.record(buffer_, at, 1, [&] { buffer_.store()[at] = static_cast<uint8_t>(character); });
    moveTo(static_cast<uint64_t>(at) + 1 < editableBytes() ? at + 1 : at);
    return true;
}

std::optional<ByteRange> HexEditor::undo() {
    return afterHistory(history_.undo(buffer_));
}

std::optional<ByteRange> HexEditor::redo() {
    return afterHistory(history_.redo(buffer_));
}

std::optional<ByteRange> HexEditor::afterHistory(std::optional<ByteRange> changed) {
    lowDigitJoins_ = false;
    if (changed && caret_ && changed->offset < editableBytes()) {
        caret_->offset = changed->offset;
        caret_->lowDigit = false;
    }
    return changed;
}

int64_t HexEditor::revealRows(uint32_t offset) const {
    const int64_t row = offset / kHexBytesPerLine;
    const int64_t top = view_.topRow;
    const int64_t lines = linesOnScreen(view_);
    if (row < top)
        return row - top;
    if (row >= top + lines)
        return row - (top + lines - 1);
    return 0;
}
