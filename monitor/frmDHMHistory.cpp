// The monitor window's alert-history view: its controls, the history file in
// the list, the buttons, the list's sorting and pop-up menu, and the tray
// icon's double click and menu.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

#include "EventWriter.h"
#include "common/ErrorTrap.h"
#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "common/modSocketSupport.h"
#include "frmDHM.h"
#include "frmSysTray.h"
#include "platform/api/Clipboard.h"
#include "platform/api/FileStatements.h"
#include "platform/api/MessageBox.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Twips.h"

namespace {

// The list's width less this many twips is shared out among the columns.
constexpr int kColumnMarginTwips = 325;

struct Column {
    const char* header;
    double share;
};
constexpr Column kColumns[] = {
    {"Time Logged", 0.1}, {"Event ID", 0.075}, {"Event Type", 0.1}, {"Event Source", 0.125}, {"Event Message", 0.6},
};
constexpr int kColumnCount = 5;
constexpr int kIdColumn = 1;
constexpr int kSourceColumn = 3;
constexpr int kMessageColumn = 4;

const std::string kSearchPage = "http://www.google.com/search?hl=en&q=";

using ErrorTrap::SkipErrors;

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, int left) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(left, 380, 150, 30);
    return button;
}

QAction* NewMenuItem(QMenu* menu, const char* name, const char* caption) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    return item;
}

// Any local program can write an event's text: control characters must not
// reach the URL handler as they are.
std::string EncodeControlCharacters(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        } else {
            encoded += c;
        }
    }
    return encoded;
}

// A row of the list: sorted as a Windows list sorts text, letter case ignored.
class HistoryItem : public QTreeWidgetItem {
public:
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }
};

}  // namespace

void frmDHM::CreateControls() {
    resize(640, 420);
    Label1 = new QLabel("Previous Events:", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 8, 300, 17);
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setGeometry(8, 28, 624, 344);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSortingEnabled(false);
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->viewport()->installEventFilter(this);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &frmDHM::ListView1_ColumnClick);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1_DblClick(); });
    Command2 = NewButton(this, "Command2", "Resume Desktop Monitor", 8);
    Command3 = NewButton(this, "Command3", "Clear Event History", 166);
    Command4 = NewButton(this, "Command4", "Launch Config", 324);
    Command1 = NewButton(this, "Command1", "Exit Desktop Monitor", 482);
    connect(Command1, &QPushButton::clicked, this, &frmDHM::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmDHM::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmDHM::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmDHM::Command4_Click);
}

void frmDHM::CreatePopupMenu() {
    Menu_PopUp = new QMenu("Selected Item", this);
    Menu_PopUp->setObjectName("Menu_PopUp");
    Menu_Google = NewMenuItem(Menu_PopUp, "Menu_Google", "Google Event ID/Source Only");
    Menu_Google2 = NewMenuItem(Menu_PopUp, "Menu_Google2", "Google with Event Description");
    Menu_dash = Menu_PopUp->addSeparator();
    Menu_dash->setObjectName("Menu_dash");
    Menu_Copy = NewMenuItem(Menu_PopUp, "Menu_Copy", "Copy Event Description to Clipboard");
    Menu_Copy2 = NewMenuItem(Menu_PopUp, "Menu_Copy2", "Copy All Info to Clipboard (multi-line)");
    connect(Menu_Google, &QAction::triggered, this, &frmDHM::Menu_Google_Click);
    connect(Menu_Google2, &QAction::triggered, this, &frmDHM::Menu_Google2_Click);
    connect(Menu_Copy, &QAction::triggered, this, &frmDHM::Menu_Copy_Click);
    connect(Menu_Copy2, &QAction::triggered, this, &frmDHM::Menu_Copy2_Click);
}

void frmDHM::ConnectTrayEvents() {
    if (!m_frmSysTray) return;
    connect(m_frmSysTray, &frmSysTray::SysTrayDoubleClick, this, &frmDHM::m_frmSysTray_SysTrayDoubleClick);
    connect(m_frmSysTray, &frmSysTray::MenuClick, this, &frmDHM::m_frmSysTray_MenuClick);
}

// --- the list -------------------------------------------------------------------

void frmDHM::SetupListView() {
    ListView1->clear();
    ListView1->setColumnCount(kColumnCount);
    QStringList headers;
    for (const Column& column : kColumns) headers << column.header;
    ListView1->setHeaderLabels(headers);
    const double sharedTwips = platform::TwipsX(ListView1->width()) - kColumnMarginTwips;
    for (int i = 0; i < kColumnCount; ++i)
        ListView1->setColumnWidth(i, platform::PixelsX(sharedTwips * kColumns[i].share));
}

void frmDHM::LoadHistory() {
    SkipErrors([&] { SetupListView(); });
    // Read as the other text files are, in the code page or UTF-8; CR LF, LF
    // or a CR alone end a line.
    std::vector<std::string> lines;
    SkipErrors([&] {
        if (!CommonModule::DoesFileExist(sHistoryFile)) return;
        vb::TextFile history(sHistoryFile, vb::TextFile::Mode::Input);
        while (!history.Eof()) lines.push_back(history.LineInput());
    });
    for (const std::string& line : lines)
        if (!line.empty()) AddHistoryLine(line);
}

