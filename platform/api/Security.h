#pragma once
// API complete
// Accounts, security identifiers, access lists, security descriptors and
// privileges with the Windows binary layouts and results. Accounts are the
// host's users (S-1-5-21-<machine>-<1000+uid>) and the well-known ones
// (System, Administrators, Power Users, Users, Everyone). Privileges are held
// by root and by the owner of the host folder unless host.ini [Machine]
// Administrator=0. File owners map to host owners.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"

namespace win {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using PSID = void*;
using PSECURITY_DESCRIPTOR = void*;
using SECURITY_INFORMATION = DWORD;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
using ACCESS_MASK = DWORD;

constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr DWORD ERROR_INVALID_OWNER = 1307;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_NONE_MAPPED = 1332;
constexpr DWORD ERROR_INVALID_ACL = 1336;
constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;
constexpr DWORD ERROR_UNKNOWN_REVISION = 1305;

// Security identifiers.
struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
struct SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
};
constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;

enum SID_NAME_USE : int {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
};

BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);  // 0 for an invalid SID
BOOL EqualSid(PSID sid1, PSID sid2);
BOOL CopySid(DWORD destinationLength, PSID destination, PSID source);  // 122 when too small

// Size query: a null or too small buffer fails with 122 and reports the sizes
// needed (the domain's with its NUL); on success the domain's count excludes
// the NUL. An unknown name fails with 1332. The system name must be null or empty.
BOOL LookupAccountNameA(const char* systemName, const char* accountName, PSID sid, DWORD* sidLength,
                        char* referencedDomainName, DWORD* domainLength, SID_NAME_USE* use);
BOOL LookupAccountSidA(const char* systemName, PSID sid, char* name, DWORD* nameLength,
                       char* referencedDomainName, DWORD* domainLength, SID_NAME_USE* use);

// Access lists.
struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
using PACL = ACL*;
struct ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
};
struct ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
};
struct ACCESS_DENIED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
};
struct ACL_REVISION_INFORMATION {
    DWORD AclRevision;
};
struct ACL_SIZE_INFORMATION {
    DWORD AceCount;
    DWORD AclBytesInUse;
    DWORD AclBytesFree;
};
enum ACL_INFORMATION_CLASS : int { AclRevisionInformation = 1, AclSizeInformation = 2 };

constexpr DWORD ACL_REVISION = 2;
constexpr DWORD ACL_REVISION_DS = 4;
constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;

constexpr BYTE OBJECT_INHERIT_ACE = 0x01;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
constexpr BYTE NO_PROPAGATE_INHERIT_ACE = 0x04;
constexpr BYTE INHERIT_ONLY_ACE = 0x08;
constexpr BYTE INHERITED_ACE = 0x10;

BOOL InitializeAcl(PACL acl, DWORD aclLength, DWORD aclRevision);
BOOL IsValidAcl(PACL acl);
// Appends (or inserts at startingAceIndex) the entries of a block of
// aceListLength bytes; 1344 when they do not fit in the list's size.
BOOL AddAce(PACL acl, DWORD aceRevision, DWORD startingAceIndex, void* aceList, DWORD aceListLength);
BOOL AddAccessAllowedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, ACCESS_MASK accessMask,
                           PSID sid);
BOOL AddAccessDeniedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, ACCESS_MASK accessMask,
                          PSID sid);
BOOL GetAce(PACL acl, DWORD aceIndex, void** ace);
BOOL GetAclInformation(PACL acl, void* aclInformation, DWORD aclInformationLength,
                       ACL_INFORMATION_CLASS aclInformationClass);

// Security descriptors: the absolute form holds pointers, the self-relative
// form (SE_SELF_RELATIVE) offsets from its start; the calls accept both.
struct SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
};
struct SECURITY_DESCRIPTOR_RELATIVE {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    DWORD Owner;
    DWORD Group;
    DWORD Sacl;
    DWORD Dacl;
};
static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20);
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;

constexpr SECURITY_DESCRIPTOR_CONTROL SE_OWNER_DEFAULTED = 0x0001;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_GROUP_DEFAULTED = 0x0002;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_DEFAULTED = 0x0008;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PRESENT = 0x0010;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERITED = 0x0400;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERITED = 0x0800;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PROTECTED = 0x1000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PROTECTED = 0x2000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SELF_RELATIVE = 0x8000;

constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x1;
constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x2;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;
constexpr SECURITY_INFORMATION SACL_SECURITY_INFORMATION = 0x8;

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);
// The self-relative check with the length of the block the bytes came in.
BOOL IsValidRelativeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                       SECURITY_INFORMATION requiredInformation);
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor);  // self-relative size
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL ownerDefaulted);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, BOOL* ownerDefaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* daclPresent, PACL* dacl,
                               BOOL* daclDefaulted);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL* control,
                                  DWORD* revision);
// Only the inheritance bits (0x0100..0x3000) may be changed, as on Windows.
BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                  SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL bitsToSet);
// Size query: 122 and the size needed when the buffer is too small.
BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative,
                        DWORD* bufferLength);

