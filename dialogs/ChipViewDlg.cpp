#include "dialogs/ChipViewDlg.h"

#include "dialogs/ChipCellTexts.h"
#include "dialogs/ChipInfoDlg.h"
#include "dialogs/ControlId.h"
#include "dialogs/FamilyFilter.h"
#include "res/MessageBox.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {

// Lowest selected row, as "the first selected item" of a list.
int firstSelectedRow(const QAbstractItemView* view) {
    int first = -1;
    for (const QModelIndex& index : view->selectionModel()->selectedIndexes())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

ChipInfo newChipDefaults() {
    ChipInfo chip{};
    chip.type = ChipType::Flash25;
    chip.minVoltage = 27;
    chip.maxVoltage = 55;
    chip.capacity = 1024;
    chip.programMode = 1;
    chip.pageSize = 256;
    chip.manufacturerId = 0xFF;
    chip.deviceId = 0xFF;
    chip.memoryWidth = 8;
    return chip;
}

} // namespace

CChipViewDlg::CChipViewDlg(ChipDatabase* database, const Texts& texts, QWidget* parent)
    : QDialog(parent), database_(database), texts_(texts), lists_(database),
      manufacturers_(new QListWidget(this)), table_(new QTableWidget(this)),
      filter_(new FamilyFilter(texts, this)) {
    setWindowTitle(QString::fromUtf8(texts.viewTitle));
    setControlId(manufacturers_, IdManufacturerList);
    setControlId(table_, IdChipTable);

    // List style: names in columns, scrolling sideways.
    manufacturers_->setFlow(QListView::TopToBottom);
    manufacturers_->setWrapping(true);
    manufacturers_->setResizeMode(QListView::Adjust);
    manufacturers_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    manufacturers_->setMaximumHeight(120);

    table_->setColumnCount(kChipTableColumns);
    QStringList headers;
    for (int column = 0; column < kChipTableColumns; ++column)
        headers << QString::fromUtf8(texts.viewColumn[column]);
    table_->setHorizontalHeaderLabels(headers);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // The build's widths are a minimum: a header never shows cut ("ax Voltag").
    for (int column = 0; column < kChipTableColumns; ++column)
        table_->setColumnWidth(column,
                               std::max(texts.viewColumnWidth[column],
                                        table_->horizontalHeader()->sectionSizeHint(column)));
    table_->verticalHeader()->hide();
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);

    auto addButton = [this](int id, const char* label) {
        auto* button = new QPushButton(QString::fromUtf8(label), this);
        setControlId(button, id);
        button->setAutoDefault(false);
        return button;
    };
    QPushButton* add = addButton(IdAddChip, texts.addChipButton);
    QPushButton* remove = addButton(IdDeleteChip, texts.deleteChipButton);
    QPushButton* edit = addButton(IdEditChip, texts.editChipButton);
    QPushButton* exit = addButton(2, texts.exitButton);

    auto* side = new QVBoxLayout;
    side->addWidget(filter_);
    side->addStretch();
    side->addWidget(add);
    side->addWidget(remove);
    side->addWidget(edit);
    side->addWidget(exit);

    auto* grid = new QGridLayout(this);
    grid->addWidget(manufacturers_, 0, 0);
    grid->addWidget(table_, 1, 0);
    grid->addLayout(side, 0, 1, 2, 1);
    grid->setRowStretch(1, 1);
    // Wide enough to show every column, with room for a vertical scroll bar.
    int columns = 0;
    for (int column = 0; column < kChipTableColumns; ++column)
        columns += table_->columnWidth(column);
    resize(std::max(800, columns + side->sizeHint().width() + 60), 520);

    // A click refills the table; moving the selection with the keyboard does not.
    connect(manufacturers_, &QListWidget::clicked, this, [this] { fillChipTable(); });
    connect(filter_->buttons(), &QButtonGroup::idClicked, this, [this] { fillChipTable(); });
    connect(add, &QPushButton::clicked, this, &CChipViewDlg::OnAddChip);
    connect(remove, &QPushButton::clicked, this, &CChipViewDlg::OnDeleteChip);
    connect(edit, &QPushButton::clicked, this, &CChipViewDlg::OnEditChip);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &CChipViewDlg::OnEditChip);
    connect(exit, &QPushButton::clicked, this, &CChipViewDlg::reject);

    fillManufacturerList(nullptr);
}

