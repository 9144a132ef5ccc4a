#include "dialogs/ReportDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ReportDlg::ReportDlg(const Texts& texts, const char* title, const std::string& text,
                     QWidget* parent)
    : QDialog(parent), field_(new QPlainTextEdit(this)),
      copy_(new QPushButton(QString::fromUtf8(texts.copyButton), this)),
      ok_(new QPushButton(QString::fromUtf8(texts.okButton), this)) {
    setWindowTitle(QString::fromUtf8(title));
    field_->setReadOnly(true);
    field_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    field_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Addresses and digests line up in columns.
    field_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    field_->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    const QFontMetrics metrics(field_->font());
    // Room for a SHA-256 line and a screenful of differences.
    field_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('0')) * 80,
                           metrics.lineSpacing() * 12);

    ok_->setDefault(true);
    copy_->setAutoDefault(false);
    connect(copy_, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(field_->toPlainText()); });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(copy_);
    buttons->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(field_);
    layout->addLayout(buttons);
    ok_->setFocus();
}

QString ReportDlg::text() const {
    return field_->toPlainText();
}
