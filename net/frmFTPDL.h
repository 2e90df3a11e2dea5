#pragma once
// The cloud download window: while it loads it fetches the configuration
// archive and the rules archive from the cloud service into the program
// folder, then closes itself 100 ms after it is shown.
#include <QDialog>
#include <memory>

#include "net/modCloud.h"

class QLabel;
class QTimer;
class cFTP;

class frmFTPDL : public QDialog {
    Q_OBJECT
public:
    explicit frmFTPDL(QWidget* parent = nullptr);
    ~frmFTPDL() override;

    void Form_Load();
    void Timer1_Timer();

    modCloud::Outcome Outcome() const { return outcome_; }

private:
    modCloud::Outcome Download();

    std::unique_ptr<cFTP> mFTP;
    QLabel* lblStatus = nullptr;
    QTimer* Timer1 = nullptr;
    modCloud::Outcome outcome_ = modCloud::Outcome::Done;
};
