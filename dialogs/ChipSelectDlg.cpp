#include "dialogs/ChipSelectDlg.h"

#include "dialogs/ChipCellTexts.h"
#include "dialogs/ControlId.h"
#include "dialogs/FamilyFilter.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cstring>
#include <string>

namespace {

// A fixed char field's bytes up to its NUL.
std::string fieldBytes(const char (&field)[40]) {
    return std::string(field, strnlen(field, sizeof field));
}

int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

} // namespace

CChipSelectDlg::CChipSelectDlg(const ChipDatabase* database, const Texts& texts,
                               const ChipInfo* current, QWidget* parent)
    : QDialog(parent), lists_(database), manufacturers_(new QListWidget(this)),
      devices_(new QListWidget(this)), filter_(new FamilyFilter(texts, this)),
      nameFilter_(new QLineEdit(this)) {
    setWindowTitle(QString::fromUtf8(texts.selectTitle));
    setControlId(manufacturers_, IdManufacturerList);
    setControlId(devices_, IdDeviceList);
    devices_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto* buttons = new QDialogButtonBox(Qt::Vertical, this);
    QPushButton* ok =
        buttons->addButton(QString::fromUtf8(texts.okButton), QDialogButtonBox::AcceptRole);
    setControlId(ok, 1);
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QString::fromUtf8(texts.cancelButton), QDialogButtonBox::RejectRole);
    setControlId(cancel, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &CChipSelectDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CChipSelectDlg::reject);

    auto* side = new QVBoxLayout;
    side->addWidget(buttons);
    side->addStretch();
    side->addWidget(filter_);

    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(QString::fromUtf8(texts.selectFilterLabel), this);
    filterLabel->setBuddy(nameFilter_);
    nameFilter_->setClearButtonEnabled(true);
    nameFilter_->setPlaceholderText(QString::fromUtf8(texts.selectFilterHint));
    nameFilter_->installEventFilter(this);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(nameFilter_, 1);

    auto* grid = new QGridLayout(this);
    grid->addLayout(filterRow, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.selectManufacturerLabel), this), 1, 0);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.selectDeviceLabel), this), 1, 1);
    grid->addWidget(manufacturers_, 2, 0);
    grid->addWidget(devices_, 2, 1);
    grid->addLayout(side, 0, 2, 3, 1);
    resize(520, 380);

    connect(manufacturers_, &QListWidget::itemSelectionChanged, this, [this] { fillDeviceList(); });
    connect(filter_->buttons(), &QButtonGroup::idClicked, this, [this] { refilter(); });
    connect(nameFilter_, &QLineEdit::textChanged, this, [this] { refilter(); });
    connect(devices_, &QListWidget::itemDoubleClicked, this, &CChipSelectDlg::accept);

    if (current) {
        ChipInfo opened = *current;
        opened.manufacturer[sizeof opened.manufacturer - 1] = '\0';
        opened.name[sizeof opened.name - 1] = '\0';
        fillManufacturerList(opened.manufacturer, opened.name);
    } else {
        fillManufacturerList(nullptr, nullptr);
    }
    // The list shows the chip at once; typing goes to the name filter.
    devices_->scrollToItem(devices_->currentItem(), QAbstractItemView::PositionAtCenter);
    nameFilter_->setFocus();
}

bool CChipSelectDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == nameFilter_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QCoreApplication::sendEvent(devices_, event);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

ChipFilter CChipSelectDlg::currentFilter() const {
    return ChipFilter{filter_->family(), nameFilter_->text().toStdString()};
}

void CChipSelectDlg::refilter() {
    std::string manufacturer;
    std::string chip;
    if (const int row = selectedRow(manufacturers_); row >= 0)
        manufacturer =
            lists_.manufacturer(size_t(manufacturers_->item(row)->data(Qt::UserRole).toInt()));
    if (const int row = selectedRow(devices_); row >= 0 && row < lists_.chipCount())
        chip = fieldBytes(lists_.chip(size_t(row)).name);
    fillManufacturerList(manufacturer.c_str(), chip.c_str());
}

void CChipSelectDlg::fillManufacturerList(const char* keepManufacturer, const char* keepChip) {
    QSignalBlocker blocker(manufacturers_);
    manufacturers_->clear();
    uint16_t count = lists_.loadManufacturers(currentFilter());
    int keep = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const char* name = lists_.manufacturer(i);
        auto* item = new QListWidgetItem(QString::fromStdString(fieldText(name, 40)));
        // The list keeps the position of the name, so the exact bytes are queried later.
        item->setData(Qt::UserRole, int(i));
        manufacturers_->insertItem(i, item);
        if (keepManufacturer && std::strcmp(name, keepManufacturer) == 0)
            keep = i;
    }
    if (count > 0)
        manufacturers_->setCurrentRow(keep);
    else
        devices_->clear(); // nothing passes the filters
    fillDeviceList(keepChip);
}

void CChipSelectDlg::fillDeviceList(const char* keepChip) {
    int row = selectedRow(manufacturers_);
    if (row < 0)
        return;
    int index = manufacturers_->item(row)->data(Qt::UserRole).toInt();
    uint16_t count = lists_.loadChips(lists_.manufacturer(size_t(index)), currentFilter());
    devices_->clear();
    int keep = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const ChipInfo& chip = lists_.chip(i);
        devices_->insertItem(i, QString::fromStdString(fieldText(chip.name, sizeof chip.name)));
        if (keepChip && fieldBytes(chip.name) == keepChip)
            keep = i;
    }
    if (count > 0)
        devices_->setCurrentRow(keep);
}

void CChipSelectDlg::accept() {
    selectedIndex_ = selectedRow(devices_);
    QDialog::accept();
}

bool CChipSelectDlg::getSelectedChip(ChipInfo* out) const {
    if (!out || selectedIndex_ < 0 || selectedIndex_ >= lists_.chipCount())
        return false;
    *out = lists_.chip(size_t(selectedIndex_));
    return true;
}
