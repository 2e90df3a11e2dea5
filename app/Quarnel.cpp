// Quarnel.exe: the desktop monitor and its command-line tasks.
#include <QApplication>

#include "common/CommonModule.h"
#include "monitor/modDHM.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "platform/host/QtPlatform.h"
#include "platform/api/RuntimeError.h"

namespace {

// An error nothing trapped ends the program as the run time ends it: with
// its message box.
void ReportUntrappedError(const RuntimeError& error) {
    CommonModule::LogError("modDHM\\Main", error.Number(), error.Description());
    vb::MsgBox("Run-time error '" + std::to_string(error.Number()) + "':\n\n" + error.Description(),
               vb::vbCritical);
}

}  // namespace

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    platform::ChooseQtPlatform();
    QApplication app(argc, argv);
    try {
        modDHM::Main();
    } catch (const RuntimeError& error) {
        ReportUntrappedError(error);
        return 1;
    }
    // The process lives as long as one of its windows is loaded.
    if (!platform::AnyWindowLoaded()) return 0;
    return app.exec();
}
