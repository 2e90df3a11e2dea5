#include "CommonModule2.h"

#include "platform/api/Environment.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace CommonModule2 {

bool IsSystemAccount() {
    const std::string user = vb::Environ("USERNAME");
    if (user == vb::Environ("COMPUTERNAME") + "$") return true;
    if (platform::TextLower(vb::Environ("SYSTEMDRIVE")) == "x:") return true;
    return user.empty();
}

}  // namespace CommonModule2
