#pragma once
// The monitor window. Loaded hidden by the normal start, its load either runs
// the live event loop (records checked against the rules, alerts shown as
// tray balloons) or, with "/showform", shows the alert history: the alerts of
// EventLogs.txt in a five-column list with the commands to resume monitoring,
// clear the history, open the configuration and exit.
//
// The window is unloaded with Unload() (or its close box); it is deleted
// later. While the event loop runs, the window stays allocated: an unload from
// a handler nested in the loop's wait or in rule matching only marks it, and
// the loop then ends the program.
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "FormResizer.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
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
    void CheckRule(const std::string& sFile, const std::string& sEventType, const std::string& sEventCode,
                   const std::string& sEventSource, const std::string& sEventMsg, const std::string& sEventLogName);
    void IsExcludedByID(const std::string& sEventCode, bool& bExcluded);
    void IsExcludedBySource(const std::string& sEventSource, bool& bExcluded);
    void IsExcludedByDesc(const std::string& sEventMsg, bool& bExcluded);
    // The alert text of one rule check: the time of day and the five labelled fields.
    static std::string AlertText(const std::string& type, const std::string& code, const std::string& source,
                                 const std::string& message, const std::string& log);

    // The alert history.
    void SetupListView();
    void LoadHistory();
    void AddHistoryLine(const std::string& line);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void ListView1_ColumnClick(int column);
    void ListView1_DblClick();
    // Opens the list's pop-up menu for a right button released over an item.
    void ListView1_MouseUp(Qt::MouseButton button, const QPoint& position);
    void Menu_Copy_Click();
    void Menu_Copy2_Click();
    void Menu_Google_Click();
    void Menu_Google2_Click();
    void Form_Resize();

    // Tray icon events.
    void m_frmSysTray_SysTrayDoubleClick(std::int32_t eButton);
    void m_frmSysTray_MenuClick(std::int32_t lIndex, const std::string& sKey);

    // The web search address for an alert; with the description the message
    // ends the query. Control characters are percent-encoded.
    static std::string WebSearchAddress(const std::string& id, const std::string& source,
                                        const std::string& message, bool withDescription);
    // The clipboard text of "Copy All Info to Clipboard (multi-line)".
    static std::string AllInfoText(const std::string& id, const std::string& source, const std::string& message);

    bool bStopMonitor = false;
    std::string sHistoryFile;
    QPointer<frmSysTray> m_frmSysTray;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreatePopupMenu();
    void ConnectTrayEvents();
    QTreeWidgetItem* SelectedItem() const;
    std::string SelectedField(int column) const;
    void OpenWebSearch(bool withDescription);
    [[noreturn]] void EndProgram();

    FormResizer resizer_;
    QLabel* Label1 = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command1 = nullptr;
    QMenu* Menu_PopUp = nullptr;
    QAction* Menu_Google = nullptr;
    QAction* Menu_Google2 = nullptr;
    QAction* Menu_dash = nullptr;
    QAction* Menu_Copy = nullptr;
    QAction* Menu_Copy2 = nullptr;

    int sortKey_ = 0;
    bool sorted_ = false;
    bool descending_ = false;
    bool unloaded_ = false;
    int monitoring_ = 0;
};
