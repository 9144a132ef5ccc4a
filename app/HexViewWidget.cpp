#include "app/HexViewWidget.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>

namespace {

constexpr int kLineHeight = 13;
constexpr int kHeaderHeight = 18;
constexpr int kListHeight = 440;

// Control codes are kept in the line texts as the buffer holds them; on screen each is
// drawn as '.', the same placeholder the texts already hold for 00, 01 and 80 to FF, so
// that every byte without a printable character looks alike and a line feed or tab
// cannot break the line.
constexpr QChar kUnprintable = QLatin1Char('.');

QString displayAscii(const std::string& text) {
    QString shown(static_cast<qsizetype>(text.size()), QChar(' '));
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        shown[static_cast<qsizetype>(i)] = (c < 0x20 || c >= 0x7F) ? kUnprintable : QChar(c);
    }
    return shown;
}

// The found bytes: the marker colour of find bars, readable under black text.
const QColor kMatchColour(0xFF, 0xE0, 0x70);

QFont hexFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(10);
    return font;
}

// Where a line's text sits in its cell: centred, every character one width of the
// monospaced font. The delegate draws there and a click is measured from there.
struct TextPlace {
    int left;
    int charWidth;
};

TextPlace placeText(const QRect& cell, qsizetype length, const QFontMetrics& metrics) {
    const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    return {cell.x() + (cell.width() - charWidth * static_cast<int>(length)) / 2, charWidth};
}

// Draws the three columns itself, so that the caret lies over exactly the characters
// of its byte, and with the plain text path, so that a whole screen repaints quickly.
// The view has filled the background and drawn the grid already.
class HexCellDelegate : public QStyledItemDelegate {
  public:
    HexCellDelegate(const HexViewWidget& view, QObject* parent)
        : QStyledItemDelegate(parent), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const QFontMetrics metrics(option.font);
        const QRect& cell = option.rect;
        const TextPlace place = placeText(cell, text.size(), metrics);
        const int baseline = cell.y() + (cell.height() - metrics.height()) / 2 + metrics.ascent();
        const auto across = [&](int first, int count) {
            return QRect(place.left + first * place.charWidth, cell.y() + 1,
                         count * place.charWidth, cell.height() - 2);
        };
        const HexViewWidget::CaretCell caret = view_.caretCell(index.row(), index.column());
        const QColor highlight = option.palette.color(QPalette::Highlight);
        const QColor onHighlight = option.palette.color(QPalette::HighlightedText);
        const QRect caretRect = across(caret.first, caret.count);

        painter->save();
        painter->setFont(option.font);
        // The bytes of the last Find, in both columns, under the caret.
        if (const auto [first, count] = view_.matchCell(index.row(), index.column()); count > 0)
            painter->fillRect(across(first, count), kMatchColour);
        if (caret.count > 0 && caret.active)
            painter->fillRect(caretRect, highlight);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(QPoint(place.left, baseline), text);
        if (caret.count > 0 && caret.active) {
            painter->setPen(onHighlight);
            painter->drawText(QPoint(caretRect.x(), baseline), text.mid(caret.first, caret.count));
            // The digit the next key types is underlined.
            if (caret.digit >= 0) {
                const QRect digit = across(caret.digit, 1);
                painter->fillRect(QRect(digit.x(), caretRect.bottom() - 1, digit.width(), 2),
                                  onHighlight);
            }
        } else if (caret.count > 0) {
            // The same byte in the other column is framed.
            painter->setPen(highlight);
            painter->drawRect(caretRect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

  private:
    const HexViewWidget& view_;
};

} // namespace

HexLinesModel::HexLinesModel(const Texts& texts, QObject* parent)
    : QAbstractTableModel(parent), texts_(texts) {}

int HexLinesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

int HexLinesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant HexLinesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count_)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return {};
    const HexLine& line = lines_[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case 0:
        return QString::fromLatin1(line.address.data(),
                                   static_cast<qsizetype>(line.address.size()));
    case 1:
        return QString::fromLatin1(line.hex.data(), static_cast<qsizetype>(line.hex.size()));
    default:
        return displayAscii(line.ascii);
    }
}

QVariant HexLinesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return {};
    const char* texts[3] = {texts_.colAddress, texts_.colHex, texts_.colAscii};
    if (section < 0 || section > 2)
        return {};
    return QString::fromUtf8(texts[section]);
}

