#pragma once
// While an IniReadScope lives on a thread, the profile functions read each
// INI file once: later reads of it take the text of the first. For a caller
// that reads several keys of one file as one look at it (a rule check). A
// profile write of this process ends what the open scopes hold.
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace platform {

class IniReadScope {
public:
    IniReadScope();
    ~IniReadScope();
    IniReadScope(const IniReadScope&) = delete;
    IniReadScope& operator=(const IniReadScope&) = delete;

    using Text = std::optional<std::string>;  // nothing: missing or unreadable
    // The file's text as the innermost scope holds it, got with read at the
    // scope's first question; a null pointer outside every scope.
    static const Text* TextOf(const std::string& fileName, const std::function<Text()>& read);
    static void Forget();

private:
    IniReadScope* outer_;
    std::map<std::string, Text> texts_;
};

}  // namespace platform
