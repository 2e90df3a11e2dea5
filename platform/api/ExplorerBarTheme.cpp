#include "ExplorerBarTheme.h"

#include <QByteArrayView>
#include <QDir>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

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

namespace {

// The darkness a face gives a sample line, per unit of its width.
double InkPerWidth(const QRawFont& face) {
    const QList<quint32> glyphs = face.glyphIndexesForString(QStringLiteral("System Tasks"));
    QList<QPointF> positions;
    QPointF at;
    for (const QPointF& advance : face.advancesForGlyphIndexes(glyphs)) {
        positions << at;
        at += advance;
    }
    if (at.x() <= 0) return 0;
    QGlyphRun run;
    run.setRawFont(face);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    QImage sample(static_cast<int>(at.x()) + 8, 48, QImage::Format_Grayscale8);
    sample.fill(255);
    QPainter painter(&sample);
    painter.drawGlyphRun(QPointF(0, 32), run);
    painter.end();
    double ink = 0;
    for (int y = 0; y < sample.height(); ++y)
        for (const uchar value : QByteArrayView(sample.constScanLine(y), sample.width())) ink += 255 - value;
    return ink / at.x();
}

QString FontFile(const char* name) { return QDir(QString::fromLatin1(kFontFolder)).filePath(QString::fromLatin1(name)); }

}  // namespace

// The bold file is taken only when its strokes are heavier than the regular
// ones: fonts-wine's copy merely spaces the regular letters wider, and
// without it a bold Tahoma is the regular face emboldened.
void RegisterFonts() {
    static bool registered = false;
    if (registered || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    registered = true;
    const QString regular = FontFile("tahoma.ttf"), bold = FontFile("tahomabd.ttf");
    if (QFontDatabase::addApplicationFont(regular) < 0) return;
    const QRawFont regularFace(regular, 24), boldFace(bold, 24);
    if (boldFace.isValid() && InkPerWidth(boldFace) > 1.2 * InkPerWidth(regularFace))
        QFontDatabase::addApplicationFont(bold);
}

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
