#include "platform/api/MessageBox.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <deque>
#include <vector>

#include "platform/api/DebugOutput.h"
#include "platform/api/Program.h"
#include "platform/host/QtPlatform.h"

namespace platform {

namespace {

std::deque<int>& QueuedAnswers() {
    static std::deque<int> answers;
    return answers;
}

std::deque<std::function<void(QWidget*)>>& QueuedModalActions() {
    static std::deque<std::function<void(QWidget*)>> actions;
    return actions;
}

std::vector<int> ButtonsOf(int buttons) {
    switch (buttons & 0x7) {
        case vb::vbOKCancel: return {vb::vbOK, vb::vbCancel};
        case vb::vbAbortRetryIgnore: return {vb::vbAbort, vb::vbRetry, vb::vbIgnore};
        case vb::vbYesNoCancel: return {vb::vbYes, vb::vbNo, vb::vbCancel};
        case vb::vbYesNo: return {vb::vbYes, vb::vbNo};
        case vb::vbRetryCancel: return {vb::vbRetry, vb::vbCancel};
        default: return {vb::vbOK};
    }
}

const char* AnswerName(int answer) {
    switch (answer) {
        case vb::vbOK: return "OK";
        case vb::vbCancel: return "Cancel";
        case vb::vbAbort: return "Abort";
        case vb::vbRetry: return "Retry";
        case vb::vbIgnore: return "Ignore";
        case vb::vbYes: return "Yes";
        case vb::vbNo: return "No";
        default: return "?";
    }
}

QMessageBox::StandardButton StandardButtonOf(int answer) {
    switch (answer) {
        case vb::vbCancel: return QMessageBox::Cancel;
        case vb::vbAbort: return QMessageBox::Abort;
        case vb::vbRetry: return QMessageBox::Retry;
        case vb::vbIgnore: return QMessageBox::Ignore;
        case vb::vbYes: return QMessageBox::Yes;
        case vb::vbNo: return QMessageBox::No;
        default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(int buttons) {
    switch (buttons & 0x70) {
        case vb::vbCritical: return QMessageBox::Critical;
        case vb::vbQuestion: return QMessageBox::Question;
        case vb::vbExclamation: return QMessageBox::Warning;
        case vb::vbInformation: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

// The answer when the box is closed with its close box or Escape, as Windows
// gives it: Cancel where there is one, OK for a single OK button.
int EscapeAnswer(const std::vector<int>& answers) {
    for (int answer : answers)
        if (answer == vb::vbCancel) return answer;
    return answers.size() == 1 ? answers.front() : 0;
}

int ShowQtMessageBox(const std::string& prompt, int buttons, const std::string& title) {
    QMessageBox box(IconOf(buttons), QString::fromStdString(title), QString::fromStdString(prompt));
    const std::vector<int> answers = ButtonsOf(buttons);
    std::vector<std::pair<QAbstractButton*, int>> shown;
    for (int answer : answers) shown.emplace_back(box.addButton(StandardButtonOf(answer)), answer);
    const int defaultAnswer = DefaultMessageBoxAnswer(buttons);
    const int escapeAnswer = EscapeAnswer(answers);
    for (auto& [button, answer] : shown) {
        if (answer == defaultAnswer) box.setDefaultButton(static_cast<QPushButton*>(button));
        if (answer == escapeAnswer) box.setEscapeButton(button);
    }
    box.exec();
    for (auto& [button, answer] : shown)
        if (box.clickedButton() == button) return answer;
    return escapeAnswer ? escapeAnswer : defaultAnswer;
}

std::string WindowText(QWidget* window) {
    return "\"" + window->windowTitle().toStdString() + "\" (" + window->objectName().toStdString() + ")";
}

int ResultOf(QWidget* window) {
    auto* dialog = qobject_cast<QDialog*>(window);
    return dialog ? dialog->result() : 0;
}

int RunWithoutUser(QWidget* window, const std::function<void(QWidget*)>& action) {
    QPointer<QWidget> guard(window);
    win::OutputDebugStringA("\tShowModal " + WindowText(window) + (action ? " driven by a test" : " without a display"));
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    if (action) action(window);
    if (guard && guard->isVisible()) {
        win::OutputDebugStringA("\tShowModal " + WindowText(guard) + " closed");
        guard->close();
    }
    return guard ? ResultOf(guard) : 0;
}

class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget* window, QEventLoop* loop) : QObject(window), loop_(loop) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) loop_->quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop* loop_;
};

int RunModalWithUser(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window)) return dialog->exec();
    QPointer<QWidget> guard(window);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    new CloseWatcher(window, &loop);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    if (guard && guard->isVisible()) loop.exec();
    return 0;
}

std::function<void(QWidget*)> TakeModalAction() {
    auto& actions = QueuedModalActions();
    if (actions.empty()) return {};
    auto action = std::move(actions.front());
    actions.pop_front();
    return action;
}

}  // namespace

void QueueMessageBoxAnswer(int answer) { QueuedAnswers().push_back(answer); }

void QueueModalAction(std::function<void(QWidget*)> action) {
    QueuedModalActions().push_back(std::move(action));
}

void ClearMessageBoxQueue() {
    QueuedAnswers().clear();
    QueuedModalActions().clear();
}

int DefaultMessageBoxAnswer(int buttons) {
    const std::vector<int> answers = ButtonsOf(buttons);
    const std::size_t index = static_cast<std::size_t>((buttons >> 8) & 0x3);
    return index < answers.size() ? answers[index] : answers.front();
}

int ShowModal(QWidget* window) {
    if (!window) return 0;
    auto action = TakeModalAction();
    if (action || !HasDisplay()) return RunWithoutUser(window, action);
    return RunModalWithUser(window);
}

}  // namespace platform

namespace vb {

int MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    const std::string shownTitle = title.empty() ? App::Title() : title;
    auto& queued = platform::QueuedAnswers();
    int answer = 0;
    if (!queued.empty()) {
        answer = queued.front();
        queued.pop_front();
    } else if (platform::HasDisplay()) {
        answer = platform::ShowQtMessageBox(prompt, buttons, shownTitle);
    } else {
        answer = platform::DefaultMessageBoxAnswer(buttons);
    }
    win::OutputDebugStringA("\tMsgBox \"" + shownTitle + "\": " + prompt + " -> " + platform::AnswerName(answer));
    return answer;
}

}  // namespace vb
