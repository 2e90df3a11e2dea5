// The exclusion and heartbeat list editors: the add and remove buttons change
// the controls only; the window's save writes the list files.
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTreeWidget>

#include "ConfigFiles.h"
#include "ConfigWindow.h"
#include "FormControls.h"
#include "common/modSocketSupport.h"
#include "platform/api/MessageBox.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Wmi.h"

namespace {

void AddIfTyped(QListWidget* list, const QString& text) {
    if (!text.isEmpty()) list->addItem(text);
}

void RemoveFirstSelected(QListWidget* list) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected()) {
            delete list->takeItem(i);
            FormControls::ClearChoice(list);
            return;
        }
    }
}

}  // namespace

QListWidget* ConfigWindow::ChosenExclusionList() const {
    if (optEventIDEx->isChecked()) return listEventIDEx;
    if (optEventSourceEx->isChecked()) return listEventSourceEx;
    if (optEventDescEx->isChecked()) return listEventDescEx;
    return nullptr;
}

void ConfigWindow::cmdAddEx_Click() {
    if (QListWidget* list = ChosenExclusionList()) AddIfTyped(list, txtAddEx->text());
}

void ConfigWindow::cmdRemEx_Click() {
    if (QListWidget* list = ChosenExclusionList()) RemoveFirstSelected(list);
}

void ConfigWindow::cmdAddDrives_Click() { AddIfTyped(listHeartbeatDrives, comboDrvList->currentText().left(2)); }

void ConfigWindow::cmdRemDrives_Click() { RemoveFirstSelected(listHeartbeatDrives); }

void ConfigWindow::cmdAddSvc_Click() { AddIfTyped(listHeartbeatSvcs, comboSvcsList->currentText()); }

void ConfigWindow::cmdRemSvc_Click() { RemoveFirstSelected(listHeartbeatSvcs); }

// A line of the SNMP list separates its three fields by "|" and has no escaping.
void ConfigWindow::cmdAddSNMP_Click() {
    const QStringList fields{txtSNMPHost->text(), txtSNMPComm->text(), txtSNMPOID->text()};
    for (const QString& field : fields) {
        if (field.contains('|')) {
            vb::MsgBox("An SNMP host, community or OID cannot hold \"|\".", vb::vbExclamation);
            return;
        }
    }
    lvHeartbeatSNMP->addTopLevelItem(new QTreeWidgetItem(fields));
}

void ConfigWindow::cmdRemSNMP_Click() {
    const QList<QTreeWidgetItem*> selected = lvHeartbeatSNMP->selectedItems();
    if (selected.isEmpty()) return;
    delete selected.first();
    FormControls::ClearChoice(lvHeartbeatSNMP);
}

void ConfigWindow::LoadServices() {
    try {
        const wmi::Services services = wmi::GetObject(std::string("winmgmts:") + "{impersonationLevel=impersonate}!\\\\" +
                                                      "." + "\\root\\cimv2");
        QStringList names;
        for (const wmi::Object& service : services.ExecQuery("Select * from Win32_Service "))
            names << QString::fromStdString(service.Property("Name").ToText());
        AddItemsKeepingText(comboSvcsList, names);
    } catch (const RuntimeError&) {
        // Without WMI the box stays as it is; a service name can still be typed.
    }
}

void ConfigWindow::LoadSNMPList() {
    lvHeartbeatSNMP->clear();
    lvHeartbeatSNMP->setColumnCount(3);
    lvHeartbeatSNMP->setHeaderLabels({"IP Address/Hostname", "Community", "OID"});
    for (const std::string& line : ConfigFiles::ReadListFile(ConfigFiles::ListFilePath("Heartbeat_SNMP_List.txt"))) {
        std::vector<std::string> parts;
        modSocketSupport::SplitString(parts, line, "|");
        QStringList columns;
        for (size_t i = 0; i < parts.size() && i < 3; ++i) columns << QString::fromStdString(parts[i]);
        lvHeartbeatSNMP->addTopLevelItem(new QTreeWidgetItem(columns));
    }
    AutoSizeColumns(lvHeartbeatSNMP);
}

void ConfigWindow::AutoSizeColumns(QTreeWidget* listView) {
    for (int column = 0; column < listView->columnCount(); ++column) listView->resizeColumnToContents(column);
}
