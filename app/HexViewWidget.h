// The hex view on screen: a report-style list of the lines that fit (32 at the
// window's starting size; address, 16 bytes in hex, the same bytes as characters) with
// its own vertical scroll bar beside it. The list never holds more than the lines on
// screen; scrolling rewrites them from
// the buffer through HexViewModel, which owns all the arithmetic.
//
// With an editor the bytes can be changed: a click on a byte (hex or character column)
// shows the caret there, keys move it and type over bytes (HexEditor decides), and
// the view scrolls with the caret as the scroll bar would. Without a caret the list
// takes no keys, so Enter and Esc reach the window.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "buffer/EditHistory.h"
#include "buffer/HexEditor.h"
#include "buffer/HexViewModel.h"
#include "res/Texts.h"

class QKeyEvent;
class QMouseEvent;
class QScrollBar;
class QTableView;

// The lines the list shows. Texts are kept as the model built them and turned into
// display strings only when the list paints.
class HexLinesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    HexLinesModel(const Texts& texts, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Makes sure at least `count` lines exist (never more than `screen`, the lines on
    // screen, and none past them). Lines that an earlier, larger chip needed stay, and
    // the refresh blanks them.
    void ensureLines(int count, int screen);
    // Takes the texts of every existing line.
    void setLines(const std::vector<HexLine>& lines);
    const HexLine& line(int i) const { return lines_[static_cast<size_t>(i)]; }

  private:
    const Texts& texts_;
    int count_ = 0;
    std::vector<HexLine> lines_;
};

class HexViewWidget : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kListWidth = 478;
    static constexpr int kScrollBarWidth = 15;
    static constexpr int kColumnWidths[3] = {60, 300, 110};

    HexViewWidget(HexViewModel& model, const Texts& texts, QWidget* parent = nullptr);

    QTableView* list() const { return list_; }
    QScrollBar* scrollBar() const { return scrollBar_; }
    HexLinesModel* lines() const { return lines_; }

    // Prepares the list and the scroll bar for a chip of `capacity` bytes: data lines
    // min(capacity / 16, lines on screen), scroll range 0 ... scrollMax(), position 0.
    void setUpHexView(uint32_t capacity);
    // Rewrites the lines from the buffer at topRow (clamped first). Does nothing
    // without a store.
    void refreshHexView();
    // Scroll request with the platform's codes (SB_LINEUP ... SB_ENDSCROLL).
    void onVScroll(int code, uint32_t position);
    // Mouse wheel: notches away from the user scroll towards offset 0.
    void onWheel(int notches);
    // topRow 0, scroll range 0 ... scrollMax() for the current length, position 0.
    // The caller refreshes.
    void resetToTop();

    // --- Editing --------------------------------------------------------------------
    // The editor the caret belongs to; null keeps the view display only.
    void setEditor(HexEditor* editor) { editor_ = editor; }
    bool editing() const { return editor_ && editor_->editing(); }
    void endEdit();
    // Scrolls (through the scroll bar's arithmetic) until `offset`'s line shows: by the
    // fewest lines, or with that line on top. Refreshes.
    void reveal(uint32_t offset, bool onTop = false);
    // The byte under a point of the list's viewport, with its column; nothing outside
    // the data lines' hex and character columns.
    std::optional<Caret> caretAt(QPoint point) const;
    // The caret's characters in a cell: first character, count, the digit typed next
    // (-1: none); count 0 when the cell holds no caret.
    struct CaretCell {
        int first = 0;
        int count = 0;
        int digit = -1;
        bool active = false; // the column that takes typing
    };
    CaretCell caretCell(int line, int column) const;

    // The bytes of the last Find, marked in both columns until the caret leaves the
    // match's first byte or any of them changes; none: no mark.
    void setMatch(std::optional<ByteRange> match);
    const std::optional<ByteRange>& match() const { return match_; }
    // The match's characters in a cell: first character and count (0: none there).
    std::pair<int, int> matchCell(int line, int column) const;

  signals:
    // Typing changed the buffer.
    void bytesEdited();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A taller view shows more lines; the scroll range follows, topRow is kept.
    void resizeEvent(QResizeEvent* event) override;

  private:
    void onScrollAction(int action);
    void apply(const ScrollResult& result);
    bool onKey(QKeyEvent* event);
    bool onClick(QMouseEvent* event);
    // After the caret moved or a byte changed: scroll to the caret, rewrite the lines.
    void caretChanged();
    void repaintCaretLines();

    HexEditor* editor_ = nullptr;
    int caretLine_ = -1; // line of the view that shows the caret, -1: none
    std::optional<ByteRange> match_;
    std::vector<uint8_t> matchBytes_; // what the marked bytes held when found

    HexViewModel& model_;
    QTableView* list_;
    QScrollBar* scrollBar_;
    HexLinesModel* lines_;
    int wheelRemainder_ = 0;
    std::vector<HexLine> scratch_;
};
