#include "dialogs/GoToDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "buffer/FillExchange.h"

GoToDlg::GoToDlg(const Texts& texts, QWidget* parent)
    : QDialog(parent), edit_(new QLineEdit(this)),
      ok_(new QPushButton(QString::fromUtf8(texts.okButton), this)) {
    setWindowTitle(QString::fromUtf8(texts.goToTitle));
    // Only hex digits get in, as in the Fill dialog; seven reach a bridge chip above 16 MiB.
    edit_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,7}")), this));
    auto* cancel = new QPushButton(QString::fromUtf8(texts.cancelButton), this);
    ok_->setDefault(true);
    cancel->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QString::fromUtf8(texts.goToLabel), this), 0, 0);
    grid->addWidget(edit_, 0, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    edit_->setFocus();
}

uint32_t GoToDlg::address() const {
    const QByteArray text = edit_->text().toLatin1();
    uint32_t value = 0;
    parseHex(std::string_view(text.constData(), static_cast<size_t>(text.size())), value);
    return value;
}
