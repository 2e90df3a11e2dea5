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

    modCloud::Outcome Outcome() const { return result_.outcome; }
    // The outcome and what became of each archive (Downloaded at best).
    const modCloud::DownloadResult& Result() const { return result_; }

private:
    modCloud::Outcome Download();
    modCloud::Arrival DownloadArchive(const char* archive);

    std::unique_ptr<cFTP> mFTP;
    QLabel* lblStatus = nullptr;
    QTimer* Timer1 = nullptr;
    modCloud::DownloadResult result_;
};
