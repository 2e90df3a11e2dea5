#pragma once
// Sets the owner of a file or folder through the security calls, with the
// restore privilege switched on for the call.
#include <string>

namespace SetOwnerFS {

// An empty account name means the current user.
void ChangeOwnerOfFile(const std::string& sPath, const std::string& sOwnerAccountName = "");
bool Enable_Privilege(const std::string& privilegeName);
bool Disable_Privilege(const std::string& privilegeName);
// True only when the privilege is held and its state changed.
bool ModifyState(const std::string& privilegeName, bool enable);

}  // namespace SetOwnerFS