void HexLinesModel::ensureLines(int count, int screen) {
    if (count_ > screen) {
        // A smaller window: the lines below its edge go.
        beginRemoveRows(QModelIndex(), screen, count_ - 1);
        count_ = screen;
        lines_.resize(static_cast<size_t>(count_));
        endRemoveRows();
    }
    count = std::min(count, screen);
    if (count <= count_)
        return;
    beginInsertRows(QModelIndex(), count_, count - 1);
    lines_.resize(static_cast<size_t>(count));
    count_ = count;
    endInsertRows();
}

void HexLinesModel::setLines(const std::vector<HexLine>& lines) {
    // Only the lines whose texts changed are repainted: one typed byte, one line.
    for (int i = 0; i < count_ && static_cast<size_t>(i) < lines.size(); ++i) {
        const auto at = static_cast<size_t>(i);
        if (lines_[at] == lines[at])
            continue;
        lines_[at] = lines[at];
        emit dataChanged(index(i, 0), index(i, 2), {Qt::DisplayRole});
    }
}

HexViewWidget::HexViewWidget(HexViewModel& model, const Texts& texts, QWidget* parent)
    : QWidget(parent), model_(model), list_(new QTableView(this)),
      scrollBar_(new QScrollBar(Qt::Vertical, this)), lines_(new HexLinesModel(texts, this)) {
    list_->setModel(lines_);
    list_->setItemDelegate(new HexCellDelegate(*this, list_));
    list_->setFont(hexFont());
    list_->setShowGrid(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    // No current cell and no focus frame; the focus comes with a click on a byte.
    list_->setFocusPolicy(Qt::ClickFocus);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideNone);
    list_->setCornerButtonEnabled(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setMinimumSectionSize(kLineHeight);
    list_->verticalHeader()->setDefaultSectionSize(kLineHeight);
    QHeaderView* header = list_->horizontalHeader();
    header->setFont(hexFont());
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setFixedHeight(kHeaderHeight);
    header->setDefaultAlignment(Qt::AlignCenter);
    for (int column = 0; column < 3; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, kColumnWidths[column]);
    }
    header->setStretchLastSection(false);
    scrollBar_->setRange(0, 0);
    scrollBar_->setSingleStep(1);
    scrollBar_->setPageStep(1);
    // The list and the bar are placed by resizeEvent; this is the starting and smallest
    // size.
    setMinimumSize(kListWidth - 1 + kScrollBarWidth, kListHeight);
    resize(minimumSize());

    connect(scrollBar_, &QAbstractSlider::actionTriggered, this, &HexViewWidget::onScrollAction);
    connect(scrollBar_, &QAbstractSlider::sliderReleased, this, [this] {
        onVScroll(SB_THUMBPOSITION, static_cast<uint32_t>(scrollBar_->sliderPosition()));
    });
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    scrollBar_->installEventFilter(this);
}

void HexViewWidget::resizeEvent(QResizeEvent*) {
    const int listWidth = width() + 1 - kScrollBarWidth;
    list_->setGeometry(0, 0, listWidth, height());
    // The scroll bar overlaps the list's right border, as the two controls always did.
    scrollBar_->setGeometry(listWidth - 1, 0, kScrollBarWidth, height());
    const int frame = list_->frameWidth();
    const int fits = (height() - 2 * frame - kHeaderHeight) / kLineHeight;
    if (!model_.setViewLines(static_cast<uint32_t>(std::max(fits, 0))))
        return;
    lines_->ensureLines(model_.rowCount, static_cast<int>(model_.viewLines()));
    // The rows on screen stay where they are; at the end a taller view shows more of
    // those before them.
    model_.clampTopRow();
    scrollBar_->setRange(0, static_cast<int>(model_.scrollMax()));
    scrollBar_->setValue(static_cast<int>(model_.scrollPosition()));
    refreshHexView();
    repaintCaretLines();
}

void HexViewWidget::setUpHexView(uint32_t capacity) {
    const uint32_t scrollMax = model_.setUp(capacity);
    lines_->ensureLines(model_.rowCount, static_cast<int>(model_.viewLines()));
    scrollBar_->setRange(0, static_cast<int>(scrollMax));
    scrollBar_->setValue(0);
}

void HexViewWidget::refreshHexView() {
    // After Fill, Exchange, Undo or a Read the marked bytes may be found there no more.
    if (match_ &&
        !std::ranges::equal(model_.buffer().range(match_->offset, match_->count), matchBytes_))
        setMatch(std::nullopt);
    if (!model_.refresh(scratch_))
        return;
    lines_->setLines(scratch_);
}

