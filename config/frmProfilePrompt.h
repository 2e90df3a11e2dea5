#pragma once
// The rules-profile prompt: when two or more rules profiles are set, the
// user picks the profile and the time of the daily rules-update task, which
// the window creates.
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmProfilePrompt : public QDialog {
    Q_OBJECT
public:
    explicit frmProfilePrompt(QWidget* parent = nullptr);

    void Form_Load();
    void Combo1_Click();
    void Command1_Click();
    void Command2_Click();

private:
    void BuildControls();

    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
