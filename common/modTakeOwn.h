#pragma once
// Takes over a file or a folder tree with the permission tool subinacl.exe:
// makes an account its owner and grants an account full control.
#include <cstdint>
#include <string>

namespace modTakeOwn {

// The last existing copy of subinacl.exe in the search order; empty when there is none.
std::string FindSubinacl();

// An empty sOwner becomes the current user (or "System"); an empty sGrantee
// the owner, or "Everyone" for the owner "System".
void TakeOwnership(const std::string& sPath, bool& bSubfolders, std::int32_t& lWindowStyle, std::string& sOwner,
                   std::string& sGrantee);

}  // namespace modTakeOwn