void frmDHM::AddHistoryLine(const std::string& line) {
    std::vector<std::string> fields;
    SkipErrors([&] { modSocketSupport::SplitString(fields, line, "|"); });
    auto* item = new HistoryItem;
    for (int i = 0; i < kColumnCount && i < static_cast<int>(fields.size()); ++i)
        item->setText(i, QString::fromStdString(fields[i]));
    ListView1->addTopLevelItem(item);
}

void frmDHM::ListView1_ColumnClick(int column) {
    if (sorted_ && column == sortKey_) {
        descending_ = !descending_;
    } else {
        sortKey_ = column;
        descending_ = false;
    }
    sorted_ = true;
    ListView1->sortItems(sortKey_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    if (QTreeWidgetItem* item = SelectedItem()) ListView1->scrollToItem(item);
}

void frmDHM::ListView1_DblClick() { OpenWebSearch(true); }

void frmDHM::ListView1_MouseUp(Qt::MouseButton button, const QPoint& position) {
    if (button != Qt::RightButton) return;
    if (!ListView1->itemAt(position)) return;
    Menu_PopUp->popup(ListView1->viewport()->mapToGlobal(position));
}

bool frmDHM::eventFilter(QObject* watched, QEvent* event) {
    if (ListView1 && watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        ListView1_MouseUp(mouse->button(), mouse->position().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

QTreeWidgetItem* frmDHM::SelectedItem() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

std::string frmDHM::SelectedField(int column) const {
    QTreeWidgetItem* item = SelectedItem();
    return item ? item->text(column).toStdString() : std::string();
}

// --- the menu commands ----------------------------------------------------------

std::string frmDHM::AllInfoText(const std::string& id, const std::string& source, const std::string& message) {
    return "Event ID:  " + id + "\r\n" + "Event Source:  " + source + "\r\n" + "Event Description:  " + message;
}

std::string frmDHM::WebSearchAddress(const std::string& id, const std::string& source, const std::string& message,
                                     bool withDescription) {
    std::string query = "%22Event ID%22 " + id + " %22" + source + "%22 ";
    if (withDescription) query += message;
    return kSearchPage + EncodeControlCharacters(query);
}

void frmDHM::Menu_Copy_Click() {
    if (!SelectedItem()) return;
    SkipErrors([&] {
        vb::Clipboard::Clear();
        vb::Clipboard::SetText(SelectedField(kMessageColumn));
    });
}

void frmDHM::Menu_Copy2_Click() {
    if (!SelectedItem()) return;
    SkipErrors([&] {
        vb::Clipboard::Clear();
        vb::Clipboard::SetText(
            AllInfoText(SelectedField(kIdColumn), SelectedField(kSourceColumn), SelectedField(kMessageColumn)));
    });
}

void frmDHM::Menu_Google_Click() { OpenWebSearch(false); }

void frmDHM::Menu_Google2_Click() { OpenWebSearch(true); }

void frmDHM::OpenWebSearch(bool withDescription) {
    if (!SelectedItem()) return;
    CommonModule::OpenWebPage(WebSearchAddress(SelectedField(kIdColumn), SelectedField(kSourceColumn),
                                               SelectedField(kMessageColumn), withDescription));
}

// --- the buttons ----------------------------------------------------------------

void frmDHM::Command2_Click() {
    hide();
    bStopMonitor = false;
    MonitorEvents();
}

void frmDHM::Command3_Click() {
    if (vb::MsgBox("Clear Event History?", vb::vbOKCancel) == vb::vbCancel) return;
    SkipErrors([&] {
        if (CommonModule::DoesFileExist(sHistoryFile)) vb::Kill(sHistoryFile);
    });
    SkipErrors([&] { SetupListView(); });
}

void frmDHM::Command4_Click() {
    std::int32_t exitCode = 0;
    SkipErrors([&] { CommonModule::ShellX(CommonModule::AppPath() + "Quarnel_Stop.exe", "/config", false, 1, exitCode); });
    Unload();
}

void frmDHM::Command1_Click() {
    vb::MsgBox("Shutting down the Desktop Monitor component now, however the installed service will continue to run.",
               vb::vbOKOnly);
    Unload();
}

void frmDHM::Form_Resize() {
    SkipErrors([&] { resizer_.ResizeControls(*this, FormResizer::BaseForScaleWidth(FormResizer::ScaleWidth(*this))); });
}

// --- the tray icon --------------------------------------------------------------

void frmDHM::m_frmSysTray_SysTrayDoubleClick(std::int32_t) {
    bStopMonitor = true;
    SkipErrors([&] { EventWriter::WriteEventWithDll("Pausing event monitoring by systray icon.", 0); });
    std::int32_t exitCode = 0;
    SkipErrors([&] {
        CommonModule::ShellX(CommonModule::AppPath() + "Quarnel_Stop.exe", "/showform", false, 1, exitCode);
    });
    Unload();
}

void frmDHM::m_frmSysTray_MenuClick(std::int32_t, const std::string& sKey) {
    if (sKey != "close") return;
    int answer = vb::vbNo;
    SkipErrors([&] { answer = vb::MsgBox("Are you sure you wish to exit?", vb::vbYesNo + vb::vbQuestion); });
    if (answer != vb::vbYes) return;
    const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    bool notFound = false;
    SkipErrors([&] {
        modRegistry::fDeleteValue("HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "*Korvo", notFound);
    });
    SkipErrors([&] { modRegistry::fDeleteValue("HKLM", run, "MSConfig", notFound); });
    SkipErrors([&] { modRegistry::fDeleteValue("HKCU", run, "MSConfig", notFound); });
    Unload();
    EndProgram();
}
