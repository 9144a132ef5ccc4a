#include "app/CommandIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/CommandIds.h"

namespace {

using DrawFunction = void (*)(QPainter&);

// Every drawing works in a 32 x 32 design space; the painter scales it.
QIcon iconFrom(DrawFunction draw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPen outline(const QColor& color, qreal width = 1.5) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A small 8-pin chip body centred at (cx, cy).
void drawChip(QPainter& p, qreal cx, qreal cy, qreal w, qreal h, const QColor& body) {
    p.setPen(outline(QColor(150, 150, 150), 1.4));
    for (int i = 0; i < 4; ++i) {
        qreal y = cy - h / 2 + h * (i + 0.5) / 4;
        p.drawLine(QPointF(cx - w / 2 - 3, y), QPointF(cx - w / 2, y));
        p.drawLine(QPointF(cx + w / 2, y), QPointF(cx + w / 2 + 3, y));
    }
    p.setPen(outline(QColor(20, 20, 20), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(cx - w / 2, cy - h / 2, w, h), 1.5, 1.5);
    p.setBrush(QColor(230, 230, 230));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(cx - w / 2 + 2.5, cy - h / 2 + 2.5), 1.2, 1.2);
}

void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color, qreal width = 2.5) {
    p.setPen(outline(color, width));
    p.drawLine(from, to);
    QLineF line(to, from);
    QLineF wing1 = line;
    wing1.setLength(5);
    wing1.setAngle(line.angle() + 35);
    QLineF wing2 = line;
    wing2.setLength(5);
    wing2.setAngle(line.angle() - 35);
    p.drawLine(wing1);
    p.drawLine(wing2);
}

void drawOpen(QPainter& p) {
    p.setPen(outline(QColor(140, 100, 20)));
    p.setBrush(QColor(230, 180, 60));
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(11, 8);
    back.lineTo(14, 11);
    back.lineTo(26, 11);
    back.lineTo(26, 26);
    back.lineTo(3, 26);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(250, 215, 110));
    QPainterPath front;
    front.moveTo(3, 26);
    front.lineTo(8, 15);
    front.lineTo(30, 15);
    front.lineTo(26, 26);
    front.closeSubpath();
    p.drawPath(front);
}

void drawSave(QPainter& p) {
    p.setPen(outline(QColor(20, 50, 110)));
    p.setBrush(QColor(60, 110, 200));
    QPainterPath disk;
    disk.moveTo(4, 4);
    disk.lineTo(24, 4);
    disk.lineTo(28, 8);
    disk.lineTo(28, 28);
    disk.lineTo(4, 28);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(9, 4, 13, 9));
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(QRectF(17, 6, 3, 5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 17, 16, 11));
}

void drawFill(QPainter& p) {
    // A run of bytes, part of it set to one colour.
    p.setPen(outline(QColor(60, 60, 60), 1));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) {
            bool filled = row == 1 || (row == 2 && col < 2);
            p.setBrush(filled ? QColor(240, 140, 40) : QColor(245, 245, 245));
            p.drawRect(QRectF(3 + col * 6.5, 6 + row * 7, 6, 6));
        }
    p.setPen(outline(QColor(30, 90, 180), 1.2));
    p.setBrush(QColor(80, 150, 240));
    QPainterPath drop;
    drop.moveTo(27, 17);
    drop.cubicTo(30, 22, 31, 25, 27, 28);
    drop.cubicTo(23, 25, 24, 22, 27, 17);
    p.drawPath(drop);
}

void drawExchange(QPainter& p) {
    drawArrow(p, QPointF(4, 11), QPointF(27, 11), QColor(30, 130, 60));
    drawArrow(p, QPointF(28, 21), QPointF(5, 21), QColor(200, 70, 30));
}

void drawAuto(QPainter& p) {
    p.setPen(outline(QColor(20, 100, 30), 1.2));
    p.setBrush(QColor(60, 180, 70));
    QPolygonF first({QPointF(4, 6), QPointF(16, 16), QPointF(4, 26)});
    QPolygonF second({QPointF(15, 6), QPointF(27, 16), QPointF(15, 26)});
    p.drawPolygon(first);
    p.drawPolygon(second);
}

void drawErase(QPainter& p) {
    p.save();
    p.translate(16, 16);
    p.rotate(-35);
    p.setPen(outline(QColor(120, 40, 60), 1.2));
    p.setBrush(QColor(240, 130, 160));
    p.drawRoundedRect(QRectF(-11, -6, 13, 12), 2, 2);
    p.setBrush(QColor(90, 130, 220));
    p.drawRoundedRect(QRectF(2, -6, 9, 12), 2, 2);
    p.restore();
    p.setPen(outline(QColor(120, 120, 120), 1));
    p.drawLine(QPointF(3, 29), QPointF(29, 29));
}

