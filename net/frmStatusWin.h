#pragma once
// The small status window of an unpack: no title text, one label.
#include <QWidget>

class QLabel;

class frmStatusWin : public QWidget {
public:
    explicit frmStatusWin(QWidget* parent = nullptr);
    QLabel* Label1;
};
