#include "dialogs/ChipSelectDlg.h"

#include "dialogs/ChipCellTexts.h"
#include "dialogs/ControlId.h"
#include "dialogs/FamilyFilter.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

} // namespace

CChipSelectDlg::CChipSelectDlg(const ChipDatabase* database, const Texts& texts, QWidget* parent)
    : QDialog(parent), lists_(database), manufacturers_(new QListWidget(this)),
      devices_(new QListWidget(this)), filter_(new FamilyFilter(texts, this)) {
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

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.selectManufacturerLabel), this), 0, 0);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.selectDeviceLabel), this), 0, 1);
    grid->addWidget(manufacturers_, 1, 0);
    grid->addWidget(devices_, 1, 1);
    grid->addLayout(side, 1, 2);
    resize(520, 360);

    connect(manufacturers_, &QListWidget::itemSelectionChanged, this, [this] { fillDeviceList(); });
    connect(filter_->buttons(), &QButtonGroup::idClicked, this, [this] { fillDeviceList(); });
    connect(devices_, &QListWidget::itemDoubleClicked, this, &CChipSelectDlg::accept);

    fillManufacturerList();
}

void CChipSelectDlg::fillManufacturerList() {
    QSignalBlocker blocker(manufacturers_);
    manufacturers_->clear();
    uint16_t count = lists_.loadManufacturers();
    for (uint16_t i = 0; i < count; ++i) {
        const char* name = lists_.manufacturer(i);
        auto* item = new QListWidgetItem(QString::fromStdString(fieldText(name, 40)));
        // The list keeps the position of the name, so the exact bytes are queried later.
        item->setData(Qt::UserRole, int(i));
        manufacturers_->insertItem(i, item);
    }
    if (count > 0)
        manufacturers_->setCurrentRow(0);
    fillDeviceList();
}

void CChipSelectDlg::fillDeviceList() {
    int row = selectedRow(manufacturers_);
    if (row < 0)
        return;
    int index = manufacturers_->item(row)->data(Qt::UserRole).toInt();
    uint16_t count = lists_.loadChips(lists_.manufacturer(size_t(index)), filter_->family());
    devices_->clear();
    for (uint16_t i = 0; i < count; ++i) {
        const ChipInfo& chip = lists_.chip(i);
        devices_->insertItem(i, QString::fromStdString(fieldText(chip.name, sizeof chip.name)));
    }
    if (count > 0)
        devices_->setCurrentRow(0);
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
