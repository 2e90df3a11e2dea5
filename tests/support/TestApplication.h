#pragma once
// The one Qt application object of a test program, created at first use.
class QApplication;

namespace testsupport {
QApplication& TestApplication();
}
