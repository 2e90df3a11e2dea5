#include "platform/api/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace vb::Clipboard {

namespace {

QClipboard* DesktopClipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

}  // namespace

void Clear() {
    if (QClipboard* clipboard = DesktopClipboard()) clipboard->clear();
}

void SetText(const std::string& text) {
    if (QClipboard* clipboard = DesktopClipboard()) clipboard->setText(QString::fromStdString(text));
}

std::string GetText() {
    QClipboard* clipboard = DesktopClipboard();
    return clipboard ? clipboard->text().toStdString() : std::string();
}

}  // namespace vb::Clipboard