void CChipViewDlg::fillManufacturerList(const char* reselect) {
    manufacturers_->clear();
    uint16_t count = lists_.loadManufacturers();
    int reselectRow = 0;
    for (uint16_t i = 0; i < count; ++i) {
        const char* name = lists_.manufacturer(i);
        auto* item = new QListWidgetItem(QString::fromStdString(fieldText(name, 40)));
        item->setData(Qt::UserRole, int(i));
        manufacturers_->insertItem(i, item);
        // Reselect by the row in the list: manufacturers without chips are not listed.
        if (reselect && std::strcmp(reselect, name) == 0)
            reselectRow = i;
    }
    if (count == 0) {
        table_->setRowCount(0); // the last chip is gone: show none rather than stale rows
        return;
    }
    manufacturers_->setCurrentRow(reselectRow);
    manufacturers_->scrollToItem(manufacturers_->item(reselectRow));
    fillChipTable();
}

void CChipViewDlg::fillChipTable() {
    int row = firstSelectedRow(manufacturers_);
    if (row < 0)
        return;
    int index = manufacturers_->item(row)->data(Qt::UserRole).toInt();
    uint16_t count = lists_.loadChips(lists_.manufacturer(size_t(index)), filter_->family());
    table_->setRowCount(0);
    for (uint16_t i = 0; i < count; ++i)
        addRow(lists_.chip(i));
}

void CChipViewDlg::addRow(const ChipInfo& chip) {
    int row = table_->rowCount();
    table_->insertRow(row);
    const auto texts = chipRowTexts(chip, row + 1, texts_);
    for (int column = 0; column < kChipTableColumns; ++column) {
        auto* item = new QTableWidgetItem(QString::fromStdString(texts[size_t(column)]));
        item->setTextAlignment(Qt::AlignCenter);
        table_->setItem(row, column, item);
    }
}

bool CChipViewDlg::chosenChip(ChipInfo& chip) const {
    // The table shows exactly the current results; without rows there is no chip to act on.
    int rows = std::min<int>(table_->rowCount(), lists_.chipCount());
    if (rows <= 0)
        return false;
    int row = firstSelectedRow(table_);
    chip = lists_.chip(size_t(row >= 0 && row < rows ? row : 0));
    return true;
}

bool CChipViewDlg::editChip(const char* title, ChipInfo& chip) {
    CChipInfoDlg dialog(title, &chip, texts_, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.getResult(&chip);
    return true;
}

void CChipViewDlg::saveAndReload(const char* manufacturer) {
    // After a failed save the reload brings back the file, so the change is gone.
    if (!database_->save())
        messageBoxIf(texts_.chipDbSaveFailed);
    database_->load();
    fillManufacturerList(manufacturer);
}

void CChipViewDlg::OnAddChip() {
    if (!database_)
        return;
    ChipInfo chip = newChipDefaults();
    chosenChip(chip);
    if (!editChip(texts_.addChipTitle, chip))
        return;
    if (chip.name[0] == '\0')
        return; // nothing to store under an empty name
    ChipInfo existing{};
    if (database_->find(&existing, 1, nullptr, chip.name)) {
        messageBox(texts_.chipExists);
        return;
    }
    // A full database refuses a new chip without a word; the file stays as it is.
    if (database_->addOrReplace(&chip))
        saveAndReload(chip.manufacturer);
}

void CChipViewDlg::OnDeleteChip() {
    if (!database_)
        return;
    ChipInfo chip{};
    if (!chosenChip(chip))
        return;
    if (database_->remove(chip.name))
        saveAndReload(chip.manufacturer);
}

void CChipViewDlg::OnEditChip() {
    if (!database_)
        return;
    ChipInfo chip{};
    if (!chosenChip(chip))
        return;
    if (!editChip(texts_.editChipTitle, chip))
        return;
    if (database_->addOrReplace(&chip))
        saveAndReload(chip.manufacturer);
}