void HexViewWidget::resetToTop() {
    setMatch(std::nullopt); // another chip or file
    model_.topRow = 0;
    scrollBar_->setRange(0, static_cast<int>(model_.scrollMax()));
    scrollBar_->setValue(0);
}

void HexViewWidget::onVScroll(int code, uint32_t position) {
    apply(model_.onVScroll(code, position));
}

void HexViewWidget::onWheel(int notches) {
    apply(model_.onWheel(notches));
}

void HexViewWidget::apply(const ScrollResult& result) {
    if (!result.refresh)
        return;
    // setValue, not setSliderPosition: the latter would come back as a thumb move.
    scrollBar_->setValue(static_cast<int>(result.position));
    refreshHexView();
}

void HexViewWidget::onScrollAction(int action) {
    // Called before the slider takes the new position: the model decides where it
    // goes, and a request that changes nothing puts the slider back.
    const int before = scrollBar_->value();
    int code;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = SB_LINEUP;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = SB_LINEDOWN;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = SB_PAGEUP;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = SB_PAGEDOWN;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = SB_TOP;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = SB_BOTTOM;
        break;
    case QAbstractSlider::SliderMove:
        code = SB_THUMBTRACK;
        break;
    default:
        scrollBar_->setSliderPosition(before);
        return;
    }
    const ScrollResult result =
        model_.onVScroll(code, static_cast<uint32_t>(scrollBar_->sliderPosition()));
    if (!result.refresh) {
        scrollBar_->setSliderPosition(before);
        return;
    }
    scrollBar_->setSliderPosition(static_cast<int>(result.position));
    refreshHexView();
}

