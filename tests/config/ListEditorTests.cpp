// The exclusion and heartbeat list editors: add and remove change the
// controls, the save writes the files.
#include <QClipboard>
#include <QGuiApplication>
#include <functional>

#include "ConfigWindowFixture.h"
#include "platform/api/ServiceControl.h"
#include "support/StderrCapture.h"

namespace configtest {
namespace {

class ListEditors : public ConfigWindowTest {
protected:
    void SelectRow(const std::string& list, int row) const { List(list)->item(row)->setSelected(true); }
    std::vector<std::vector<std::string>> SnmpRows() const {
        std::vector<std::vector<std::string>> rows;
        auto* view = C<QTreeWidget>("lvHeartbeatSNMP");
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            rows.push_back({view->topLevelItem(i)->text(0).toStdString(), view->topLevelItem(i)->text(1).toStdString(),
                            view->topLevelItem(i)->text(2).toStdString()});
        return rows;
    }
};

TEST_F(ListEditors, TheChosenOptionDecidesTheExclusionList) {
    Open();
    Box("txtAddEx")->setText("4625");
    Click("cmdAddEx");  // no option chosen
    C<QRadioButton>("optEventIDEx")->setChecked(true);
    Click("cmdAddEx");
    Box("txtAddEx")->setText("");
    Click("cmdAddEx");
    C<QRadioButton>("optEventSourceEx")->setChecked(true);
    for (const char* source : {"Disk", "Atapi"}) {
        Box("txtAddEx")->setText(source);
        Click("cmdAddEx");
    }
    EXPECT_EQ(Text(Window(), "txtAddEx"), "Atapi");
    EXPECT_EQ(Entries(Window(), "listEventIDEx"), std::vector<std::string>{"4625"});
    EXPECT_EQ(Entries(Window(), "listEventSourceEx"), (std::vector<std::string>{"Disk", "Atapi"}));
    EXPECT_TRUE(Entries(Window(), "listEventDescEx").empty());

    SelectRow("listEventIDEx", 0);
    SelectRow("listEventSourceEx", 1);
    Click("cmdRemEx");
    EXPECT_EQ(Entries(Window(), "listEventSourceEx"), std::vector<std::string>{"Disk"});
    EXPECT_EQ(Entries(Window(), "listEventIDEx"), std::vector<std::string>{"4625"});
    Click("cmdRemEx");  // nothing selected in the chosen list
    EXPECT_EQ(Entries(Window(), "listEventSourceEx"), std::vector<std::string>{"Disk"});
}

TEST_F(ListEditors, DrivesTakeTheirLetterAndColonAndRepeatsAreSavedOnce) {
    Open();
    for (const char* typed : {"D:", "d:\\data\\logs", "D:", "", "E"}) {
        C<QComboBox>("comboDrvList")->setEditText(typed);
        Click("cmdAddDrives");
    }
    EXPECT_EQ(Entries(Window(), "listHeartbeatDrives"), (std::vector<std::string>{"D:", "d:", "D:", "E"}));
    ASSERT_TRUE(Window()->SaveSettings());
    Open();
    EXPECT_EQ(Entries(Window(), "listHeartbeatDrives"), (std::vector<std::string>{"D:", "E"}));
    SelectRow("listHeartbeatDrives", 1);
    Click("cmdRemDrives");
    SelectRow("listHeartbeatDrives", 0);
    Click("cmdRemDrives");
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_FALSE(fs::exists(ListFile("Heartbeat_Partition_List.txt")));
}

TEST_F(ListEditors, WithoutServicesATypedNameCanBeAdded) {
    Open();
    EXPECT_EQ(C<QComboBox>("comboSvcsList")->count(), 0);
    C<QComboBox>("comboSvcsList")->setEditText("Spooler");
    Click("cmdAddSvc");
    C<QComboBox>("comboSvcsList")->setEditText("");
    Click("cmdAddSvc");
    EXPECT_EQ(Entries(Window(), "listHeartbeatSvcs"), std::vector<std::string>{"Spooler"});
    SelectRow("listHeartbeatSvcs", 0);
    Click("cmdRemSvc");
    EXPECT_TRUE(Entries(Window(), "listHeartbeatSvcs").empty());
}

// The box offers the services' key names, not their display names, and keeps its empty text.
TEST_F(ListEditors, TheServicesBoxOffersTheMachinesServiceNames) {
    for (const char* name : {"Spooler", "wuauserv", "Dnscache"})
        ASSERT_EQ(platform::CreateService({name, std::string("Display of ") + name, "C:\\svc.exe"}), 0u) << name;
    Open();
    auto* box = C<QComboBox>("comboSvcsList");
    QStringList offered;
    for (int i = 0; i < box->count(); ++i) offered << box->itemText(i);
    offered.sort(Qt::CaseInsensitive);
    EXPECT_EQ(offered, (QStringList{"Dnscache", "Spooler", "wuauserv"}));
    EXPECT_EQ(box->currentText().toStdString(), "");
    box->setCurrentIndex(box->findText("Spooler"));
    Click("cmdAddSvc");
    EXPECT_EQ(Entries(Window(), "listHeartbeatSvcs"), std::vector<std::string>{"Spooler"});
}

TEST_F(ListEditors, SnmpRowsLoadAddAndSave) {
    testsupport::WriteHostFile(ListFile("Heartbeat_SNMP_List.txt"),
                               "printer|public|1.3.6.1.2.1.1.5.0\r\nhost-only\r\n\r\nrouter|private|1.3|extra\r\n");
    Open();
    EXPECT_EQ(SnmpRows(), (std::vector<std::vector<std::string>>{{"printer", "public", "1.3.6.1.2.1.1.5.0"},
                                                                 {"host-only", "", ""},
                                                                 {"router", "private", "1.3"}}));
    auto* view = C<QTreeWidget>("lvHeartbeatSNMP");
    EXPECT_EQ(view->headerItem()->text(0).toStdString(), "IP Address/Hostname");
    EXPECT_EQ(view->headerItem()->text(2).toStdString(), "OID");
    Click("cmdAddSNMP");  // empty host, initial community and OID
    for (const char* field : {"txtSNMPHost", "txtSNMPComm", "txtSNMPOID"}) {
        const std::string before = Text(Window(), field);
        Box(field)->setText("a|b");
        testsupport::StderrCapture capture;
        Click("cmdAddSNMP");
        EXPECT_NE(capture.Text().find("\"|\""), std::string::npos) << field;
        Box(field)->setText(QString::fromStdString(before));
    }
    EXPECT_EQ(view->topLevelItemCount(), 4);
    view->topLevelItem(0)->setSelected(true);
    Click("cmdRemSNMP");
    view->clearSelection();
    Click("cmdRemSNMP");
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_EQ(ListText("Heartbeat_SNMP_List.txt"), "host-only||\r\nrouter|private|1.3\r\n|public|1.3.6.1.2.1.25.1.1.0\r\n");
}

// A remove leaves no entry chosen, as a list box is after RemoveItem: a
// second click on Remove, before another entry is picked, removes nothing.
TEST_F(ListEditors, ASecondRemoveWithoutANewChoiceRemovesNothing) {
    struct Case {
        const char* list;
        const char* remove;
        std::function<void(const char*)> add;
    };
    Open();
    C<QRadioButton>("optEventSourceEx")->setChecked(true);
    const Case cases[] = {
        {"listEventSourceEx", "cmdRemEx",
         [this](const char* entry) {
             Box("txtAddEx")->setText(entry);
             Click("cmdAddEx");
         }},
        {"listHeartbeatDrives", "cmdRemDrives",
         [this](const char* entry) {
             C<QComboBox>("comboDrvList")->setEditText(entry);
             Click("cmdAddDrives");
         }},
        {"listHeartbeatSvcs", "cmdRemSvc",
         [this](const char* entry) {
             C<QComboBox>("comboSvcsList")->setEditText(entry);
             Click("cmdAddSvc");
         }},
    };
    for (const Case& each : cases) {
        for (const char* entry : {"D:", "E:", "F:"}) each.add(entry);
        ClickEntry(each.list, "E:");
        Click(each.remove);
        EXPECT_TRUE(List(each.list)->selectedItems().isEmpty()) << each.list;
        Click(each.remove);
        EXPECT_EQ(Entries(Window(), each.list), (std::vector<std::string>{"D:", "F:"})) << each.list;
    }
    auto* view = C<QTreeWidget>("lvHeartbeatSNMP");
    for (const char* host : {"a", "b", "c"}) {
        Box("txtSNMPHost")->setText(host);
        Click("cmdAddSNMP");
    }
    ShowPanelOf(view);
    ClickEntry(view, view->indexFromItem(view->topLevelItem(1)));
    Click("cmdRemSNMP");
    Click("cmdRemSNMP");
    ASSERT_EQ(view->topLevelItemCount(), 2);
    EXPECT_EQ(view->topLevelItem(1)->text(0).toStdString(), "c");
}

// List entries have no settings key behind them: a pasted text is taken
// whole, beyond the length a settings value reads back.
TEST_F(ListEditors, APastedEntryIsTakenWhole) {
    Open();
    const auto paste = [this](const char* box, const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
        Box(box)->clear();
        Box(box)->paste();
        EXPECT_EQ(Text(Window(), box), text) << box;
    };
    const std::string phrase = "disk " + std::string(40000, 'x');
    C<QRadioButton>("optEventDescEx")->setChecked(true);
    paste("txtAddEx", phrase);
    Click("cmdAddEx");
    const std::string host(300, 'h'), community(300, 'c'), oid = "1.3.6.1.4.1." + std::string(300, '9');
    paste("txtSNMPHost", host);
    paste("txtSNMPComm", community);
    paste("txtSNMPOID", oid);
    Click("cmdAddSNMP");
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_EQ(ListText("GlobalExclusion_EventDesc_List.txt"), phrase + "\r\n");
    EXPECT_EQ(ListText("Heartbeat_SNMP_List.txt"), host + "|" + community + "|" + oid + "\r\n");
}

}  // namespace
}  // namespace configtest
