#pragma once
// The named controls the small prompt windows are built of: each gets the
// objectName by which tests and the window's own code find it.
class QBoxLayout;
class QLabel;
class QLineEdit;
class QWidget;

namespace FormControls {
QLabel* AddLabel(QBoxLayout* layout, QWidget* owner, const char* name, const char* text, bool wordWrap = false);
QLineEdit* AddTextBox(QBoxLayout* layout, QWidget* owner, const char* name);
}  // namespace FormControls
