#pragma once
// What the program-update and the rules-update windows share: one status
// label in "Lucida Console", a timer that starts their work 100 ms after the
// load, and a close in the middle of that work that only hides the window;
// the window is unloaded once the work has ended. Neither waits for the user.
#include <QWidget>

class QLabel;
class QTimer;

class UpdateWindow : public QWidget {
public:
    ~UpdateWindow() override;

    // Modeless, unless the load hid the window.
    void Show();

    QLabel* Label1 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    // hiddenByLoad: the load hides the window (a task without a user).
    UpdateWindow(const char* formName, const char* title, bool hiddenByLoad, QWidget* parent);

    // The work of the timer, once, after the timer has been stopped.
    virtual void Timer1_Timer() = 0;
    virtual void Form_Unload();
    void SetStatus(const char* text);
    // In the middle of the work this only hides the window.
    void CloseWindow();
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load(bool hiddenByLoad);
    void RunTimer();

    bool hiddenByLoad_ = false;
    bool timerRunning_ = false;
    bool unloaded_ = false;
};
