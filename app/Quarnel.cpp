// Quarnel.exe: the desktop monitor and its command-line tasks.
#include <QApplication>

#include "monitor/modDHM.h"
#include "platform/api/EventLoop.h"
#include "platform/api/Program.h"
#include "platform/api/RuntimeError.h"

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    platform::ChooseWindowPlatform();
    QApplication app(argc, argv);
    try {
        modDHM::Main();
    } catch (const RuntimeError& error) {
        modDHM::ReportUntrappedError(error);
        return 1;
    }
    // The process lives as long as one of its windows is loaded.
    if (!platform::AnyFormLoaded()) return 0;
    return app.exec();
}
