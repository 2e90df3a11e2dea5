#pragma once
// The named controls the small prompt windows are built of: each gets the
// objectName by which tests and the window's own code find it.
class QAbstractItemView;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QWidget;

namespace FormControls {
QLabel* AddLabel(QBoxLayout* layout, QWidget* owner, const char* name, const char* text, bool wordWrap = false);
QLineEdit* AddTextBox(QBoxLayout* layout, QWidget* owner, const char* name);
// After an entry is removed: no entry chosen and none current, as a list box
// is after RemoveItem, so that the next remove acts only on a new choice.
void ClearChoice(QAbstractItemView* list);
}  // namespace FormControls
