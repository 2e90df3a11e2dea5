#include "net/UpdateWindow.h"

#include <QCloseEvent>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "common/ErrorTrap.h"
#include "platform/api/EventLoop.h"

using ErrorTrap::SkipErrors;

UpdateWindow::UpdateWindow(const char* formName, const char* title, bool hiddenByLoad, QWidget* parent)
    : QWidget(parent) {
    setObjectName(formName);
    setWindowTitle(title);
    Label1 = new QLabel("Checking for Updates...", this);
    Label1->setObjectName("Label1");
    Label1->setFont(QFont("Lucida Console"));
    Label1->setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, &UpdateWindow::RunTimer);
    Form_Load(hiddenByLoad);
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::Show() {
    if (!hiddenByLoad_) show();
}

void UpdateWindow::Form_Load(bool hiddenByLoad) {
    SkipErrors([&] {
        if (!hiddenByLoad) return;
        hiddenByLoad_ = true;
        hide();
    });
    SkipErrors([this] { setWindowIcon(QIcon(":/icons/a1.png")); });
    Timer1->setInterval(100);
    Timer1->start();
}

void UpdateWindow::RunTimer() {
    Timer1->stop();
    timerRunning_ = true;
    SkipErrors([this] { Timer1_Timer(); });
    timerRunning_ = false;
    Form_Unload();
}

void UpdateWindow::SetStatus(const char* text) {
    Label1->setText(text);
    Label1->repaint();
}

void UpdateWindow::CloseWindow() {
    if (timerRunning_) {
        hide();
        return;
    }
    Form_Unload();
}

void UpdateWindow::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer1->stop();
    hide();
    deleteLater();
    platform::QuitLoopWhenNoFormRemains();
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    CloseWindow();
}
