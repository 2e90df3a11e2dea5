#pragma once
// Every message box and modal window of the system goes through here. With a
// display a Qt message box or modal window is shown. Without one the box's
// title and text go to the debug output and its default button is the answer;
// a modal window is written to the debug output and closed as its close box
// would close it. Tests queue answers and window actions in advance.
#include <functional>
#include <string>

class QWidget;

namespace vb {

constexpr int vbOKOnly = 0;
constexpr int vbOKCancel = 1;
constexpr int vbAbortRetryIgnore = 2;
constexpr int vbYesNoCancel = 3;
constexpr int vbYesNo = 4;
constexpr int vbRetryCancel = 5;

constexpr int vbCritical = 16;
constexpr int vbQuestion = 32;
constexpr int vbExclamation = 48;
constexpr int vbInformation = 64;

constexpr int vbDefaultButton1 = 0;
constexpr int vbDefaultButton2 = 256;
constexpr int vbDefaultButton3 = 512;

constexpr int vbOK = 1;
constexpr int vbCancel = 2;
constexpr int vbAbort = 3;
constexpr int vbRetry = 4;
constexpr int vbIgnore = 5;
constexpr int vbYes = 6;
constexpr int vbNo = 7;

// Shows a message box and returns the button chosen (vbOK ... vbNo). An empty
// title shows the program title.
int MsgBox(const std::string& prompt, int buttons = vbOKOnly, const std::string& title = "");

}  // namespace vb

namespace platform {

// The answer of the next message box, whatever the display (first queued, first used).
void QueueMessageBoxAnswer(int answer);
// What the next modal window does instead of waiting for a user: the action
// gets the window after it is shown; a window the action leaves open is then
// closed as its close box would.
void QueueModalAction(std::function<void(QWidget*)> action);
// Drops every queued answer and action.
void ClearMessageBoxQueue();

// The button a message box of these flags answers when nobody chooses one.
int DefaultMessageBoxAnswer(int buttons);

// Shows a window modal and returns when it is closed or hidden; for a dialog
// its result code, else 0.
int ShowModal(QWidget* window);

}  // namespace platform