void drawWrite(QPainter& p) {
    drawChip(p, 12, 20, 12, 14, QColor(40, 40, 40));
    p.save();
    p.translate(22, 11);
    p.rotate(45);
    p.setPen(outline(QColor(90, 60, 20), 1));
    p.setBrush(QColor(245, 190, 50));
    p.drawRect(QRectF(-2.5, -10, 5, 14));
    p.setBrush(QColor(240, 210, 170));
    QPolygonF tip({QPointF(-2.5, 4), QPointF(2.5, 4), QPointF(0, 9)});
    p.drawPolygon(tip);
    p.restore();
}

void drawVerify(QPainter& p) {
    p.setPen(outline(QColor(20, 120, 40), 4));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(5, 17);
    tick.lineTo(13, 25);
    tick.lineTo(27, 7);
    p.drawPath(tick);
}

void drawRead(QPainter& p) {
    drawChip(p, 11, 16, 10, 16, QColor(40, 40, 40));
    drawArrow(p, QPointF(19, 16), QPointF(30, 16), QColor(30, 100, 200), 2.5);
}

void drawIdentify(QPainter& p) {
    drawChip(p, 12, 13, 10, 12, QColor(40, 40, 40));
    p.setPen(outline(QColor(30, 60, 140), 2.5));
    p.setBrush(QColor(200, 225, 255, 150));
    p.drawEllipse(QPointF(18, 18), 7, 7);
    p.drawLine(QPointF(23, 23), QPointF(29, 29));
}

void drawSelect(QPainter& p) {
    drawChip(p, 13, 14, 12, 16, QColor(40, 40, 40));
    p.setPen(outline(QColor(20, 20, 20), 1));
    p.setBrush(Qt::white);
    QPolygonF cursor({QPointF(19, 15), QPointF(19, 30), QPointF(22.5, 26.5), QPointF(25.5, 31),
                      QPointF(27.5, 30), QPointF(24.5, 25.5), QPointF(29, 25)});
    p.drawPolygon(cursor);
}

void drawEdit(QPainter& p) {
    // The chip database: a stack of records.
    p.setPen(outline(QColor(60, 60, 90), 1.2));
    for (int i = 2; i >= 0; --i) {
        qreal y = 7 + i * 7;
        p.setBrush(QColor(150, 170, 220));
        p.drawRect(QRectF(4, y, 18, 6));
        p.setBrush(QColor(200, 215, 245));
        p.drawEllipse(QRectF(4, y - 3, 18, 6));
    }
    p.save();
    p.translate(25, 19);
    p.rotate(30);
    p.setPen(outline(QColor(90, 60, 20), 1));
    p.setBrush(QColor(245, 190, 50));
    p.drawRect(QRectF(-2, -9, 4, 12));
    p.setBrush(QColor(240, 210, 170));
    p.drawPolygon(QPolygonF({QPointF(-2, 3), QPointF(2, 3), QPointF(0, 7)}));
    p.restore();
}

void drawApplication(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 70, 140));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(QColor(70, 120, 200));
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 4, 4);
    drawChip(p, 16, 16, 12, 16, QColor(25, 25, 25));
    p.setPen(QColor(250, 200, 60));
    QFont font;
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(10, 9, 12, 14), Qt::AlignCenter, QStringLiteral("B+"));
}

} // namespace

QIcon commandIcon(unsigned id) {
    switch (id) {
    case IdFileOpen:
        return iconFrom(drawOpen);
    case IdFileSave:
        return iconFrom(drawSave);
    case IdEditFill:
        return iconFrom(drawFill);
    case IdEditExchange:
        return iconFrom(drawExchange);
    case IdAuto:
        return iconFrom(drawAuto);
    case IdErase:
        return iconFrom(drawErase);
    case IdWrite:
        return iconFrom(drawWrite);
    case IdVerify:
        return iconFrom(drawVerify);
    case IdRead:
        return iconFrom(drawRead);
    case IdChipIdentify:
        return iconFrom(drawIdentify);
    case IdChipSelect:
        return iconFrom(drawSelect);
    case IdChipEdit:
        return iconFrom(drawEdit);
    default:
        return QIcon();
    }
}

QIcon applicationIcon() {
    return iconFrom(drawApplication);
}

QImage applicationIconImage(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / 32.0, pixels / 32.0);
    drawApplication(painter);
    return image;
}
