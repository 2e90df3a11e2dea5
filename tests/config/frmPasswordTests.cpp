// The password prompt on real widgets (offscreen), shown through the modal
// display and driven as a user would, against a settings file in a fresh host.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "config/frmPassword.h"
#include "net/modBase85.h"
#include "platform/api/MessageBox.h"
#include "support/Controls.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

const std::string kIni = "C:\\Program Files\\Quarnel\\Quarnel.ini";

using testsupport::Control;

QLineEdit* PasswordBox(QWidget* window) { return Control<QLineEdit>(window, "Text1"); }

void TypeAndClickOK(QWidget* window, const std::string& text) {
    PasswordBox(window)->setText(QString::fromStdString(text));
    Control<QPushButton>(window, "Command1")->click();
}

class PasswordPrompt : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
        std::filesystem::create_directories(host.HostOf("C:\\Program Files\\Quarnel"));
    }
    void TearDown() override { platform::ClearMessageBoxQueue(); }

    void StoreConfigPassword(const std::string& password) {
        StoreRawValue(modBase85::XorEncode(password, modBase85::kConfigPasswordKey));
    }
    void StoreRawValue(const std::string& value) {
        CommonModule::WriteIniString(kIni, "General", "ConfigPassword", value);
    }

    // Shows the prompt; the action plays the user's part.
    bool Prompt(std::function<void(QWidget*)> action) {
        platform::QueueModalAction(std::move(action));
        return frmPassword::Prompt(kIni);
    }
    bool PromptTyping(const std::string& text) {
        return Prompt([&](QWidget* window) { TypeAndClickOK(window, text); });
    }

    testsupport::TempHost host;
};

TEST_F(PasswordPrompt, CarriesItsCaptionAndMasksTheTypedCharacters) {
    frmPassword window(kIni);
    EXPECT_EQ(window.objectName(), "frmPassword");
    EXPECT_EQ(window.windowTitle().toStdString(), "Enter Password");
    EXPECT_EQ(Control<QPushButton>(&window, "Command1")->text().toStdString(), "OK");
    QLineEdit* box = PasswordBox(&window);
    EXPECT_EQ(box->echoMode(), QLineEdit::Password);
    box->setText("abc d");
    window.ensurePolished();
    EXPECT_EQ(box->displayText().toStdString(), "*****");
    EXPECT_EQ(box->text().toStdString(), "abc d");
}

struct Attempt {
    std::string stored;
    std::string typed;
    bool matches;
};

TEST_F(PasswordPrompt, OnlyTheExactStoredPasswordMatches) {
    const std::vector<Attempt> attempts = {
        {"Secret", "Secret", true},
        {"Secret", "secret", false},
        {"Secret", "SECRET", false},
        {"Secret", "Secre", false},
        {"Secret", "Secret ", false},
        {"Secret", "", false},
        {"p\xc3\xa4ss w\xc3\xb6rd", "p\xc3\xa4ss w\xc3\xb6rd", true},
        {"p\xc3\xa4ss w\xc3\xb6rd", "p\xc3\x84ss w\xc3\xb6rd", false},
        {"", "", true},
        {"", " ", false},
        // Stored and typed alike as the ANSI code page holds them.
        {"a\xce\xa9" "b", "a\xce\xa9" "b", true},
    };
    for (const auto& attempt : attempts) {
        StoreConfigPassword(attempt.stored);
        EXPECT_EQ(PromptTyping(attempt.typed), attempt.matches) << attempt.stored << " / " << attempt.typed;
    }
}

TEST_F(PasswordPrompt, AMatchUnloadsTheWindowWithAccepted) {
    StoreConfigPassword("Secret");
    frmPassword window(kIni);
    platform::QueueModalAction([](QWidget* shown) { TypeAndClickOK(shown, "Secret"); });
    EXPECT_EQ(platform::ShowModal(&window), QDialog::Accepted);
    EXPECT_TRUE(window.PasswordMatched());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(PasswordPrompt, WrongTriesClearTheBoxAndKeepTheRefusalCaptionUntilAMatch) {
    StoreConfigPassword("Secret");
    std::vector<std::string> captions;
    std::vector<std::string> boxes;
    bool openAfterWrongTries = false;
    bool openAfterMatch = true;
    const bool matched = Prompt([&](QWidget* window) {
        for (const std::string wrong : {"secret", "Secret1", "", "x"}) {
            TypeAndClickOK(window, wrong);
            captions.push_back(window->windowTitle().toStdString());
            boxes.push_back(PasswordBox(window)->text().toStdString());
        }
        openAfterWrongTries = window->isVisible();
        PasswordBox(window)->setText("Secr");
        captions.push_back(window->windowTitle().toStdString());
        TypeAndClickOK(window, "Secret");
        openAfterMatch = window->isVisible();
    });
    EXPECT_TRUE(matched);
    EXPECT_TRUE(openAfterWrongTries);
    EXPECT_FALSE(openAfterMatch);
    EXPECT_EQ(captions, std::vector<std::string>(5, "Incorrect Password"));
    EXPECT_EQ(boxes, std::vector<std::string>(4, ""));
}

TEST_F(PasswordPrompt, CloseButtonRefusesEvenAfterTypingThePassword) {
    StoreConfigPassword("Secret");
    EXPECT_FALSE(Prompt([](QWidget* window) {
        PasswordBox(window)->setText("Secret");
        window->close();
    }));
    EXPECT_FALSE(Prompt([](QWidget* window) {
        TypeAndClickOK(window, "wrong");
        window->close();
    }));
}

// No display and nobody to answer: the window closes as its close box would.
TEST_F(PasswordPrompt, UnansweredPromptRefuses) {
    StoreConfigPassword("");
    EXPECT_FALSE(frmPassword::Prompt(kIni));
}

// A stored value that is missing, empty or undecodable counts as the empty
// password; one scrambled with another key is just another password.
TEST_F(PasswordPrompt, UnreadableStoredPasswordComparesAsEmpty) {
    const std::vector<std::optional<std::string>> values = {
        std::nullopt, "", "   ", "not{ascii85~>", "(D%?$", "!!~>", "<~~>",
    };
    for (const auto& value : values) {
        if (value) StoreRawValue(*value);
        const std::string shown = value ? *value : "(missing)";
        EXPECT_TRUE(PromptTyping("")) << shown;
        EXPECT_FALSE(PromptTyping("a")) << shown;
    }
    StoreRawValue(modBase85::XorEncode("Secret", modBase85::kMailPasswordKey));
    EXPECT_FALSE(PromptTyping("Secret"));
    EXPECT_FALSE(PromptTyping(""));
}

}  // namespace
