#include "app/AboutDlg.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "app/CommandIcons.h"

#include <algorithm>

namespace {
int px(double units) {
    return static_cast<int>(units * 1.5 + 0.5);
}
} // namespace

CAboutDlg::CAboutDlg(const Texts& texts, const std::string& databasePath, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(texts.aboutTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(32, 32));
    icon->setGeometry(px(11), px(17), px(20), px(20));
    icon->setAlignment(Qt::AlignCenter);

    auto* text = new QLabel(QString::fromUtf8(texts.aboutText), this);
    text->setGeometry(px(40), px(15), px(119), px(12));

    ok_ = new QPushButton(QString::fromUtf8(texts.okButton), this);
    ok_->setGeometry(px(178), px(7), px(50), px(16));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    // The path is the user's own: shown as it is, as plain text, and widening the box when
    // it is long.
    const QString path = QFile::decodeName(QByteArray::fromStdString(databasePath));
    database_ = new QLabel(QString::fromUtf8(texts.aboutDatabase).replace("%s", path), this);
    database_->setTextFormat(Qt::PlainText);
    database_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const int width = std::max(px(235), px(11) * 2 + database_->sizeHint().width());
    database_->setGeometry(px(11), px(44), width - px(11) * 2, database_->sizeHint().height());
    setFixedSize(width, px(48) + database_->sizeHint().height() + px(4));
}
