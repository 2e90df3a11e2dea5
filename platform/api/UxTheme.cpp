#include "UxTheme.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileSystemWatcher>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <set>

#include "platform/api/ProfileIni.h"
#include "platform/api/ExplorerBarTheme.h"
#include "platform/host/HostFolder.h"

namespace {

struct ThemeTable {
    std::set<win::HTHEME> open;
    win::HTHEME next = 0x7E00;
};

ThemeTable& Themes() {
    static ThemeTable table;
    return table;
}

bool IsExplorerBarClass(const std::string& classList) {
    return QString::fromStdString(classList).trimmed().compare(QStringLiteral("ExplorerBar"),
                                                                Qt::CaseInsensitive) == 0;
}

void TellEveryWindow() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    for (QWidget* widget : QApplication::allWidgets()) {
        QEvent changed(QEvent::ThemeChange);
        QCoreApplication::sendEvent(widget, &changed);
    }
}

struct StyleWatch {
    QPointer<QFileSystemWatcher> watcher;
    QString folder;
    bool lastKnown = true;
};

StyleWatch& Watch() {
    static StyleWatch watch;
    return watch;
}

void WatchFileToo(StyleWatch& watch) {
    const QString file = watch.folder + QStringLiteral("/host.ini");
    if (QFile::exists(file) && !watch.watcher->files().contains(file)) watch.watcher->addPath(file);
}

void NoteSetting() {
    StyleWatch& watch = Watch();
    if (watch.watcher) WatchFileToo(watch);
    const bool now = platform::VisualStylesEnabled();
    if (now == watch.lastKnown) return;
    watch.lastKnown = now;
    TellEveryWindow();
}

}  // namespace

namespace win {

HTHEME OpenThemeData(HWND, const std::string& classList) {
    platform::explorerbartheme::RegisterFonts();
    platform::WatchVisualStyles();
    if (!platform::VisualStylesEnabled() || !IsExplorerBarClass(classList)) return 0;
    ThemeTable& table = Themes();
    const HTHEME theme = ++table.next;
    table.open.insert(theme);
    return theme;
}

HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect, const RECT* clip) {
    if (!Themes().open.contains(theme)) return E_HANDLE;
    namespace theme_ = platform::explorerbartheme;
    if (!dc || !rect || !theme_::IsPart(part) || !theme_::IsState(state)) return E_INVALIDARG;
    const QRect area(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    dc->save();
    if (clip) dc->setClipRect(QRect(QPoint(clip->left, clip->top), QPoint(clip->right - 1, clip->bottom - 1)),
                              Qt::IntersectClip);
    theme_::PaintPart(*dc, part, state, area);
    dc->restore();
    return S_OK;
}

HRESULT CloseThemeData(HTHEME theme) { return Themes().open.erase(theme) ? S_OK : E_HANDLE; }

}  // namespace win

namespace platform {

bool VisualStylesEnabled() { return HostSettingNumber("Display", "VisualStyles", 1) != 0; }

void SetVisualStyles(bool on) {
    WriteIniValue(HostFolder() / "host.ini", "Display", std::string("VisualStyles"), std::string(on ? "1" : "0"));
    WatchVisualStyles();
    Watch().lastKnown = on;
    TellEveryWindow();
}

void WatchVisualStyles() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    StyleWatch& watch = Watch();
    const QString folder = QString::fromStdString(HostFolder().string());
    if (watch.watcher && watch.folder == folder) return;
    delete watch.watcher;
    watch.watcher = new QFileSystemWatcher(QStringList{folder}, QCoreApplication::instance());
    watch.folder = folder;
    watch.lastKnown = VisualStylesEnabled();
    WatchFileToo(watch);
    // host.ini is replaced whole, so the folder is watched rather than the file.
    QObject::connect(watch.watcher, &QFileSystemWatcher::directoryChanged, watch.watcher, [] { NoteSetting(); });
    QObject::connect(watch.watcher, &QFileSystemWatcher::fileChanged, watch.watcher, [] { NoteSetting(); });
}

int OpenThemeCount() { return static_cast<int>(Themes().open.size()); }

}  // namespace platform
