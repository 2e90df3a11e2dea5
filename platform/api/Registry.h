#pragma once
// API complete
// The Windows registry over the host's registry store (registry.db):
// root keys, keys compared case-insensitively and stored with their case,
// values of every kind as the ANSI calls see them (texts with their NUL),
// the 32- and 64-bit views (Wow6432Node under HKLM\SOFTWARE on a 64-bit host;
// HKCR, which is HKLM\SOFTWARE\Classes, is shared by both)
// and a security descriptor per key, checked against the caller's rights
// when a key is opened. Every change is one transaction, so several
// processes may work on one store at once; a kernel transaction makes many
// changes one.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/Security.h"
#include "platform/api/WinTypes.h"

namespace win {

using HKEY = std::intptr_t;
using REGSAM = DWORD;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
};

// The predefined keys (also accepted sign-extended, as 64-bit Windows defines them).
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
constexpr HKEY HKEY_DYN_DATA = 0x80000006;

constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_REGISTRY_IO_FAILED = 1016;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_INVALID_TRANSACTION = 6700;
constexpr DWORD ERROR_TRANSACTION_NOT_ACTIVE = 6701;

// Value kinds.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD REG_QWORD = 11;

// Key rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opening a missing key gives 2; rights the key's access list refuses give 5.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM samDesired, HKEY* result);
// Creates the missing keys of the path; each new key inherits the
// inheritable entries of its parent's access list (marked INHERITED_ACE), or
// takes the security attributes' descriptor when one is given.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* securityAttributes, HKEY* result,
                     DWORD* disposition);
LONG RegCreateKeyA(HKEY key, const char* subKey, HKEY* result);
// As the calls above, inside a kernel transaction: every change made through
// the key, or through keys opened from it, is part of the transaction
// (6700 for a handle that is none, 6701 once it has ended).
LONG RegOpenKeyTransactedA(HKEY key, const char* subKey, DWORD options, REGSAM samDesired, HKEY* result,
                           HANDLE transaction, void* extendedParameter);
LONG RegCreateKeyTransactedA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                             REGSAM samDesired, const SECURITY_ATTRIBUTES* securityAttributes, HKEY* result,
                             DWORD* disposition, HANDLE transaction, void* extendedParameter);
LONG RegCloseKey(HKEY key);

// A null data pointer asks only for the size (0); a buffer too small gives
// 234 with the size needed; a missing value 2.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataLength);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataLength);
LONG RegDeleteValueA(HKEY key, const char* valueName);
// A key with subkeys is not deleted (5), as on Windows.
LONG RegDeleteKeyA(HKEY key, const char* subKey);
LONG RegDeleteKeyExA(HKEY key, const char* subKey, REGSAM samDesired, DWORD reserved);
// The key with all its subkeys and values; with no subkey name, the key's
// subkeys and values only. All of it or, when one key refuses DELETE (5), nothing.
LONG RegDeleteTreeA(HKEY key, const char* subKey);

// Subkeys in case-insensitive name order; 259 after the last, 234 when the
// name does not fit (the count includes the NUL).
LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameLength);
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved,
                   char* keyClass, DWORD* classLength, FILETIME* lastWriteTime);
LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameLength, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataLength);
LONG RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classLength, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                      DWORD* maxValueNameLength, DWORD* maxValueLength, DWORD* securityDescriptorLength,
                      FILETIME* lastWriteTime);

// The key's descriptor, self-relative; a null or too small buffer gives 122
// with the size needed. Setting needs WRITE_DAC (owner: WRITE_OWNER) on the handle.
LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION securityInformation,
                       PSECURITY_DESCRIPTOR descriptor, DWORD* descriptorLength);
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION securityInformation,
                       PSECURITY_DESCRIPTOR descriptor);

// Kernel transactions (ktmw32), as far as the registry takes part in them.
// Until a transaction ends, other writers of the store wait for it (this
// process's own writes outside it too); a process that ends without
// committing, killed or not, leaves none of its changes. CloseHandle (of
// Process.h) rolls back a transaction that is still open.
constexpr DWORD TRANSACTION_DO_NOT_PROMOTE = 0x1;
// INVALID_HANDLE_VALUE on failure, with the registry's error as last error.
HANDLE CreateTransaction(SECURITY_ATTRIBUTES* attributes, void* unitOfWork, DWORD createOptions,
                         DWORD isolationLevel, DWORD isolationFlags, DWORD timeout, wchar_t* description);
BOOL CommitTransaction(HANDLE transaction);
BOOL RollbackTransaction(HANDLE transaction);
// For CloseHandle: false for a handle that is no transaction.
BOOL CloseTransactionHandle(HANDLE transaction);

}  // namespace win

namespace platform {

// The full path a handle stands for, "HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\X"
// (after view redirection); empty for an unknown handle.
std::string RegistryKeyPath(win::HKEY key);
// The root of a "HKLM"/"HKEY_LOCAL_MACHINE" text (either case); 0 when unknown.
win::HKEY RegistryRootOf(const std::string& rootName);
// "HKEY_LOCAL_MACHINE" and so on; empty for a key that is no root.
std::string RegistryRootName(win::HKEY root);

// A stamp of the registry's state: two stamps are equal only when nothing
// was committed to the registry in between, by any process. Cheap enough to
// take for every event record; an invalid stamp when the store cannot be read.
struct RegistryStamp {
    std::string store;
    std::int64_t othersVersion = -1;  // commits of other connections
    std::int64_t ownChanges = -1;     // changes made through this process's connection
    bool Valid() const { return othersVersion >= 0; }
    bool operator==(const RegistryStamp&) const = default;
};
RegistryStamp CurrentRegistryStamp();

// A kernel transaction for registry changes that are made together or not
// at all; rolled back unless committed.
class RegistryTransaction {
public:
    RegistryTransaction();
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    win::HANDLE Handle() const { return handle_; }
    // 0, or the registry's error when no transaction could be made.
    win::DWORD Error() const { return error_; }
    // 0, or the error that left nothing committed.
    win::DWORD Commit();

private:
    win::HANDLE handle_;
    win::DWORD error_ = 0;
};

}  // namespace platform
