#pragma once
// Controls of a window found by their object names, as the forms name them.
#include <gtest/gtest.h>

#include <QString>
#include <QWidget>
#include <string>

namespace testsupport {

// The child of that name and type; a test failure (and null) when there is none.
template <typename Widget>
Widget* Control(const QObject* window, const std::string& name) {
    auto* control = window->findChild<Widget*>(QString::fromStdString(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

}  // namespace testsupport