// File owners: OWNER_SECURITY_INFORMATION maps to the host file's owner.
// Setting an owner that is no host user gives 1307, a refused chown 5.
BOOL SetFileSecurityA(const char* fileName, SECURITY_INFORMATION securityInformation,
                      PSECURITY_DESCRIPTOR descriptor);
BOOL GetFileSecurityA(const char* fileName, SECURITY_INFORMATION requestedInformation,
                      PSECURITY_DESCRIPTOR descriptor, DWORD length, DWORD* lengthNeeded);

// Access rights.
constexpr ACCESS_MASK DELETE = 0x00010000;
constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
constexpr ACCESS_MASK WRITE_DAC = 0x00040000;
constexpr ACCESS_MASK WRITE_OWNER = 0x00080000;
constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
constexpr ACCESS_MASK STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr ACCESS_MASK GENERIC_ALL = 0x10000000;
constexpr ACCESS_MASK GENERIC_EXECUTE = 0x20000000;
constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000;
constexpr ACCESS_MASK GENERIC_READ = 0x80000000;
constexpr ACCESS_MASK MAXIMUM_ALLOWED = 0x02000000;

// Tokens and privileges.
struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};
constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x1;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;
constexpr DWORD SE_PRIVILEGE_REMOVED = 0x4;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;

// The pseudo handle of the calling process (-1).
HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE processHandle, DWORD desiredAccess, HANDLE* tokenHandle);
// Privilege names as Windows knows them ("SeRestorePrivilege", ...); 1313 otherwise.
BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid);
// Returns TRUE and sets the last error to 0, or to 1300 when a privilege
// named is not held. newState holds at most 64 entries; bufferLength is the
// size of previousState, as on Windows.
BOOL AdjustTokenPrivileges(HANDLE tokenHandle, BOOL disableAllPrivileges, TOKEN_PRIVILEGES* newState,
                           DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength);
// Ends a token handle; CloseHandle of Process.h closes the others.
BOOL CloseTokenHandle(HANDLE tokenHandle);

}  // namespace win

namespace platform {

// A SID as bytes in the Windows layout.
using SidBytes = std::vector<std::uint8_t>;

SidBytes SidOfHostUser(unsigned uid);
SidBytes CallingUserSid();  // the effective user of this process
SidBytes WellKnownSid(const std::string& accountName);  // "System", ...; empty when unknown
SidBytes SidFromString(const std::string& text);        // "S-1-5-18"; empty when malformed
std::string SidToString(const void* sid);               // "" for an invalid SID
// The host user of a SID of this machine, if any.
std::optional<unsigned> HostUidOfSid(const void* sid);
// The SIDs a token of this process carries: the user, Everyone, Users, and
// and, while the process counts as an administrator, Administrators (and
// System for root).
std::vector<SidBytes> CallingTokenSids();
// Root or the owner of the host folder, unless host.ini [Machine] Administrator=0.
bool CallerIsAdministrator();

// Bounds-checked views of the binary layouts (for the registry store).
bool SidIsValidIn(const void* sid, std::size_t available);
bool AclIsValidIn(const void* acl, std::size_t available);

// One entry of an access list, and a descriptor taken apart.
struct AceEntry {
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    SidBytes sid;   // empty for entry types without a SID at their start
    std::vector<std::uint8_t> raw;  // the whole entry as it was read
};
std::vector<AceEntry> AclEntries(const void* acl);  // the acl must be valid
std::vector<std::uint8_t> BuildAcl(const std::vector<AceEntry>& entries);

struct DescriptorParts {
    std::uint16_t control = 0;   // without SE_SELF_RELATIVE
    SidBytes owner;
    SidBytes group;
    bool daclPresent = false;
    std::vector<std::uint8_t> dacl;  // empty while present: a NULL DACL
    bool saclPresent = false;
    std::vector<std::uint8_t> sacl;
};
// Either form; `available` bounds a self-relative one (SIZE_MAX when unknown).
std::optional<DescriptorParts> ParseDescriptor(const void* descriptor, std::size_t available);
std::vector<std::uint8_t> BuildSelfRelative(const DescriptorParts& parts);

// Windows' access check: entries in order, a denying entry that names a
// wanted right ends the check; the owner has READ_CONTROL and WRITE_DAC.
// `wanted` must be mapped already (no generic bits); entries' generic bits are
// mapped with `genericMapping` {read, write, execute, all}.
struct GenericMapping {
    std::uint32_t read, write, execute, all;
};
bool AccessGranted(const DescriptorParts& descriptor, const std::vector<SidBytes>& tokenSids,
                   std::uint32_t wanted, const GenericMapping& genericMapping);
std::uint32_t MaximumAllowed(const DescriptorParts& descriptor, const std::vector<SidBytes>& tokenSids,
                             const GenericMapping& genericMapping);

}  // namespace platform
