#include "platform/host/IniReadScope.h"

namespace platform {

namespace {
thread_local IniReadScope* innermost = nullptr;
}  // namespace

IniReadScope::IniReadScope() : outer_(innermost) { innermost = this; }
IniReadScope::~IniReadScope() { innermost = outer_; }

const IniReadScope::Text* IniReadScope::TextOf(const std::string& fileName, const std::function<Text()>& read) {
    IniReadScope* scope = innermost;
    if (!scope) return nullptr;
    auto found = scope->texts_.find(fileName);
    if (found == scope->texts_.end()) found = scope->texts_.emplace(fileName, read()).first;
    return &found->second;
}

void IniReadScope::Forget() {
    for (IniReadScope* scope = innermost; scope; scope = scope->outer_) scope->texts_.clear();
}

}  // namespace platform
