#pragma once
// The cloud upload window: while it loads it sends the configuration
// archive and the rules archive, where the program folder has them, to the
// cloud service (each under a temporary name renamed into place once it is
// whole, or under its own name where the server refuses the rename), then
// closes itself 100 ms after it is shown.
#include <QDialog>
#include <memory>

#include "net/modCloud.h"

class QLabel;
class QTimer;
class cFTP;

class frmFTPUL : public QDialog {
    Q_OBJECT
public:
    explicit frmFTPUL(QWidget* parent = nullptr);
    ~frmFTPUL() override;

    void Form_Load();
    void Timer1_Timer();

    modCloud::Outcome Outcome() const { return outcome_; }

private:
    modCloud::Outcome Upload();

    std::unique_ptr<cFTP> mFTP;
    QLabel* lblStatus = nullptr;
    QTimer* Timer1 = nullptr;
    modCloud::Outcome outcome_ = modCloud::Outcome::Done;
};
