#include "ExplorerBarTheme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "platform/api/UxTheme.h"

namespace platform::explorerbartheme {
namespace {

void PaintGradient(QPainter& painter, const QRect& area, const QColor& from, const QColor& to, bool across) {
    QLinearGradient gradient(area.topLeft(), across ? QPoint(area.right(), area.top()) : area.bottomLeft());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(area, gradient);
}

void PaintHead(QPainter& painter, const QRect& area, const QColor& left, const QColor& right) {
    // The band's top corners are rounded by three pixels.
    QPainterPath band;
    band.addRoundedRect(QRectF(area).adjusted(0, 0, 0, 3), 3, 3);
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(area.topLeft(), QPoint(area.right(), area.top()));
    gradient.setColorAt(0, left);
    gradient.setColorAt(1, right);
    painter.fillPath(band, gradient);
    painter.restore();
}

void PaintBody(QPainter& painter, const QRect& area, const QColor& fill) {
    painter.fillRect(area, fill);
    painter.save();
    painter.setPen(kBodyFrame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.restore();
}

// A round button with two chevrons, pointing up (collapse) or down (expand).
void PaintChevron(QPainter& painter, const QRect& area, const QColor& arrow, bool up) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF button = QRectF(area).adjusted(2.5, 2.5, -2.5, -2.5);
    painter.setPen(QPen(kChevronBorder, 1));
    painter.setBrush(kChevronFace);
    painter.drawEllipse(button);
    painter.setPen(QPen(arrow, 1.6));
    const QPointF centre = button.center();
    for (double offset : {-3.0, 1.0}) {
        const double tipY = up ? centre.y() + offset - 1 : centre.y() + offset + 2;
        const double armY = up ? tipY + 3 : tipY - 3;
        painter.drawLine(QPointF(centre.x() - 3.5, armY), QPointF(centre.x(), tipY));
        painter.drawLine(QPointF(centre.x(), tipY), QPointF(centre.x() + 3.5, armY));
    }
    painter.restore();
}

}  // namespace

bool IsPart(int part) { return part == 1 || (part >= 5 && part <= 12); }
bool IsState(int state) { return state >= 1 && state <= 3; }

void PaintPart(QPainter& painter, int part, int state, const QRect& area) {
    const int shade = state - 1;
    switch (part) {
    case win::EBP_HEADERBACKGROUND: PaintGradient(painter, area, kBackgroundTop, kBackgroundBottom, false); break;
    case win::EBP_NORMALGROUPBACKGROUND: PaintBody(painter, area, kNormalBody); break;
    case win::EBP_NORMALGROUPCOLLAPSE: PaintChevron(painter, area, kNormalArrow[shade], true); break;
    case win::EBP_NORMALGROUPEXPAND: PaintChevron(painter, area, kNormalArrow[shade], false); break;
    case win::EBP_NORMALGROUPHEAD: PaintHead(painter, area, kNormalHeadLeft, kNormalHeadRight); break;
    case win::EBP_SPECIALGROUPBACKGROUND: PaintBody(painter, area, kSpecialBody); break;
    case win::EBP_SPECIALGROUPCOLLAPSE: PaintChevron(painter, area, kSpecialArrow[shade], true); break;
    case win::EBP_SPECIALGROUPEXPAND: PaintChevron(painter, area, kSpecialArrow[shade], false); break;
    case win::EBP_SPECIALGROUPHEAD: PaintHead(painter, area, kSpecialHeadLeft, kSpecialHeadRight); break;
    default: break;
    }
}

}  // namespace platform::explorerbartheme
