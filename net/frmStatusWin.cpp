#include "net/frmStatusWin.h"

#include <QLabel>
#include <QVBoxLayout>

frmStatusWin::frmStatusWin(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint) {
    setObjectName("frmStatusWin");
    setWindowTitle("");
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
}
