#include "FormControls.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>

namespace FormControls {

QLabel* AddLabel(QBoxLayout* layout, QWidget* owner, const char* name, const char* text, bool wordWrap) {
    auto* label = new QLabel(QString::fromUtf8(text), owner);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(wordWrap);
    layout->addWidget(label);
    return label;
}

QLineEdit* AddTextBox(QBoxLayout* layout, QWidget* owner, const char* name) {
    auto* box = new QLineEdit(owner);
    box->setObjectName(QString::fromLatin1(name));
    layout->addWidget(box);
    return box;
}

void ClearChoice(QAbstractItemView* list) {
    list->selectionModel()->clearCurrentIndex();
    list->clearSelection();
}

}  // namespace FormControls
