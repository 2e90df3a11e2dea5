#pragma once
// Rewrites the access list of a registry key so that given accounts are
// allowed or denied given rights, keeping the list in canonical order:
// denying entries, the other explicit entries, allowing entries, inherited ones.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/Registry.h"
#include "platform/api/Security.h"

namespace SetPerm {

struct PermissionEntry {
    std::string AccountName;
    std::uint32_t AccessMask = 0;
    std::uint8_t InheritanceFlags = win::CONTAINER_INHERIT_ACE;
    std::uint8_t Deny = 0;
    platform::SidBytes Sid;  // looked up while the descriptor is built
};

// An absolute security descriptor together with the access list it points at.
struct ObjectSecurityDescriptor {
    win::SECURITY_DESCRIPTOR Descriptor{};
    std::vector<std::uint32_t> AclStorage;
    win::PACL Acl() { return reinterpret_cast<win::PACL>(AclStorage.data()); }
};

// "R"/"Read", "W"/"Write", "X"/"Execute"; anything else means all access.
std::uint32_t AccessMaskOf(const std::string& sAccess);

bool RegSetKeyPermission(const std::string& sTopKey, const std::string& sKeyPath, std::string& sAccount,
                         std::string& sAllowDeny, const std::string& sAccess);
// Full control for the current user, System, Administrators, Power Users and
// Users; true when one of the grants failed.
bool GetRegKeyPermissions(const std::string& sTopKey, const std::string& sKeyPath);
bool UpdatePermissionsOfRegistryKey(win::HKEY hKey, std::vector<PermissionEntry>& entries);
bool CreateObjectSecurityDescriptor(win::PSECURITY_DESCRIPTOR oldDescriptor, std::vector<PermissionEntry>& entries,
                                    ObjectSecurityDescriptor& newDescriptor);
bool ConstructAndAddAce(win::PACL acl, std::uint8_t deny, std::uint8_t inheritanceFlags, std::uint32_t accessMask,
                        win::PSID sid);
bool IsEqual(const std::vector<PermissionEntry>& entries, win::PSID sid);

}  // namespace SetPerm
