#pragma once
// A configuration window (the safe-mode twin unless a test asks for the
// other) on real widgets, offscreen, over a fresh host whose program runs from
// C:\Program Files\Quarnel; helpers to reach its controls by name and the
// settings and list files by their Windows names.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "config/ConfigWindow.h"
#include "config/frmConfig2.h"
#include "platform/api/MessageBox.h"
#include "platform/api/ProfileIni.h"
#include "support/Controls.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace configtest {

namespace fs = std::filesystem;

inline const std::string kProgramFolder = "C:\\Program Files\\Quarnel\\";

using testsupport::Control;

inline std::string Text(QWidget* window, const std::string& box) {
    return Control<QLineEdit>(window, box)->text().toStdString();
}

inline std::vector<std::string> Entries(QWidget* window, const std::string& list) {
    std::vector<std::string> entries;
    auto* control = Control<QListWidget>(window, list);
    for (int i = 0; i < control->count(); ++i) entries.push_back(control->item(i)->text().toStdString());
    return entries;
}

// A left button pressed and released at a point of the widget, as the user clicks.
inline void LeftClick(QWidget* widget, const QPointF& at) {
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }
}

inline void RunDeferredDeletes() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The keys of a save in the order the save writes them.
inline const std::pair<const char*, const char*> kSaveOrder[] = {
    {"Nimbrel", "UpdateConfig"},           {"Nimbrel", "UserName"},
    {"Nimbrel", "Password"},               {"Nimbrel", "UpdateAfterInstall"},
    {"Heartbeat", "ReportNewlyInstalledApps"}, {"Heartbeat", "ReportAutoSvcsNotRunning"},
    {"General", "PasswordProtectConfig"},  {"General", "ConfigPassword"},
    {"ScheduledTasks", "HeartbeatInst"},   {"ScheduledTasks", "HeartbeatTime"},
    {"ScheduledTasks", "AppUpdateInst"},   {"ScheduledTasks", "AppUpdateTime"},
    {"ScheduledTasks", "ProfileUpdateInst"}, {"ScheduledTasks", "ProfileUpdateNum"},
    {"ScheduledTasks", "ProfileUpdateTime"}, {"General", "StartupSet"},
    {"General", "ClientPrompt"},           {"General", "ShowTrayIcon"},
    {"General", "RulesWebLoc"},            {"General", "RulesWebLoc1"},
    {"General", "RulesWebLoc2"},           {"General", "RulesWebLoc3"},
    {"General", "Identifier"},             {"General", "ShowTaskBar"},
    {"General", "SendEmail"},              {"EmailConfig", "SMTPServer"},
    {"EmailConfig", "SMTPPort"},           {"EmailConfig", "SMTPUserName"},
    {"EmailConfig", "SMTPPassword"},       {"EmailConfig", "FromEmail"},
    {"EmailConfig", "ToEmail"},            {"EmailConfig", "SMTPAuth"},
    {"EmailConfig", "UseSSL"},
};

class ConfigWindowTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
    }
    void TearDown() override {
        if (window_) delete window_.data();
        RunDeferredDeletes();
        platform::ClearMessageBoxQueue();
    }

    // Opens the safe-mode twin (its load reads the files as they are now).
    ConfigWindow* Open(bool configOnly = false) {
        if (window_) delete window_.data();
        window_ = new frmConfig2("Quarnel  v1.0", configOnly);
        return window_;
    }
    ConfigWindow* Window() const { return window_; }

    template <typename Widget>
    Widget* C(const std::string& name) const {
        return Control<Widget>(window_, name);
    }
    QLineEdit* Box(const std::string& name) const { return C<QLineEdit>(name); }
    QCheckBox* Check(const std::string& name) const { return C<QCheckBox>(name); }
    QListWidget* List(const std::string& name) const { return C<QListWidget>(name); }
    void Click(const std::string& button) const { C<QPushButton>(button)->click(); }
    // The window shown on the panel that holds the control, as the user
    // navigates there.
    void ShowPanelOf(QWidget* control) const {
        QWidget* panel = control;
        while (panel && !panel->objectName().startsWith("pic")) panel = panel->parentWidget();
        ASSERT_NE(panel, nullptr);
        window_->show();
        window_->HidePanels();
        window_->ShowPanel(panel);
        QCoreApplication::processEvents();
    }
    // A left click on an entry, pressed and released over its row, on the shown panel.
    static void ClickEntry(QAbstractItemView* view, const QModelIndex& entry) {
        ASSERT_TRUE(entry.isValid());
        LeftClick(view->viewport(), view->visualRect(entry).center());
    }
    void ClickEntry(const std::string& list, const std::string& text) const {
        ShowPanelOf(List(list));
        const auto found = List(list)->findItems(QString::fromStdString(text), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << list << " " << text;
        ClickEntry(List(list), List(list)->indexFromItem(found.first()));
    }

    fs::path HostFile(const std::string& nameInProgramFolder) const {
        return host_.HostOf(kProgramFolder + nameInProgramFolder);
    }
    fs::path IniFile() const { return HostFile("Quarnel.ini"); }
    fs::path ListFile(const std::string& name) const { return HostFile("Rules\\" + name); }
    std::string ListText(const std::string& name) const { return testsupport::ReadHostFile(ListFile(name)); }

    void Setting(const std::string& section, const std::string& key, const std::string& value) const {
        CommonModule::WriteIniString(CommonModule::sINI, section, key, value);
    }
    // The stored value, uncut; nothing when the key is missing.
    std::optional<std::string> Stored(const std::string& section, const std::string& key) const {
        return platform::ReadIniValue(IniFile(), section, key);
    }

    testsupport::ProgramHost host_;
    QPointer<ConfigWindow> window_;
};

}  // namespace configtest
