#pragma once
// While an IniReadScope lives on a thread, the profile functions read each
// INI file once: later reads of it take the lines found at the first. For a
// caller that reads several keys of one file as one look at it (a rule
// check). A profile write of this process ends what the open scopes hold.
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform {

class IniLines;

class IniReadScope {
public:
    IniReadScope();
    ~IniReadScope();
    IniReadScope(const IniReadScope&) = delete;
    IniReadScope& operator=(const IniReadScope&) = delete;

    using Lines = std::shared_ptr<const IniLines>;  // null: missing or unreadable
    // The file's lines as the innermost scope holds them, got with read at
    // the scope's first question; a null pointer outside every scope.
    static const Lines* LinesOf(const std::string& fileName, const std::function<Lines()>& read);
    static void Forget();

private:
    IniReadScope* outer_;
    std::map<std::string, Lines> files_;
};

// While a HostIniScope lives on a thread, the host layer looks at host.ini
// (its settings and drive map) once, at the first question: for work that
// asks many path questions in a row (one record's rule checks). A profile
// write of this process makes the next question look again.
class HostIniScope {
public:
    HostIniScope();
    ~HostIniScope();
    HostIniScope(const HostIniScope&) = delete;
    HostIniScope& operator=(const HostIniScope&) = delete;

    // Whether host.ini was looked at in the open scopes; always false outside one.
    static bool Looked();
    static void NoteLook();
};

}  // namespace platform
