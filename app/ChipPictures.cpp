#include "app/ChipPictures.h"

#include <QFont>
#include <QPainter>

namespace {

// The socket has 12 rows of two contacts; rows are counted from the top.
constexpr int kRows = 12;
constexpr int kFirstRowY = 27;
constexpr int kRowPitch = 10;
constexpr int kLeftContactX = 62;
constexpr int kRightContactX = 103;

int rowY(int row) {
    return kFirstRowY + (row - 1) * kRowPitch;
}

void drawSocket(QPainter& p) {
    // Body and release lever.
    p.setPen(QPen(QColor(20, 60, 20), 1));
    p.setBrush(QColor(40, 120, 60));
    p.drawRoundedRect(QRectF(50, 14, 65, 130), 3, 3);
    p.setBrush(QColor(200, 200, 200));
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.drawRect(QRectF(53, 4, 8, 12));
    p.drawRect(QRectF(53, 4, 52, 4));
    // Contacts.
    p.setBrush(QColor(25, 25, 25));
    p.setPen(Qt::NoPen);
    for (int row = 1; row <= kRows; ++row) {
        p.drawRect(QRectF(kLeftContactX - 3, rowY(row) - 2, 6, 4));
        p.drawRect(QRectF(kRightContactX - 3, rowY(row) - 2, 6, 4));
    }
}

void drawChip(QPainter& p, int firstRow, const QString& voltage) {
    const int top = rowY(firstRow) - 5;
    const int bottom = rowY(firstRow + 3) + 5;
    // Legs into the contacts.
    p.setPen(QPen(QColor(190, 190, 190), 2));
    for (int i = 0; i < 4; ++i) {
        int y = rowY(firstRow + i);
        p.drawLine(kLeftContactX, y, 70, y);
        p.drawLine(95, y, kRightContactX, y);
    }
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(QRectF(69, top, 27, bottom - top));
    // Pin 1 mark.
    p.setBrush(QColor(220, 220, 220));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(73.5, top + 4.5), 2, 2);
    // Supply voltage.
    QFont font;
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(255, 220, 60));
    p.drawText(QRectF(69, top, 27, bottom - top), Qt::AlignCenter, voltage);
}

void drawPinLabels(QPainter& p, int firstRow) {
    QFont font;
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0));
    auto label = [&](int row, bool left, const QString& text) {
        QRectF box = left ? QRectF(0, rowY(row) - 6, 47, 12) : QRectF(118, rowY(row) - 6, 47, 12);
        p.drawText(box, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
    };
    label(firstRow, true, QStringLiteral("Pin 1"));
    label(firstRow + 3, true, QStringLiteral("Pin 4"));
    label(firstRow, false, QStringLiteral("Pin 8"));
    label(firstRow + 3, false, QStringLiteral("Pin 5"));
}

} // namespace

QImage chipPicture(int chipType) {
    struct Seat {
        int firstRow;
        const char* voltage;
    };
    Seat seats[2];
    int seatCount = 0;
    switch (chipType) {
    case 0: // 25 FLASH
        seats[seatCount++] = {1, "3V"};
        break;
    case 1: // 24 EEPROM
    case 2: // 25 EEPROM
        seats[seatCount++] = {1, "3V"};
        seats[seatCount++] = {5, "5V"};
        break;
    case 3: // 93 EEPROM
        seats[seatCount++] = {9, "5V"};
        break;
    default:
        return QImage();
    }

    QImage image(kChipPictureWidth, kChipPictureHeight, QImage::Format_RGB888);
    image.fill(QColor(250, 250, 250));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawSocket(p);
    for (int i = 0; i < seatCount; ++i) {
        drawChip(p, seats[i].firstRow, QString::fromLatin1(seats[i].voltage));
        drawPinLabels(p, seats[i].firstRow);
    }
    p.end();
    return image;
}
