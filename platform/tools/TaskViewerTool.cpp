#include "platform/tools/TaskViewerTool.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

#include <memory>
#include <ostream>

#include "platform/api/CommandLine.h"
#include "platform/host/QtPlatform.h"
#include "platform/host/Text.h"
#include "platform/tools/SchedulerTool.h"

namespace platform {

namespace {

std::string ScheduleOf(const ScheduledTask& task) {
    if (task.scheduleType == "WEEKLY") return "Weekly " + task.days;
    if (task.scheduleType == "DAILY") return "Daily";
    return "At log on";
}

constexpr int kColumns = 5;

std::vector<std::string> RowOf(const ScheduledTask& task) {
    return {task.name, ScheduleOf(task), task.startTime.empty() ? "-" : task.startTime, task.runAsUser.empty() ? "-" : task.runAsUser,
            task.taskToRun};
}

int ShowTaskWindow() {
    const std::unique_ptr<QWidget> window = NewTaskWindow();
    window->show();
    return QApplication::exec();
}

// The task list in a window when this program can show one, else as text.
int ShowTasks(std::ostream& out) {
    std::unique_ptr<QApplication> application;
    if (!QCoreApplication::instance()) {
        ChooseQtPlatform();
        static int argc = 1;
        static char name[] = "mmc";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    if (HasDisplay() && qobject_cast<QApplication*>(QCoreApplication::instance())) return ShowTaskWindow();
    out << TaskListText();
    out.flush();
    return 0;
}

bool ArgumentIs(const std::string& argumentText, const char* expected) {
    const auto arguments = SplitCommandLineArguments(argumentText);
    return arguments.size() == 1 && TextCompareEqual(arguments.front(), expected);
}

}  // namespace

std::unique_ptr<QWidget> NewTaskWindow() {
    const auto tasks = ListScheduledTasks();
    auto table = std::make_unique<QTableWidget>(static_cast<int>(tasks.size()), kColumns);
    table->setObjectName("lvwTasks");
    table->setWindowTitle("Task Scheduler Library");
    table->setHorizontalHeaderLabels({"Name", "Triggers", "Start time", "Run as", "Action"});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (size_t row = 0; row < tasks.size(); ++row) {
        const auto cells = RowOf(tasks[row]);
        for (int column = 0; column < kColumns; ++column)
            table->setItem(static_cast<int>(row), column,
                          new QTableWidgetItem(QString::fromStdString(cells[static_cast<size_t>(column)])));
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
    table->resize(900, 300);
    return table;
}

std::string TaskListText() {
    std::string text = "Task Scheduler Library\n";
    for (const auto& task : ListScheduledTasks()) {
        const auto cells = RowOf(task);
        text += cells[0];
        for (int column = 1; column < kColumns; ++column) text += "\t" + cells[static_cast<size_t>(column)];
        text += "\n";
    }
    return text;
}

int RunMmcTool(const std::string& argumentText, std::ostream& out) {
    if (!ArgumentIs(argumentText, "taskschd.msc")) {
        out << "MMC cannot open the file " << argumentText << ".\n";
        return 1;
    }
    return ShowTasks(out);
}

int RunControlTool(const std::string& argumentText, std::ostream& out) {
    if (!ArgumentIs(argumentText, "schedtasks")) {
        out << "The Control Panel item " << argumentText << " is not on this host.\n";
        return 1;
    }
    return ShowTasks(out);
}

}  // namespace platform
