#pragma once
// The first-run client window: asks once for the client's name, phone and a
// description of the computer, and keeps the answers in the registry, where
// the normal start and the mail read them.
#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

#include "common/modRegistry.h"

// Where the client-information values live (text values): the program's key.
inline constexpr const char* kClientNameValue = "Client Name";
inline constexpr const char* kClientPhoneValue = "Client Phone";
inline constexpr const char* kPCDescValue = "PC Desc";

// The program-wide values that Finish fills in.
struct ClientInfoValues {
    std::string& sClientName;
    std::string& sClientPhone;
    std::string& sPCDesc;
};

class frmClientInfo : public QDialog {
    Q_OBJECT
public:
    // appTitle is the program's title text; the caption adds "  First Run Config".
    frmClientInfo(const std::string& appTitle, ClientInfoValues values, QWidget* parent = nullptr);

    void Form_Load();
    void Command1_Click();

private:
    void BuildControls();
    void StoreValues();

    std::string appTitle_;
    ClientInfoValues values_;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Command1 = nullptr;
};
