// The panel buttons that act outside the window: scheduled tasks, the test
// mail, the rules download, the cloud transfer and the configuration archive.
#include "ConfigWindow.h"

void ConfigWindow::cmdSchedule_Click() { DebugNotBuilt("cmdSchedule_Click", "the daily rules-update task"); }

void ConfigWindow::Command1_Click() { DebugNotBuilt("Command1_Click", "the weekly program-update task"); }

void ConfigWindow::Command2_Click() { DebugNotBuilt("Command2_Click", "the daily heartbeat task"); }

void ConfigWindow::cmdTestEmail_Click() { DebugNotBuilt("cmdTestEmail_Click", "the test mail"); }

void ConfigWindow::cmdDownloadRulesNow_Click() {
    DebugNotBuilt("cmdDownloadRulesNow_Click", "the rules download");
}

void ConfigWindow::Command4_Click() { DebugNotBuilt("Command4_Click", "the cloud configuration download"); }

void ConfigWindow::Command5_Click() { DebugNotBuilt("Command5_Click", "the cloud configuration upload"); }

void ConfigWindow::SaveAndZipConfig() { DebugNotBuilt("SaveAndZipConfig", "the configuration archive"); }
