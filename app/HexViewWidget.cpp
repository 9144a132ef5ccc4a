#include "app/HexViewWidget.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

namespace {

constexpr int kLineHeight = 13;
constexpr int kHeaderHeight = 18;
constexpr int kListHeight = 440;

// Control codes are kept in the line texts as the buffer holds them; on screen each is
// drawn as a middle dot, one cell wide, so that a line feed or tab cannot break the
// line and every fixed-width font can draw it.
QString displayAscii(const std::string& text) {
    QString shown(static_cast<qsizetype>(text.size()), QChar(' '));
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        shown[static_cast<qsizetype>(i)] = (c < 0x20 || c == 0x7F) ? QChar(0x00B7) : QChar(c);
    }
    return shown;
}

QFont hexFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(10);
    return font;
}

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

void HexLinesModel::ensureLines(int count) {
    count = std::min<int>(count, kHexViewLines);
    if (count <= count_)
        return;
    beginInsertRows(QModelIndex(), count_, count - 1);
    for (int i = count_; i < count; ++i)
        lines_[static_cast<size_t>(i)] = HexLine{};
    count_ = count;
    endInsertRows();
}

void HexLinesModel::setLines(const std::array<HexLine, kHexViewLines>& lines) {
    if (count_ == 0)
        return;
    for (int i = 0; i < count_; ++i)
        lines_[static_cast<size_t>(i)] = lines[static_cast<size_t>(i)];
    emit dataChanged(index(0, 0), index(count_ - 1, 2), {Qt::DisplayRole});
}

HexViewWidget::HexViewWidget(HexViewModel& model, const Texts& texts, QWidget* parent)
    : QWidget(parent), model_(model), list_(new QTableView(this)),
      scrollBar_(new QScrollBar(Qt::Vertical, this)), lines_(new HexLinesModel(texts, this)) {
    list_->setModel(lines_);
    list_->setFont(hexFont());
    list_->setShowGrid(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    // Display only: no current cell, no focus frame.
    list_->setFocusPolicy(Qt::NoFocus);
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
    header->setStretchLastSection(false);
    for (int column = 0; column < 3; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, kColumnWidths[column]);
    }
    list_->setGeometry(0, 0, kListWidth, kListHeight);
    // The scroll bar overlaps the list's right border, as the two controls always did.
    scrollBar_->setGeometry(kListWidth - 1, 0, kScrollBarWidth, kListHeight);
    scrollBar_->setRange(0, 0);
    scrollBar_->setSingleStep(1);
    scrollBar_->setPageStep(1);
    setFixedSize(kListWidth - 1 + kScrollBarWidth, kListHeight);

    connect(scrollBar_, &QAbstractSlider::actionTriggered, this, &HexViewWidget::onScrollAction);
    connect(scrollBar_, &QAbstractSlider::sliderReleased, this, [this] {
        onVScroll(SB_THUMBPOSITION, static_cast<uint32_t>(scrollBar_->sliderPosition()));
    });
    list_->viewport()->installEventFilter(this);
    scrollBar_->installEventFilter(this);
}

void HexViewWidget::setUpHexView(uint32_t capacity) {
    const uint32_t scrollMax = model_.setUp(capacity);
    lines_->ensureLines(model_.rowCount);
    scrollBar_->setRange(0, static_cast<int>(scrollMax));
    scrollBar_->setValue(0);
}

void HexViewWidget::refreshHexView() {
    if (!model_.refresh(scratch_))
        return;
    lines_->setLines(scratch_);
}

void HexViewWidget::resetToTop() {
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
