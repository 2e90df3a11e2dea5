#include "platform/api/ShellFolders.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileDialog>
#include <QUrl>

#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/api/FileApi.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Shell.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace win {

struct ITEMIDLIST {
    std::string windowsPath;
};

namespace {

constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";

QString StartFolder() {
    const auto profile = platform::ToHostPath("C:\\");
    return profile ? QString::fromStdString(profile->string()) : QString();
}

bool ShowPropertiesOverDBus(const std::filesystem::path& hostPath) {
    if (!QCoreApplication::instance()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    if (!bus.interface()->isServiceRegistered(kFileManagerService).value()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, kFileManagerPath, kFileManagerService,
                                                       "ShowItemProperties");
    call << QStringList{QUrl::fromLocalFile(QString::fromStdString(hostPath.string())).toString()} << QString();
    return bus.send(call);
}

}  // namespace

PIDLIST_ABSOLUTE SHBrowseForFolderA(const BROWSEINFOA& info) {
    auto dialog = std::make_unique<QFileDialog>(info.owner, QString::fromStdString(info.lpszTitle), StartFolder());
    dialog->setObjectName("SHBrowseForFolder");
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    if (platform::ShowModal(dialog.get()) != QDialog::Accepted) return nullptr;
    const QStringList picked = dialog->selectedFiles();
    if (picked.isEmpty()) return nullptr;
    return new ITEMIDLIST{platform::ToWindowsPath(std::filesystem::path(picked.first().toStdString()))};
}

BOOL SHGetPathFromIDListA(PIDLIST_ABSOLUTE idList, char* path) {
    if (!idList || !path || idList->windowsPath.size() >= MAX_PATH) return FALSE_;
    std::memcpy(path, idList->windowsPath.c_str(), idList->windowsPath.size() + 1);
    return TRUE_;
}

void CoTaskMemFree(PIDLIST_ABSOLUTE idList) { delete idList; }

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info) return FALSE_;
    if (platform::TextLower(info->lpVerb) != "properties") {
        info->hInstApp = ShellExecuteA(info->hwnd, info->lpVerb, info->lpFile, info->lpParameters, info->lpDirectory,
                                       info->nShow);
        return info->hInstApp > 32 ? TRUE_ : FALSE_;
    }
    const auto host = platform::ToHostPath(info->lpFile);
    std::error_code ec;
    if (!host || !std::filesystem::exists(*host, ec)) {
        info->hInstApp = SE_ERR_FNF;
        return FALSE_;
    }
    const bool shown = ShowPropertiesOverDBus(*host);
    info->hInstApp = shown ? 42 : SE_ERR_NOASSOC;
    return shown ? TRUE_ : FALSE_;
}

}  // namespace win
