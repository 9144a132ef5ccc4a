#include "dialogs/ChipInfoDlg.h"

#include "dialogs/ChipFamilies.h"
#include "dialogs/ControlId.h"
#include "res/MessageBox.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString qText(const std::string& text) {
    return QString::fromStdString(text);
}
std::string stdText(const QString& text) {
    return text.toStdString();
}

} // namespace

CChipInfoDlg::CChipInfoDlg(const char* title, const ChipInfo* start, const Texts& texts,
                           QWidget* parent)
    : QDialog(parent), texts_(texts) {
    if (start)
        chip_ = *start;
    buildControls();
    setWindowTitle(QString::fromUtf8(title ? title : ""));
    showChip();
}

void CChipInfoDlg::buildControls() {
    auto* grid = new QGridLayout;
    auto addEdit = [&](int id, const char* label, int row, int column) {
        auto* edit = new QLineEdit(this);
        setControlId(edit, id);
        auto* caption = new QLabel(QString::fromUtf8(label), this);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, column);
        grid->addWidget(edit, row, column + 1);
        return edit;
    };
    auto addRadio = [&](int id, const char* label, QButtonGroup* group) {
        auto* radio = new QRadioButton(QString::fromUtf8(label), this);
        setControlId(radio, id);
        group->addButton(radio, id);
        return radio;
    };

    addEdit(IdName, texts_.labelDeviceName, 0, 0);
    addEdit(IdManufacturer, texts_.labelManuName, 0, 2);

    addEdit(IdCapacity, texts_.labelCapacity, 1, 0);
    unitGroup_ = new QButtonGroup(this);
    auto* units = new QHBoxLayout;
    units->addWidget(addRadio(IdUnitB, texts_.unitB, unitGroup_));
    units->addWidget(addRadio(IdUnitKB, texts_.unitKB, unitGroup_));
    units->addStretch();
    grid->addLayout(units, 1, 2, 1, 2);

    addEdit(IdMinVoltage, texts_.labelMinVoltage, 2, 0);
    addEdit(IdMaxVoltage, texts_.labelMaxVoltage, 2, 2);

    modeGroup_ = new QButtonGroup(this);
    auto* modes = new QHBoxLayout;
    modes->addWidget(addRadio(IdPageProgram, texts_.modePP, modeGroup_));
    modes->addWidget(addRadio(IdByteProgram, texts_.modeBP, modeGroup_));
    modes->addStretch();
    grid->addLayout(modes, 3, 0, 1, 2);
    addEdit(IdPageSize, texts_.labelPageSize, 3, 2);

    addEdit(IdManufacturerId, texts_.labelManuId, 4, 0);
    addEdit(IdDeviceId, texts_.labelDeviceId, 4, 2);
    addEdit(IdAddressWidth, texts_.labelAddressWidth, 5, 0);
    addEdit(IdMemoryWidth, texts_.labelMemoryWidth, 5, 2);

    auto* familyBox = new QGroupBox(QString::fromUtf8(texts_.chipTypeGroup), this);
    auto* families = new QHBoxLayout(familyBox);
    familyGroup_ = new QButtonGroup(this);
    for (int id : kFamilyButtons)
        families->addWidget(addRadio(id, familyButtonLabel(id, texts_), familyGroup_));
    // Only Microwire chips have address and cell widths to enter.
    connect(familyGroup_, &QButtonGroup::idClicked, this,
            [this](int id) { setWidthsEditable(id == kFamily93EepromButton); });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok =
        buttons->addButton(QString::fromUtf8(texts_.okButton), QDialogButtonBox::AcceptRole);
    setControlId(ok, 1);
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QString::fromUtf8(texts_.cancelButton), QDialogButtonBox::RejectRole);
    setControlId(cancel, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &CChipInfoDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CChipInfoDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(familyBox);
    layout->addWidget(buttons);
}

QLineEdit* CChipInfoDlg::edit(int id) const {
    return findControl<QLineEdit>(this, id);
}

QAbstractButton* CChipInfoDlg::button(int id) const {
    return findControl<QAbstractButton>(this, id);
}

void CChipInfoDlg::setWidthsEditable(bool editable) {
    for (int id : {IdAddressWidth, IdMemoryWidth}) {
        QLineEdit* field = edit(id);
        field->setReadOnly(!editable);
        // A read-only field sits on the dialog's grey, as read-only edits do elsewhere.
        QPalette colours = QApplication::palette(field);
        if (!editable)
            colours.setColor(QPalette::Base, colours.color(QPalette::Window));
        field->setPalette(colours);
    }
}

void CChipInfoDlg::showChip() {
    ChipForm form = formFromChip(chip_);
    edit(IdName)->setText(qText(form.name));
    edit(IdManufacturer)->setText(qText(form.manufacturer));
    edit(IdCapacity)->setText(qText(form.capacity));
    button(form.capacityInBytes ? IdUnitB : IdUnitKB)->setChecked(true);
    edit(IdMinVoltage)->setText(qText(form.minVoltage));
    edit(IdMaxVoltage)->setText(qText(form.maxVoltage));
    button(form.pageProgram ? IdPageProgram : IdByteProgram)->setChecked(true);
    edit(IdPageSize)->setText(qText(form.pageSize));
    edit(IdManufacturerId)->setText(qText(form.manufacturerId));
    edit(IdDeviceId)->setText(qText(form.deviceId));
    button(buttonOfFamily(*form.family))->setChecked(true);
    edit(IdAddressWidth)->setText(qText(form.addressWidth));
    edit(IdMemoryWidth)->setText(qText(form.memoryWidth));
    setWidthsEditable(form.widthsEditable);
}

ChipForm CChipInfoDlg::readControls() const {
    ChipForm form;
    form.name = stdText(edit(IdName)->text());
    form.manufacturer = stdText(edit(IdManufacturer)->text());
    form.capacity = stdText(edit(IdCapacity)->text());
    form.capacityInBytes = button(IdUnitB)->isChecked();
    form.minVoltage = stdText(edit(IdMinVoltage)->text());
    form.maxVoltage = stdText(edit(IdMaxVoltage)->text());
    form.pageProgram = button(IdPageProgram)->isChecked();
    form.pageSize = stdText(edit(IdPageSize)->text());
    form.manufacturerId = stdText(edit(IdManufacturerId)->text());
    form.deviceId = stdText(edit(IdDeviceId)->text());
    form.family = familyOfButton(familyGroup_->checkedId());
    form.addressWidth = stdText(edit(IdAddressWidth)->text());
    form.memoryWidth = stdText(edit(IdMemoryWidth)->text());
    form.widthsEditable = !edit(IdAddressWidth)->isReadOnly();
    return form;
}

void CChipInfoDlg::accept() {
    if (const char* problem = readChipForm(readControls(), chip_, texts_)) {
        messageBox(problem);
        return;
    }
    QDialog::accept();
}

void CChipInfoDlg::getResult(ChipInfo* out) const {
    if (out)
        *out = chip_;
}
