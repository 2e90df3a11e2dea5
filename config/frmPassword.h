#pragma once
// The password prompt in front of the configuration window: only the
// configuration password stored in the settings file lets it open.
#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

class frmPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(const std::string& sINI, QWidget* parent = nullptr);

    // Shows the prompt modal for the settings file sINI; true when the
    // password typed matched, false when the window was closed instead.
    static bool Prompt(const std::string& sINI);

    void Form_Load();
    void Command1_Click();
    bool PasswordMatched() const { return matched_; }

private:
    void BuildControls();
    std::string StoredPassword() const;

    std::string sINI_;
    bool matched_ = false;
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
};
