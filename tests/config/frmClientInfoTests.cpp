// The first-run client window on real widgets (offscreen), driven through the
// modal display as a user would drive it, with a real registry in a fresh host.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <optional>
#include <string>

#include "support/Controls.h"
#include "support/TestApplication.h"
#include "common/modRegistry.h"
#include "config/frmClientInfo.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;

const std::string kNameRequired =
    "The Client Name field is required information!  Please enter this and then click Finish.";


using testsupport::Control;

void Type(QWidget* window, const char* box, const std::string& text) {
    Control<QLineEdit>(window, box)->setText(QString::fromStdString(text));
}

void ClickFinish(QWidget* window) { Control<QPushButton>(window, "Command1")->click(); }

std::optional<std::string> StoredValue(const char* valueName) {
    vb::Variant value;
    const auto result = modRegistry::fReadValue(kClientInfoRootKey, kClientInfoKeyPath, valueName, "S", "", value);
    if (result != 0) return std::nullopt;
    return value.ToText();
}

void Store(const char* valueName, const std::string& text) {
    ASSERT_EQ(modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, valueName, "S", text), 0);
}

class ClientInfoWindow : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
    }
    void TearDown() override { platform::ClearMessageBoxQueue(); }

    // Shows the window modal; the action plays the user's part.
    int Show(std::function<void(QWidget*)> action) {
        frmClientInfo window("Quarnel  v1.7.6", {name, phone, desc});
        platform::QueueModalAction(std::move(action));
        return platform::ShowModal(&window);
    }

    testsupport::TempHost host;
    std::string name = "old name";
    std::string phone = "old phone";
    std::string desc = "old desc";
};

TEST_F(ClientInfoWindow, CarriesItsCaptionLabelsAndEmptyBoxes) {
    Store(kClientNameValue, "Stored Client");
    frmClientInfo window("Quarnel  v1.7.6", {name, phone, desc});
    EXPECT_EQ(window.objectName(), "frmClientInfo");
    EXPECT_EQ(window.windowTitle().toStdString(), "Quarnel  v1.7.6  First Run Config");
    EXPECT_EQ(Control<QLabel>(&window, "Label1")->text().toStdString(),
              "Client Name:  (a person or business name is required.)");
    EXPECT_EQ(Control<QLabel>(&window, "Label2")->text().toStdString(), "Client Phone Number(s)");
    EXPECT_EQ(Control<QLabel>(&window, "Label4")->text().toStdString(),
              "PC Description:  (can include a location, e.g. PC in the front office.)");
    EXPECT_EQ(Control<QLabel>(&window, "Label3")->text().toStdString(),
              "This information will be sent along with alert based emails to your system administrator in order "
              "to quickly identify the PC and contact information.");
    EXPECT_EQ(Control<QPushButton>(&window, "Command1")->text().toStdString(), "Finish");
    // Stored values are not shown.
    for (const char* box : {"Text1", "Text2", "Text3"})
        EXPECT_TRUE(Control<QLineEdit>(&window, box)->text().isEmpty()) << box;
}

TEST_F(ClientInfoWindow, FinishWithoutANameAsksForItAndStaysOpen) {
    testsupport::StderrCapture debug;
    bool stillOpen = false;
    Show([&](QWidget* window) {
        Type(window, "Text2", "555-0100");
        platform::QueueMessageBoxAnswer(vb::vbOK);
        ClickFinish(window);
        stillOpen = window->isVisible();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_NE(debug.Text().find("MsgBox \"Quarnel\": " + kNameRequired + " -> OK"), std::string::npos)
        << debug.Text();
    EXPECT_EQ(name, "old name");
    EXPECT_EQ(phone, "old phone");
    EXPECT_EQ(StoredValue(kClientNameValue), std::nullopt);
    EXPECT_EQ(StoredValue(kClientPhoneValue), std::nullopt);
}

TEST_F(ClientInfoWindow, FinishStoresTheEntriesAndCloses) {
    bool stillOpen = true;
    const int result = Show([&](QWidget* window) {
        Type(window, "Text1", "Brindle B\xc3\xa4" "ckerei");
        Type(window, "Text2", "555-0100, 555-0199");
        Type(window, "Text3", "PC in the front office");
        ClickFinish(window);
        stillOpen = window->isVisible();
    });
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(name, "Brindle B\xc3\xa4" "ckerei");
    EXPECT_EQ(phone, "555-0100, 555-0199");
    EXPECT_EQ(desc, "PC in the front office");
    EXPECT_EQ(StoredValue(kClientNameValue), "Brindle B\xc3\xa4" "ckerei");
    EXPECT_EQ(StoredValue(kClientPhoneValue), "555-0100, 555-0199");
    EXPECT_EQ(StoredValue(kPCDescValue), "PC in the front office");
}

// A name of blanks counts as filled in; empty phone and description are
// stored as empty values, replacing what was stored before.
TEST_F(ClientInfoWindow, BlankNameIsAcceptedAndEmptyFieldsAreStoredEmpty) {
    Store(kClientNameValue, "Earlier Client");
    Store(kClientPhoneValue, "555-0000");
    Store(kPCDescValue, "earlier desk");
    testsupport::StderrCapture debug;
    Show([&](QWidget* window) {
        Type(window, "Text1", "   ");
        ClickFinish(window);
    });
    EXPECT_EQ(debug.Text().find("MsgBox"), std::string::npos) << debug.Text();
    EXPECT_EQ(name, "   ");
    EXPECT_EQ(phone, "");
    EXPECT_EQ(desc, "");
    EXPECT_EQ(StoredValue(kClientNameValue), "   ");
    EXPECT_EQ(StoredValue(kClientPhoneValue), "");
    EXPECT_EQ(StoredValue(kPCDescValue), "");
}

TEST_F(ClientInfoWindow, ClosingWithTheCloseBoxWritesNothing) {
    Store(kClientNameValue, "Kept Client");
    const int result = Show([&](QWidget* window) {
        Type(window, "Text1", "Typed but not finished");
        window->close();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(name, "old name");
    EXPECT_EQ(StoredValue(kClientNameValue), "Kept Client");
    EXPECT_EQ(StoredValue(kClientPhoneValue), std::nullopt);
}

// A window nobody answers (no display, no test action) closes as its close box would.
TEST_F(ClientInfoWindow, UnansweredWindowClosesWithoutStoring) {
    frmClientInfo window("Quarnel  v1.7", {name, phone, desc});
    EXPECT_EQ(platform::ShowModal(&window), QDialog::Rejected);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(StoredValue(kClientNameValue), std::nullopt);
}

// A registry that cannot be written: the run keeps the entries all the same.
TEST_F(ClientInfoWindow, FailingRegistryWriteStillSetsTheValuesInMemory) {
    fs::create_directories(host.Folder() / "registry.db");
    bool stillOpen = true;
    Show([&](QWidget* window) {
        Type(window, "Text1", "Unstored Client");
        Type(window, "Text3", "lab PC");
        ClickFinish(window);
        stillOpen = window->isVisible();
    });
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(StoredValue(kClientNameValue), std::nullopt);
    EXPECT_EQ(name, "Unstored Client");
    EXPECT_EQ(phone, "");
    EXPECT_EQ(desc, "lab PC");
}

}  // namespace
