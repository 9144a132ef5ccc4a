#include "dialogs/BufferFillDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace {

QLineEdit* makeEdit(QWidget* parent, const char* text, int maxLength, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("edit%1").arg(id));
    edit->setMaxLength(maxLength);
    edit->setText(QString::fromLatin1(text));
    return edit;
}

} // namespace

BufferFillDlg::BufferFillDlg(const Texts& texts, uint32_t lastAddress, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(texts.fillTitle));
    QFont dialogFont = font();
    dialogFont.setPointSize(10);
    setFont(dialogFont);

    // Seven digits only for a chip reaching past 16 MiB (over a bridge).
    const int digits = lastAddress > 0xFFFFFF ? 7 : 6;
    start_.lastAccepted = QStringLiteral("000000");
    end_.lastAccepted = QStringLiteral("%1")
                            .arg(std::min<uint32_t>(lastAddress, 0xFFFFFFF), digits, 16, QChar('0'))
                            .toUpper();
    data_.lastAccepted = QStringLiteral("FF");
    start_.edit = makeEdit(this, "000000", digits, IdStartAddress);
    end_.edit = makeEdit(this, end_.lastAccepted.toLatin1().constData(), digits, IdEndAddress);
    data_.edit = makeEdit(this, "FF", 2, IdFillData);

    ok_ = new QPushButton(QString::fromUtf8(texts.okButton), this);
    ok_->setObjectName(QStringLiteral("button%1").arg(IdOk));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QString::fromUtf8(texts.cancelButton), this);
    cancel_->setObjectName(QStringLiteral("button%1").arg(IdCancel));
    cancel_->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.fillStartLabel), this), 0, 0);
    grid->addWidget(start_.edit, 0, 1);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.fillEndLabel), this), 1, 0);
    grid->addWidget(end_.edit, 1, 1);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.fillDataLabel), this), 2, 0);
    grid->addWidget(data_.edit, 2, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    for (FilteredEdit* field : {&start_, &end_, &data_})
        connect(field->edit, &QLineEdit::textChanged, this, [this, field] { filterInput(*field); });
    connect(ok_, &QPushButton::clicked, this, &BufferFillDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &BufferFillDlg::reject);
    start_.edit->setFocus();
}

QLineEdit* BufferFillDlg::edit(ControlId id) const {
    switch (id) {
    case IdStartAddress:
        return start_.edit;
    case IdEndAddress:
        return end_.edit;
    case IdFillData:
        return data_.edit;
    default:
        return nullptr;
    }
}

QPushButton* BufferFillDlg::button(ControlId id) const {
    return id == IdOk ? ok_ : (id == IdCancel ? cancel_ : nullptr);
}

void BufferFillDlg::filterInput(FilteredEdit& field) {
    if (restoring_)
        return;
    const QString text = field.edit->text();
    const QByteArray bytes = text.toUtf8();
    const int rejected = firstNonHexIndex(std::string_view(bytes.constData(), bytes.size()));
    if (rejected < 0) {
        field.lastAccepted = text;
        return;
    }
    // Put the last good text back and leave the cursor where the first bad character
    // stood. Non-ASCII input counts in characters, not bytes.
    const int position = QString::fromUtf8(bytes.constData(), rejected).size();
    restoring_ = true;
    field.edit->setText(field.lastAccepted);
    restoring_ = false;
    field.edit->setCursorPosition(position);
}

void BufferFillDlg::accept() {
    request_ = FillRequest{};
    const QByteArray startText = start_.edit->text().toLatin1();
    const QByteArray endText = end_.edit->text().toLatin1();
    const QByteArray dataText = data_.edit->text().toLatin1();
    uint32_t value = 0;
    if (parseHex(std::string_view(startText.constData(), startText.size()), value)) {
        request_.startAddress = value;
        if (parseHex(std::string_view(endText.constData(), endText.size()), value)) {
            request_.endAddress = value;
            if (parseHex(std::string_view(dataText.constData(), dataText.size()), value)) {
                request_.fillValue = static_cast<uint8_t>(value & 0xFF);
                request_.inputValid = true;
            }
        }
    }
    QDialog::accept();
}

void BufferFillDlg::reject() {
    request_.inputValid = false;
    QDialog::reject();
}
