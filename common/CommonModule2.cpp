#include "CommonModule2.h"

#include "platform/api/Environment.h"
#include "platform/api/Strings.h"

namespace CommonModule2 {

bool IsSystemAccount() {
    const std::string user = vb::Environ("USERNAME");
    if (user == vb::Environ("COMPUTERNAME") + "$") return true;
    if (vb::LCase(vb::Environ("SYSTEMDRIVE")) == "x:") return true;
    return user.empty();
}

}  // namespace CommonModule2
