#include "TestApplication.h"

#include <QApplication>

namespace testsupport {

QApplication& TestApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    static int argc = 1;
    static char name[] = "quarnel_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace testsupport
