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

inline void RunDeferredDeletes() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

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
