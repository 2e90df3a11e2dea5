#include "Gdi.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

namespace {

struct PrefixedText {
    QString plain;
    int prefixAt = -1;  // index in plain of the underlined character
};

PrefixedText WithoutPrefix(const QString& text) {
    PrefixedText result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&') result.prefixAt = static_cast<int>(result.plain.size());
        } else if (text[i] == u'&') {
            continue;
        }
        result.plain += text[i];
    }
    return result;
}

// The text as Qt draws it with its mnemonic flag: "&" doubled, the prefix marked.
QString QtMnemonicText(const PrefixedText& text) {
    QString result;
    for (qsizetype i = 0; i < text.plain.size(); ++i) {
        if (i == text.prefixAt) result += u'&';
        if (text.plain[i] == u'&') result += u'&';
        result += text.plain[i];
    }
    return result;
}

QStringList LinesOf(const QString& text) { return text.split(QStringLiteral("\r\n")); }

// The first line cut after the last whole word that fits with "..." behind
// it; a first word too wide for that is cut itself.
QString WordEllipsis(const QString& line, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(line) <= width) return line;
    const QString dots = QStringLiteral("...");
    qsizetype end = line.lastIndexOf(u' ');
    while (end > 0) {
        const QString kept = line.left(end).trimmed();
        if (!kept.isEmpty() && metrics.horizontalAdvance(kept + dots) <= width) return kept + dots;
        end = line.lastIndexOf(u' ', end - 1);
    }
    QString kept = line;
    while (!kept.isEmpty() && metrics.horizontalAdvance(kept + dots) > width) kept.chop(1);
    return kept + dots;
}

}  // namespace

namespace win {

COLORREF GetSysColor(int index) {
    switch (index) {
    case COLOR_BTNFACE: return 0xF0F0F0;
    case COLOR_BTNSHADOW: return 0xA0A0A0;
    case COLOR_BTNHIGHLIGHT: return 0xFFFFFF;
    default: return 0;
    }
}

int DrawTextA(HDC dc, const std::string& text, int count, RECT* rect, UINT format) {
    if (!dc || !rect) return 0;
    const std::string drawn = count < 0 ? text : text.substr(0, static_cast<std::size_t>(count));
    PrefixedText prefixed = WithoutPrefix(QString::fromStdString(drawn));
    const QFontMetrics metrics(dc->font(), dc->device());
    const QRect area(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    QStringList lines = LinesOf(prefixed.plain);
    if (format & DT_WORD_ELLIPSIS) {
        const QString cut = WordEllipsis(lines.front(), metrics, area.width());
        if (cut != lines.front() && prefixed.prefixAt >= cut.size() - 3) prefixed.prefixAt = -1;
        lines = QStringList{cut};
    }
    dc->save();
    dc->setClipRect(area, Qt::IntersectClip);
    int y = area.top();
    for (const QString& line : lines) {
        PrefixedText part{line, -1};
        if (prefixed.prefixAt >= 0 && prefixed.prefixAt < line.size()) part.prefixAt = prefixed.prefixAt;
        prefixed.prefixAt -= static_cast<int>(line.size()) + 2;
        dc->drawText(QRect(area.left(), y, area.width(), metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextSingleLine,
                     QtMnemonicText(part));
        y += metrics.height();
    }
    dc->restore();
    return static_cast<int>(lines.size()) * metrics.height();
}

}  // namespace win

namespace platform {

QColor ColorOf(win::COLORREF colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QSize TextExtent(const QFont& font, const std::string& text) {
    const QFontMetrics metrics(font);
    const QStringList lines = LinesOf(QString::fromStdString(text));
    int width = 0;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    return QSize(width, static_cast<int>(lines.size()) * metrics.height());
}

}  // namespace platform
