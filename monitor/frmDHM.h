#pragma once
// The monitor window. Loaded hidden by the normal start, its load either runs
// the live event loop (records checked against the rules, alerts shown as
// tray balloons) or, with "/showform", shows the alert history.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "FormResizer.h"

class QMenu;
class frmSysTray;

class frmDHM : public QWidget {
    Q_OBJECT

public:
    explicit frmDHM(QWidget* parent = nullptr);
    ~frmDHM() override;

    // "Load frmDHM": creates the one window when needed and runs its load.
    static frmDHM* Load();
    // The loaded window, or nullptr.
    static frmDHM* Instance();

    void Form_Load();
    void MonitorEvents();
    void SetTitles();
    void DoAction(const std::string& text);
    void ShowBalloon(const std::string& text, std::string title, std::int32_t& seconds);
    // Unloads the window: the tray icon and every other window go with it.
    void Unload();

    // Rule matching.
    void CheckAllRules(const std::string& sType, const std::string& sCode, const std::string& sSource,
                       const std::string& sMessage, const std::string& sLog);
    void CheckRule(std::string sFile, std::string sEventType, std::string sEventCode, std::string sEventSource,
                   std::string sEventMsg, std::string sEventLogName);
    void IsExcludedByID(const std::string& sEventCode, bool& bExcluded);
    void IsExcludedBySource(const std::string& sEventSource, bool& bExcluded);
    void IsExcludedByDesc(const std::string& sEventMsg, bool& bExcluded);
    // The alert text of one rule check: the time of day and the five labelled fields.
    static std::string AlertText(const std::string& type, const std::string& code, const std::string& source,
                                 const std::string& message, const std::string& log);

    bool bStopMonitor = false;
    std::string sHistoryFile;
    QPointer<frmSysTray> m_frmSysTray;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void EndProgram();

    FormResizer resizer_;
    QMenu* Menu_PopUp = nullptr;
    bool unloaded_ = false;
};
