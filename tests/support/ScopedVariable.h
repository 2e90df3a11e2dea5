#pragma once
// Sets or removes a real environment variable for the life of the object.
#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ScopedVariable(const char* name, const char* value)
        : ScopedVariable(name, value ? std::optional<std::string>(value) : std::nullopt) {}
    ~ScopedVariable() {
        if (previous_)
            setenv(name_.c_str(), previous_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace testsupport