bool HexViewWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == list_)
        return onKey(static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::MouseButtonPress && watched == list_->viewport())
        return onClick(static_cast<QMouseEvent*>(event));
    if (event->type() == QEvent::Wheel && (watched == list_->viewport() || watched == scrollBar_)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        // High-resolution wheels report fractions of a notch; whole notches scroll.
        wheelRemainder_ += wheel->angleDelta().y();
        const int notches = wheelRemainder_ / QWheelEvent::DefaultDeltasPerStep;
        wheelRemainder_ -= notches * QWheelEvent::DefaultDeltasPerStep;
        if (notches != 0)
            onWheel(notches);
        wheel->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void HexViewWidget::endEdit() {
    if (editor_)
        editor_->endEdit();
    repaintCaretLines();
}

void HexViewWidget::repaintCaretLines() {
    // The line the caret left and the one it is on now.
    int now = -1;
    if (editor_ && editor_->caret()) {
        const int64_t line =
            static_cast<int64_t>(editor_->caret()->offset / kHexBytesPerLine) - model_.topRow;
        now = line >= 0 && line < lines_->rowCount() ? static_cast<int>(line) : -1;
    }
    for (int line : {caretLine_, now})
        if (line >= 0 && line < lines_->rowCount())
            list_->viewport()->update(list_->visualRect(lines_->index(line, 1)) |
                                      list_->visualRect(lines_->index(line, 2)));
    caretLine_ = now;
}

void HexViewWidget::reveal(uint32_t offset, bool onTop) {
    if (editor_) {
        int64_t rows = editor_->revealRows(offset);
        if (rows != 0 && onTop)
            rows = static_cast<int64_t>(offset / kHexBytesPerLine) - model_.topRow;
        const ScrollResult result = model_.scrollRows(rows);
        if (result.refresh)
            scrollBar_->setValue(static_cast<int>(result.position));
    }
    refreshHexView();
    repaintCaretLines();
}

void HexViewWidget::setMatch(std::optional<ByteRange> match) {
    if (match_ == match)
        return;
    match_ = match;
    const auto bytes =
        match ? model_.buffer().range(match->offset, match->count) : std::span<const uint8_t>();
    matchBytes_.assign(bytes.begin(), bytes.end());
    list_->viewport()->update();
}

std::pair<int, int> HexViewWidget::matchCell(int line, int column) const {
    if (!match_ || match_->count == 0 || column < 1 || column > 2 || line < 0 ||
        line >= model_.rowCount)
        return {0, 0};
    // The line's bytes [lineStart, lineStart + 16) against the match's.
    const uint64_t lineStart =
        (uint64_t{model_.topRow} + static_cast<uint64_t>(line)) * kHexBytesPerLine;
    const uint64_t begin = std::max<uint64_t>(lineStart, match_->offset);
    const uint64_t end =
        std::min<uint64_t>(lineStart + kHexBytesPerLine, uint64_t{match_->offset} + match_->count);
    if (begin >= end)
        return {0, 0};
    const int first = static_cast<int>(begin - lineStart);
    const int count = static_cast<int>(end - begin);
    // Hex: the two digits of each byte and the spaces between them.
    return column == 2 ? std::pair{first, count} : std::pair{3 * first, 3 * count - 1};
}

void HexViewWidget::caretChanged() {
    if (match_ && (!editor_ || !editor_->caret() || editor_->caret()->offset != match_->offset))
        setMatch(std::nullopt);
    if (editor_ && editor_->caret()) {
        reveal(editor_->caret()->offset);
        return;
    }
    refreshHexView();
    repaintCaretLines();
}

HexViewWidget::CaretCell HexViewWidget::caretCell(int line, int column) const {
    if (!editor_ || !editor_->caret() || column < 1 || column > 2 || line < 0 ||
        line >= model_.rowCount)
        return {};
    const Caret& caret = *editor_->caret();
    if (caret.offset / kHexBytesPerLine != static_cast<uint64_t>(model_.topRow) + line)
        return {};
    const int k = static_cast<int>(caret.offset % kHexBytesPerLine);
    const bool active = (column == 1) == (caret.column == CaretColumn::Hex);
    if (column == 2)
        return {k, 1, -1, active};
    return {3 * k, 2, active ? 3 * k + (caret.lowDigit ? 1 : 0) : -1, active};
}

std::optional<Caret> HexViewWidget::caretAt(QPoint point) const {
    const QModelIndex index = list_->indexAt(point);
    if (!index.isValid() || index.column() == 0 || index.row() >= model_.rowCount)
        return std::nullopt;
    const QString text = lines_->data(index, Qt::DisplayRole).toString();
    if (text.trimmed().isEmpty())
        return std::nullopt;
    const TextPlace place =
        placeText(list_->visualRect(index), text.size(), QFontMetrics(list_->font()));
    const int64_t character =
        std::clamp<int64_t>((point.x() - place.left) / place.charWidth, 0, text.size() - 1);
    const bool hexColumn = index.column() == 1;
    const uint32_t byte = std::min<uint32_t>(
        static_cast<uint32_t>(hexColumn ? character / 3 : character), kHexBytesPerLine - 1);
    const uint64_t offset =
        (static_cast<uint64_t>(model_.topRow) + index.row()) * kHexBytesPerLine + byte;
    // Either digit of a byte selects the byte; typing starts with its high digit.
    return Caret{static_cast<uint32_t>(offset), hexColumn ? CaretColumn::Hex : CaretColumn::Ascii};
}

bool HexViewWidget::onClick(QMouseEvent* event) {
    if (!editor_ || event->button() != Qt::LeftButton)
        return false;
    const std::optional<Caret> at = caretAt(event->position().toPoint());
    if (!at || !editor_->place(at->offset, at->column))
        return false;
    list_->setFocus(Qt::MouseFocusReason);
    caretChanged();
    return true;
}

bool HexViewWidget::onKey(QKeyEvent* event) {
    if (!editing())
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool control = modifiers & Qt::ControlModifier;
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        return false;
    std::optional<CaretMove> move;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // The edit ends; the next Enter or Esc is the window's again.
        endEdit();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        editor_->switchColumn();
        caretChanged();
        return true;
    case Qt::Key_Left:
        move = CaretMove::Left;
        break;
    case Qt::Key_Right:
        move = CaretMove::Right;
        break;
    case Qt::Key_Up:
        move = CaretMove::Up;
        break;
    case Qt::Key_Down:
        move = CaretMove::Down;
        break;
    case Qt::Key_PageUp:
        move = CaretMove::PageUp;
        break;
    case Qt::Key_PageDown:
        move = CaretMove::PageDown;
        break;
    case Qt::Key_Home:
        move = control ? CaretMove::First : CaretMove::LineStart;
        break;
    case Qt::Key_End:
        move = control ? CaretMove::Last : CaretMove::LineEnd;
        break;
    default:
        break;
    }
    if (move) {
        editor_->move(*move);
        caretChanged();
        return true;
    }
    // Shortcuts (Ctrl+Z, ...) are the window's.
    const QString text = event->text();
    if (control || text.isEmpty() || !text.at(0).isPrint())
        return false;
    const QChar typed = text.at(0);
    const bool changed = editor_->caret()->column == CaretColumn::Hex
                             ? editor_->typeHexDigit(typed.toLatin1())
                             : editor_->typeCharacter(typed.unicode());
    if (changed) {
        caretChanged();
        emit bytesEdited();
    }
    // Other printable keys do nothing while the caret is shown.
    return true;
}
