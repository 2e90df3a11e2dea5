#include "platform/host/IniReadScope.h"

namespace platform {

namespace {
thread_local IniReadScope* innermost = nullptr;
thread_local int hostIniScopes = 0;
thread_local bool hostIniLooked = false;
}  // namespace

IniReadScope::IniReadScope() : outer_(innermost) { innermost = this; }
IniReadScope::~IniReadScope() { innermost = outer_; }

const IniReadScope::Lines* IniReadScope::LinesOf(const std::string& fileName, const std::function<Lines()>& read) {
    IniReadScope* scope = innermost;
    if (!scope) return nullptr;
    auto found = scope->files_.find(fileName);
    if (found == scope->files_.end()) found = scope->files_.emplace(fileName, read()).first;
    return &found->second;
}

void IniReadScope::Forget() {
    for (IniReadScope* scope = innermost; scope; scope = scope->outer_) scope->files_.clear();
    hostIniLooked = false;
}

HostIniScope::HostIniScope() {
    if (hostIniScopes++ == 0) hostIniLooked = false;
}
HostIniScope::~HostIniScope() { --hostIniScopes; }

bool HostIniScope::Looked() { return hostIniScopes > 0 && hostIniLooked; }
void HostIniScope::NoteLook() { hostIniLooked = hostIniScopes > 0; }

}  // namespace platform
