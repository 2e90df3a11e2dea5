#include "platform/api/Security.h"
#include "platform/api/WinError.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <set>

#include "platform/host/HostFolder.h"
#include "platform/host/TextFile.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {
namespace {

constexpr std::size_t kSidHeader = 8;
constexpr std::size_t kAclHeader = 8;
constexpr std::size_t kAceHeader = 4;
constexpr std::size_t kRelativeHeader = 20;

std::uint16_t ReadWord(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
std::uint32_t ReadDword(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void WriteWord(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void WriteDword(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
void AppendDword(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t b[4];
    WriteDword(b, v);
    out.insert(out.end(), b, b + 4);
}

SidBytes MakeSid(std::uint64_t authority, const std::vector<std::uint32_t>& subAuthorities) {
    SidBytes sid{1, static_cast<std::uint8_t>(subAuthorities.size())};
    for (int shift = 40; shift >= 0; shift -= 8) sid.push_back(static_cast<std::uint8_t>(authority >> shift));
    for (std::uint32_t sub : subAuthorities) AppendDword(sid, sub);
    return sid;
}

std::uint32_t HashText(const std::string& text, std::uint32_t seed) {
    std::uint32_t h = 2166136261u ^ seed;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// Three sub-authorities that name this machine, as a Windows machine SID has.
const std::vector<std::uint32_t>& MachineParts() {
    static const std::vector<std::uint32_t> parts = [] {
        std::string id = ReadRegularFile("/etc/machine-id", 4096).value_or("");
        id.resize(std::min(id.find('\n'), id.size()));
        std::vector<std::uint32_t> result;
        if (id.size() >= 24 && std::all_of(id.begin(), id.begin() + 24, ::isxdigit)) {
            for (int i = 0; i < 3; ++i)
                result.push_back(static_cast<std::uint32_t>(std::stoul(id.substr(i * 8, 8), nullptr, 16)));
        } else {
            const std::string name = ComputerName();
            for (std::uint32_t i = 0; i < 3; ++i) result.push_back(HashText(name, i));
        }
        return result;
    }();
    return parts;
}

struct WellKnownAccount {
    const char* name;
    const char* domain;
    std::uint64_t authority;
    std::vector<std::uint32_t> subs;
    win::SID_NAME_USE use;
};

const std::vector<WellKnownAccount>& WellKnownAccounts() {
    static const std::vector<WellKnownAccount> accounts = {
        {"SYSTEM", "NT AUTHORITY", 5, {18}, win::SidTypeWellKnownGroup},
        {"Administrators", "BUILTIN", 5, {32, 544}, win::SidTypeAlias},
        {"Users", "BUILTIN", 5, {32, 545}, win::SidTypeAlias},
        {"Power Users", "BUILTIN", 5, {32, 547}, win::SidTypeAlias},
        {"Everyone", "", 1, {0}, win::SidTypeWellKnownGroup},
    };
    return accounts;
}

}  // namespace

SidBytes SidOfHostUser(unsigned uid) {
    std::vector<std::uint32_t> subs{21};
    for (std::uint32_t part : MachineParts()) subs.push_back(part);
    subs.push_back(1000u + uid);
    return MakeSid(5, subs);
}

SidBytes CallingUserSid() { return SidOfHostUser(static_cast<unsigned>(geteuid())); }

SidBytes WellKnownSid(const std::string& accountName) {
    for (const auto& account : WellKnownAccounts())
        if (platform::TextCompareEqual(account.name, accountName)) return MakeSid(account.authority, account.subs);
    return {};
}

bool SidIsValidIn(const void* sid, std::size_t available) {
    if (sid == nullptr || available < kSidHeader) return false;
    const auto* p = static_cast<const std::uint8_t*>(sid);
    if (p[0] != win::SID_REVISION || p[1] > win::SID_MAX_SUB_AUTHORITIES) return false;
    return available >= kSidHeader + 4u * p[1];
}

namespace {
std::size_t SidLength(const void* sid) {
    return kSidHeader + 4u * static_cast<const std::uint8_t*>(sid)[1];
}
SidBytes SidCopy(const void* sid) {
    const auto* p = static_cast<const std::uint8_t*>(sid);
    return SidBytes(p, p + SidLength(sid));
}
}  // namespace

SidBytes SidFromString(const std::string& text) {
    if (text.size() < 4 || (text.compare(0, 2, "S-") != 0 && text.compare(0, 2, "s-") != 0)) return {};
    std::vector<std::uint64_t> numbers;
    std::size_t pos = 2;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find('-', pos), text.size());
        const std::string part = text.substr(pos, end - pos);
        if (part.empty() || part.size() > 15 || !std::all_of(part.begin(), part.end(), ::isdigit)) return {};
        numbers.push_back(std::stoull(part));
        pos = end + 1;
    }
    if (numbers.size() < 2 || numbers[0] != 1 || numbers.size() - 2 > win::SID_MAX_SUB_AUTHORITIES) return {};
    if (numbers[1] >= (1ull << 48)) return {};
    std::vector<std::uint32_t> subs;
    for (std::size_t i = 2; i < numbers.size(); ++i) {
        if (numbers[i] > std::numeric_limits<std::uint32_t>::max()) return {};
        subs.push_back(static_cast<std::uint32_t>(numbers[i]));
    }
    return MakeSid(numbers[1], subs);
}

std::string SidToString(const void* sid) {
    if (!win::IsValidSid(const_cast<void*>(sid))) return "";
    const auto* p = static_cast<const std::uint8_t*>(sid);
    std::uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) authority = (authority << 8) | p[i];
    std::string text = "S-1-" + std::to_string(authority);
    for (int i = 0; i < p[1]; ++i) text += "-" + std::to_string(ReadDword(p + 8 + 4 * i));
    return text;
}

std::optional<unsigned> HostUidOfSid(const void* sid) {
    if (!win::IsValidSid(const_cast<void*>(sid))) return std::nullopt;
    const auto* p = static_cast<const std::uint8_t*>(sid);
    const SidBytes machine = SidOfHostUser(0);
    if (p[1] != machine[1] || std::memcmp(p, machine.data(), machine.size() - 4) != 0) return std::nullopt;
    const std::uint32_t rid = ReadDword(p + machine.size() - 4);
    if (rid < 1000) return std::nullopt;
    return rid - 1000;
}

bool CallerIsAdministrator() {
    if (HostSettingNumber("Machine", "Administrator", 1) == 0) return false;
    if (geteuid() == 0) return true;
    struct stat info {};
    return ::stat(HostFolder().c_str(), &info) == 0 && info.st_uid == geteuid();
}

std::vector<SidBytes> CallingTokenSids() {
    std::vector<SidBytes> sids{CallingUserSid(), WellKnownSid("Everyone"), WellKnownSid("Users")};
    // host.ini's Administrator=0 takes the rights away from root too.
    if (!CallerIsAdministrator()) return sids;
    sids.push_back(WellKnownSid("Administrators"));
    if (geteuid() == 0) sids.push_back(WellKnownSid("System"));
    return sids;
}

// ---- access lists -------------------------------------------------------

namespace {
// Walks entries from `offset` up to `end`: each must fit, and an allowing or
// denying entry must hold a whole SID. Gives the offset after the last one.
std::optional<std::size_t> WalkEntries(const std::uint8_t* p, std::size_t offset, std::size_t end,
                                       std::optional<std::uint16_t> count) {
    for (std::uint32_t i = 0; count ? i < *count : offset < end; ++i) {
        if (offset + kAceHeader > end) return std::nullopt;
        const std::uint16_t aceSize = ReadWord(p + offset + 2);
        if (aceSize < kAceHeader || offset + aceSize > end) return std::nullopt;
        const std::uint8_t type = p[offset];
        if (type == win::ACCESS_ALLOWED_ACE_TYPE || type == win::ACCESS_DENIED_ACE_TYPE) {
            if (aceSize < 8 || !SidIsValidIn(p + offset + 8, aceSize - 8u)) return std::nullopt;
        }
        offset += aceSize;
    }
    return offset;
}
}  // namespace

bool AclIsValidIn(const void* acl, std::size_t available) {
    if (acl == nullptr || available < kAclHeader) return false;
    const auto* p = static_cast<const std::uint8_t*>(acl);
    const std::uint16_t size = ReadWord(p + 2);
    const std::uint16_t count = ReadWord(p + 4);
    if (p[0] < 2 || p[0] > 4 || size < kAclHeader || size > available || size % 4 != 0) return false;
    return WalkEntries(p, kAclHeader, size, count).has_value();
}

namespace {
std::size_t AclBytesInUse(const std::uint8_t* acl) {
    std::size_t offset = kAclHeader;
    for (std::uint16_t i = 0; i < ReadWord(acl + 4); ++i) offset += ReadWord(acl + offset + 2);
    return offset;
}
}  // namespace

std::vector<AceEntry> AclEntries(const void* acl) {
    std::vector<AceEntry> entries;
    const auto* p = static_cast<const std::uint8_t*>(acl);
    std::size_t offset = kAclHeader;
    for (std::uint16_t i = 0; i < ReadWord(p + 4); ++i) {
        const std::uint8_t* ace = p + offset;
        const std::uint16_t aceSize = ReadWord(ace + 2);
        AceEntry entry;
        entry.type = ace[0];
        entry.flags = ace[1];
        entry.raw.assign(ace, ace + aceSize);
        if (aceSize >= 8) entry.mask = ReadDword(ace + 4);
        if ((entry.type == win::ACCESS_ALLOWED_ACE_TYPE || entry.type == win::ACCESS_DENIED_ACE_TYPE) &&
            aceSize >= 16)
            entry.sid = SidCopy(ace + 8);
        entries.push_back(std::move(entry));
        offset += aceSize;
    }
    return entries;
}

std::vector<std::uint8_t> BuildAcl(const std::vector<AceEntry>& entries) {
    std::vector<std::uint8_t> acl(kAclHeader, 0);
    acl[0] = win::ACL_REVISION;
    for (const AceEntry& entry : entries) {
        std::vector<std::uint8_t> ace = entry.raw;
        if (!entry.sid.empty() || ace.empty()) {
            ace = {entry.type, entry.flags, 0, 0};
            AppendDword(ace, entry.mask);
            ace.insert(ace.end(), entry.sid.begin(), entry.sid.end());
            WriteWord(ace.data() + 2, static_cast<std::uint16_t>(ace.size()));
        } else {
            ace[1] = entry.flags;
        }
        acl.insert(acl.end(), ace.begin(), ace.end());
    }
    WriteWord(acl.data() + 2, static_cast<std::uint16_t>(acl.size()));
    WriteWord(acl.data() + 4, static_cast<std::uint16_t>(entries.size()));
    return acl;
}

// ---- descriptors --------------------------------------------------------

namespace {
bool IsSelfRelative(const void* descriptor) {
    return (static_cast<const win::SECURITY_DESCRIPTOR*>(descriptor)->Control & win::SE_SELF_RELATIVE) != 0;
}

// A block at an offset of a self-relative descriptor: the bytes left after it.
std::optional<std::size_t> RoomAt(std::uint32_t offset, std::size_t available) {
    if (offset < kRelativeHeader || offset >= available) return std::nullopt;
    return available - offset;
}

bool ReadSidBlock(const void* sid, std::size_t room, SidBytes& out) {
    if (!SidIsValidIn(sid, room)) return false;
    out = SidCopy(sid);
    return true;
}
bool ReadAclBlock(const void* acl, std::size_t room, std::vector<std::uint8_t>& out) {
    if (!AclIsValidIn(acl, room)) return false;
    const auto* p = static_cast<const std::uint8_t*>(acl);
    out.assign(p, p + ReadWord(p + 2));
    return true;
}
constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max() / 2;
}  // namespace

std::optional<DescriptorParts> ParseDescriptor(const void* descriptor, std::size_t available) {
    if (descriptor == nullptr || available < kRelativeHeader) return std::nullopt;
    const auto* p = static_cast<const std::uint8_t*>(descriptor);
    if (p[0] != win::SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
    DescriptorParts parts;
    const std::uint16_t control = ReadWord(p + 2);
    parts.control = control & ~win::SE_SELF_RELATIVE;
    parts.daclPresent = (control & win::SE_DACL_PRESENT) != 0;
    parts.saclPresent = (control & win::SE_SACL_PRESENT) != 0;
    if (control & win::SE_SELF_RELATIVE) {
        const std::uint32_t offsets[4] = {ReadDword(p + 4), ReadDword(p + 8), ReadDword(p + 12),
                                          ReadDword(p + 16)};
        auto block = [&](int i) -> std::optional<std::pair<const std::uint8_t*, std::size_t>> {
            auto room = RoomAt(offsets[i], available);
            if (!room) return std::nullopt;
            return std::make_pair(p + offsets[i], *room);
        };
        if (offsets[0] != 0) {
            auto at = block(0);
            if (!at || !ReadSidBlock(at->first, at->second, parts.owner)) return std::nullopt;
        }
        if (offsets[1] != 0) {
            auto at = block(1);
            if (!at || !ReadSidBlock(at->first, at->second, parts.group)) return std::nullopt;
        }
        if (parts.saclPresent && offsets[2] != 0) {
            auto at = block(2);
            if (!at || !ReadAclBlock(at->first, at->second, parts.sacl)) return std::nullopt;
        }
        if (parts.daclPresent && offsets[3] != 0) {
            auto at = block(3);
            if (!at || !ReadAclBlock(at->first, at->second, parts.dacl)) return std::nullopt;
        }
        return parts;
    }
    if (available < sizeof(win::SECURITY_DESCRIPTOR)) return std::nullopt;
    const auto* sd = static_cast<const win::SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Owner && !ReadSidBlock(sd->Owner, kUnbounded, parts.owner)) return std::nullopt;
    if (sd->Group && !ReadSidBlock(sd->Group, kUnbounded, parts.group)) return std::nullopt;
    if (parts.saclPresent && sd->Sacl && !ReadAclBlock(sd->Sacl, kUnbounded, parts.sacl)) return std::nullopt;
    if (parts.daclPresent && sd->Dacl && !ReadAclBlock(sd->Dacl, kUnbounded, parts.dacl)) return std::nullopt;
    return parts;
}

std::vector<std::uint8_t> BuildSelfRelative(const DescriptorParts& parts) {
    std::vector<std::uint8_t> out(kRelativeHeader, 0);
    out[0] = win::SECURITY_DESCRIPTOR_REVISION;
    std::uint16_t control = parts.control | win::SE_SELF_RELATIVE;
    control = parts.daclPresent ? (control | win::SE_DACL_PRESENT) : (control & ~win::SE_DACL_PRESENT);
    control = parts.saclPresent ? (control | win::SE_SACL_PRESENT) : (control & ~win::SE_SACL_PRESENT);
    WriteWord(out.data() + 2, control);
    auto place = [&out](const std::vector<std::uint8_t>& block, std::size_t field) {
        if (block.empty()) return;
        WriteDword(out.data() + field, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), block.begin(), block.end());
    };
    if (parts.saclPresent) place(parts.sacl, 12);
    if (parts.daclPresent) place(parts.dacl, 16);
    place(parts.owner, 4);
    place(parts.group, 8);
    return out;
}

namespace {
std::uint32_t MapGeneric(std::uint32_t mask, const GenericMapping& mapping) {
    std::uint32_t mapped = mask & 0x0FFFFFFFu;
    if (mask & win::GENERIC_READ) mapped |= mapping.read;
    if (mask & win::GENERIC_WRITE) mapped |= mapping.write;
    if (mask & win::GENERIC_EXECUTE) mapped |= mapping.execute;
    if (mask & win::GENERIC_ALL) mapped |= mapping.all;
    return mapped;
}

bool TokenHas(const std::vector<SidBytes>& tokenSids, const SidBytes& sid) {
    return !sid.empty() && std::find(tokenSids.begin(), tokenSids.end(), sid) != tokenSids.end();
}

// Walks the entries once: the rights granted before any denial, and the
// rights denied before any grant.
std::pair<std::uint32_t, std::uint32_t> GrantedAndDenied(const DescriptorParts& descriptor,
                                                         const std::vector<SidBytes>& tokenSids,
                                                         const GenericMapping& mapping) {
    std::uint32_t granted = 0;
    std::uint32_t denied = 0;
    if (TokenHas(tokenSids, descriptor.owner)) granted |= win::READ_CONTROL | win::WRITE_DAC;
    for (const AceEntry& entry : AclEntries(descriptor.dacl.data())) {
        if ((entry.flags & win::INHERIT_ONLY_ACE) || !TokenHas(tokenSids, entry.sid)) continue;
        const std::uint32_t mask = MapGeneric(entry.mask, mapping);
        if (entry.type == win::ACCESS_ALLOWED_ACE_TYPE) granted |= mask & ~denied;
        if (entry.type == win::ACCESS_DENIED_ACE_TYPE) denied |= mask & ~granted;
    }
    return {granted, denied};
}
}  // namespace

bool AccessGranted(const DescriptorParts& descriptor, const std::vector<SidBytes>& tokenSids,
                   std::uint32_t wanted, const GenericMapping& genericMapping) {
    if (!descriptor.daclPresent || descriptor.dacl.empty()) return true;
    const auto [granted, denied] = GrantedAndDenied(descriptor, tokenSids, genericMapping);
    (void)denied;
    return (wanted & ~granted) == 0;
}

std::uint32_t MaximumAllowed(const DescriptorParts& descriptor, const std::vector<SidBytes>& tokenSids,
                             const GenericMapping& genericMapping) {
    if (!descriptor.daclPresent || descriptor.dacl.empty()) return genericMapping.all;
    return GrantedAndDenied(descriptor, tokenSids, genericMapping).first;
}

}  // namespace platform

// ---- the Windows calls --------------------------------------------------

namespace win {
namespace {

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE_;
}
BOOL Succeed() {
    SetLastError(ERROR_SUCCESS);
    return TRUE_;
}

std::uint8_t* Bytes(void* p) { return static_cast<std::uint8_t*>(p); }

struct AccountMatch {
    platform::SidBytes sid;
    std::string name;
    std::string domain;
    SID_NAME_USE use = SidTypeInvalid;
};

std::optional<AccountMatch> HostUserByName(const std::string& name) {
    const passwd* entry = ::getpwnam(name.c_str());
    if (entry == nullptr) entry = ::getpwnam(platform::TextLower(name).c_str());
    if (entry == nullptr) return std::nullopt;
    return AccountMatch{platform::SidOfHostUser(entry->pw_uid), entry->pw_name, platform::ComputerName(),
                        SidTypeUser};
}

std::optional<AccountMatch> FindAccountByName(const std::string& fullName) {
    std::string domain;
    std::string name = fullName;
    const std::size_t slash = fullName.find('\\');
    const bool domainGiven = slash != std::string::npos;
    if (domainGiven) {
        domain = fullName.substr(0, slash);
        name = fullName.substr(slash + 1);
    }
    if (name.empty()) return std::nullopt;
    for (const auto& account : platform::WellKnownAccounts()) {
        if (!platform::TextCompareEqual(account.name, name)) continue;
        if (domainGiven && !platform::TextCompareEqual(account.domain, domain)) continue;
        return AccountMatch{platform::MakeSid(account.authority, account.subs), account.name, account.domain,
                            account.use};
    }
    if (domainGiven && !platform::TextCompareEqual(domain, platform::ComputerName())) return std::nullopt;
    return HostUserByName(name);
}

std::optional<AccountMatch> FindAccountBySid(const void* sid) {
    for (const auto& account : platform::WellKnownAccounts()) {
        const platform::SidBytes known = platform::MakeSid(account.authority, account.subs);
        if (EqualSid(const_cast<void*>(sid), const_cast<std::uint8_t*>(known.data())))
            return AccountMatch{known, account.name, account.domain, account.use};
    }
    const auto uid = platform::HostUidOfSid(sid);
    if (!uid) return std::nullopt;
    const passwd* entry = ::getpwuid(*uid);
    if (entry == nullptr) return std::nullopt;
    return AccountMatch{platform::SidOfHostUser(*uid), entry->pw_name, platform::ComputerName(), SidTypeUser};
}

bool LocalSystem(const char* systemName) { return systemName == nullptr || systemName[0] == '\0'; }

// Copies a text with its NUL into a buffer of *length characters; on success
// *length becomes the count without the NUL.
bool FitText(const std::string& text, char* buffer, DWORD* length) {
    if (buffer == nullptr || *length < text.size() + 1) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

BOOL IsValidSid(PSID sid) {
    if (sid == nullptr) return FALSE_;
    const auto* p = static_cast<const std::uint8_t*>(sid);
    return (p[0] == SID_REVISION && p[1] <= SID_MAX_SUB_AUTHORITIES) ? TRUE_ : FALSE_;
}

DWORD GetLengthSid(PSID sid) { return IsValidSid(sid) ? static_cast<DWORD>(platform::SidLength(sid)) : 0; }

BOOL EqualSid(PSID sid1, PSID sid2) {
    if (!IsValidSid(sid1) || !IsValidSid(sid2)) return Fail(ERROR_INVALID_SID);
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetLengthSid(sid1);
    return (length == GetLengthSid(sid2) && std::memcmp(sid1, sid2, length) == 0) ? TRUE_ : FALSE_;
}

BOOL CopySid(DWORD destinationLength, PSID destination, PSID source) {
    if (!IsValidSid(source)) return Fail(ERROR_INVALID_SID);
    const DWORD length = GetLengthSid(source);
    if (destination == nullptr || destinationLength < length) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memmove(destination, source, length);
    return Succeed();
}

BOOL LookupAccountNameA(const char* systemName, const char* accountName, PSID sid, DWORD* sidLength,
                        char* referencedDomainName, DWORD* domainLength, SID_NAME_USE* use) {
    if (accountName == nullptr || sidLength == nullptr || domainLength == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!LocalSystem(systemName)) return Fail(ERROR_NONE_MAPPED);
    const auto match = FindAccountByName(accountName);
    if (!match) return Fail(ERROR_NONE_MAPPED);
    const DWORD sidNeeded = static_cast<DWORD>(match->sid.size());
    const DWORD domainNeeded = static_cast<DWORD>(match->domain.size() + 1);
    if (sid == nullptr || *sidLength < sidNeeded || referencedDomainName == nullptr || *domainLength < domainNeeded) {
        *sidLength = sidNeeded;
        *domainLength = domainNeeded;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(sid, match->sid.data(), sidNeeded);
    FitText(match->domain, referencedDomainName, domainLength);
    *sidLength = sidNeeded;
    *domainLength = domainNeeded - 1;
    if (use) *use = match->use;
    return Succeed();
}

BOOL LookupAccountSidA(const char* systemName, PSID sid, char* name, DWORD* nameLength,
                       char* referencedDomainName, DWORD* domainLength, SID_NAME_USE* use) {
    if (nameLength == nullptr || domainLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (!IsValidSid(sid)) return Fail(ERROR_INVALID_SID);
    if (!LocalSystem(systemName)) return Fail(ERROR_NONE_MAPPED);
    const auto match = FindAccountBySid(sid);
    if (!match) return Fail(ERROR_NONE_MAPPED);
    const DWORD nameNeeded = static_cast<DWORD>(match->name.size() + 1);
    const DWORD domainNeeded = static_cast<DWORD>(match->domain.size() + 1);
    if (name == nullptr || *nameLength < nameNeeded || referencedDomainName == nullptr ||
        *domainLength < domainNeeded) {
        *nameLength = nameNeeded;
        *domainLength = domainNeeded;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    FitText(match->name, name, nameLength);
    FitText(match->domain, referencedDomainName, domainLength);
    *nameLength = nameNeeded - 1;
    *domainLength = domainNeeded - 1;
    if (use) *use = match->use;
    return Succeed();
}

// ---- access lists ----

BOOL InitializeAcl(PACL acl, DWORD aclLength, DWORD aclRevision) {
    if (acl == nullptr || aclLength < sizeof(ACL) || aclLength > 0xFFFF) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (aclRevision < ACL_REVISION || aclRevision > ACL_REVISION_DS) return Fail(ERROR_INVALID_PARAMETER);
    acl->AclRevision = static_cast<BYTE>(aclRevision);
    acl->Sbz1 = 0;
    acl->AclSize = static_cast<WORD>(aclLength & ~3u);
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return Succeed();
}

BOOL IsValidAcl(PACL acl) {
    return (acl != nullptr && platform::AclIsValidIn(acl, acl->AclSize)) ? TRUE_ : FALSE_;
}

BOOL AddAce(PACL acl, DWORD aceRevision, DWORD startingAceIndex, void* aceList, DWORD aceListLength) {
    if (!IsValidAcl(acl) || aceRevision < ACL_REVISION || aceRevision > ACL_REVISION_DS)
        return Fail(ERROR_INVALID_PARAMETER);
    if (aceList == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto* list = static_cast<const std::uint8_t*>(aceList);
    if (!platform::WalkEntries(list, 0, aceListLength, std::nullopt)) return Fail(ERROR_INVALID_PARAMETER);
    WORD count = 0;
    for (DWORD offset = 0; offset < aceListLength; offset += platform::ReadWord(list + offset + 2)) ++count;
    auto* bytes = Bytes(acl);
    const std::size_t inUse = platform::AclBytesInUse(bytes);
    if (inUse + aceListLength > acl->AclSize) return Fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
    std::size_t insertAt = inUse;
    if (startingAceIndex < acl->AceCount) {
        insertAt = platform::kAclHeader;
        for (DWORD i = 0; i < startingAceIndex; ++i) insertAt += platform::ReadWord(bytes + insertAt + 2);
    }
    std::memmove(bytes + insertAt + aceListLength, bytes + insertAt, inUse - insertAt);
    std::memmove(bytes + insertAt, list, aceListLength);
    acl->AceCount = static_cast<WORD>(acl->AceCount + count);
    acl->AclRevision = static_cast<BYTE>(std::max<DWORD>(acl->AclRevision, aceRevision));
    return Succeed();
}

namespace {
BOOL AddSimpleAce(PACL acl, DWORD aceRevision, BYTE type, DWORD aceFlags, ACCESS_MASK accessMask, PSID sid) {
    if (!IsValidSid(sid)) return Fail(ERROR_INVALID_SID);
    if (aceFlags & ~0x1Fu) return Fail(ERROR_INVALID_PARAMETER);
    platform::AceEntry entry;
    entry.type = type;
    entry.flags = static_cast<BYTE>(aceFlags);
    entry.mask = accessMask;
    entry.sid = platform::SidCopy(sid);
    std::vector<std::uint8_t> ace = platform::BuildAcl({entry});
    ace.erase(ace.begin(), ace.begin() + platform::kAclHeader);
    return AddAce(acl, aceRevision, MAXDWORD, ace.data(), static_cast<DWORD>(ace.size()));
}
}  // namespace

BOOL AddAccessAllowedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, ACCESS_MASK accessMask, PSID sid) {
    return AddSimpleAce(acl, aceRevision, ACCESS_ALLOWED_ACE_TYPE, aceFlags, accessMask, sid);
}
BOOL AddAccessDeniedAceEx(PACL acl, DWORD aceRevision, DWORD aceFlags, ACCESS_MASK accessMask, PSID sid) {
    return AddSimpleAce(acl, aceRevision, ACCESS_DENIED_ACE_TYPE, aceFlags, accessMask, sid);
}

BOOL GetAce(PACL acl, DWORD aceIndex, void** ace) {
    if (ace == nullptr || !IsValidAcl(acl) || aceIndex >= acl->AceCount) return Fail(ERROR_INVALID_PARAMETER);
    std::size_t offset = platform::kAclHeader;
    for (DWORD i = 0; i < aceIndex; ++i) offset += platform::ReadWord(Bytes(acl) + offset + 2);
    *ace = Bytes(acl) + offset;
    return Succeed();
}

BOOL GetAclInformation(PACL acl, void* aclInformation, DWORD aclInformationLength,
                       ACL_INFORMATION_CLASS aclInformationClass) {
    if (!IsValidAcl(acl) || aclInformation == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (aclInformationClass == AclRevisionInformation) {
        if (aclInformationLength < sizeof(ACL_REVISION_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
        static_cast<ACL_REVISION_INFORMATION*>(aclInformation)->AclRevision = acl->AclRevision;
        return Succeed();
    }
    if (aclInformationClass == AclSizeInformation) {
        if (aclInformationLength < sizeof(ACL_SIZE_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
        auto* info = static_cast<ACL_SIZE_INFORMATION*>(aclInformation);
        const auto inUse = static_cast<DWORD>(platform::AclBytesInUse(Bytes(acl)));
        info->AceCount = acl->AceCount;
        info->AclBytesInUse = inUse;
        info->AclBytesFree = acl->AclSize - inUse;
        return Succeed();
    }
    return Fail(ERROR_INVALID_PARAMETER);
}

// ---- descriptors ----

namespace {
SECURITY_DESCRIPTOR* Absolute(PSECURITY_DESCRIPTOR descriptor, DWORD& error) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    error = ERROR_SUCCESS;
    if (sd == nullptr) error = ERROR_INVALID_PARAMETER;
    else if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) error = ERROR_UNKNOWN_REVISION;
    else if (sd->Control & SE_SELF_RELATIVE) error = ERROR_INVALID_SECURITY_DESCR;
    return error == ERROR_SUCCESS ? sd : nullptr;
}
void SetFlag(SECURITY_DESCRIPTOR* sd, SECURITY_DESCRIPTOR_CONTROL flag, bool on) {
    sd->Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(on ? (sd->Control | flag) : (sd->Control & ~flag));
}
// A block of a self-relative descriptor by its offset field; null when absent.
void* RelativeBlock(PSECURITY_DESCRIPTOR descriptor, std::size_t field) {
    const DWORD offset = platform::ReadDword(Bytes(descriptor) + field);
    return offset == 0 ? nullptr : Bytes(descriptor) + offset;
}
}  // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (descriptor == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    std::memset(descriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return Succeed();
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    return platform::ParseDescriptor(descriptor, platform::kUnbounded) ? TRUE_ : FALSE_;
}

BOOL IsValidRelativeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD length,
                                       SECURITY_INFORMATION requiredInformation) {
    if (descriptor == nullptr || length < platform::kRelativeHeader || !platform::IsSelfRelative(descriptor))
        return FALSE_;
    const auto parts = platform::ParseDescriptor(descriptor, length);
    if (!parts) return FALSE_;
    if ((requiredInformation & OWNER_SECURITY_INFORMATION) && parts->owner.empty()) return FALSE_;
    if ((requiredInformation & GROUP_SECURITY_INFORMATION) && parts->group.empty()) return FALSE_;
    if ((requiredInformation & DACL_SECURITY_INFORMATION) && !parts->daclPresent) return FALSE_;
    return TRUE_;
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) {
    const auto parts = platform::ParseDescriptor(descriptor, platform::kUnbounded);
    if (!parts) return 0;
    if (platform::IsSelfRelative(descriptor)) {
        // The end of the last block, wherever the writer put the blocks.
        std::size_t end = platform::kRelativeHeader;
        const std::size_t sizes[4] = {parts->owner.size(), parts->group.size(), parts->sacl.size(),
                                      parts->dacl.size()};
        for (int i = 0; i < 4; ++i) {
            const DWORD offset = platform::ReadDword(Bytes(descriptor) + 4 + 4 * i);
            if (offset != 0 && sizes[i] != 0) end = std::max(end, offset + sizes[i]);
        }
        return static_cast<DWORD>(end);
    }
    return static_cast<DWORD>(sizeof(SECURITY_DESCRIPTOR) + parts->owner.size() + parts->group.size() +
                              parts->sacl.size() + parts->dacl.size());
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL ownerDefaulted) {
    DWORD error;
    SECURITY_DESCRIPTOR* sd = Absolute(descriptor, error);
    if (!sd) return Fail(error);
    if (owner != nullptr && !IsValidSid(owner)) return Fail(ERROR_INVALID_SID);
    sd->Owner = owner;
    SetFlag(sd, SE_OWNER_DEFAULTED, ownerDefaulted != FALSE_);
    return Succeed();
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, BOOL* ownerDefaulted) {
    if (owner == nullptr || ownerDefaulted == nullptr || !platform::ParseDescriptor(descriptor, platform::kUnbounded))
        return Fail(ERROR_INVALID_SECURITY_DESCR);
    const auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    *owner = platform::IsSelfRelative(descriptor) ? RelativeBlock(descriptor, 4) : sd->Owner;
    *ownerDefaulted = (sd->Control & SE_OWNER_DEFAULTED) ? TRUE_ : FALSE_;
    return Succeed();
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl, BOOL daclDefaulted) {
    DWORD error;
    SECURITY_DESCRIPTOR* sd = Absolute(descriptor, error);
    if (!sd) return Fail(error);
    if (daclPresent && dacl != nullptr && !IsValidAcl(dacl)) return Fail(ERROR_INVALID_ACL);
    SetFlag(sd, SE_DACL_PRESENT, daclPresent != FALSE_);
    sd->Dacl = daclPresent ? dacl : nullptr;
    SetFlag(sd, SE_DACL_DEFAULTED, daclPresent && daclDefaulted);
    return Succeed();
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* daclPresent, PACL* dacl, BOOL* daclDefaulted) {
    if (daclPresent == nullptr || dacl == nullptr || daclDefaulted == nullptr ||
        !platform::ParseDescriptor(descriptor, platform::kUnbounded))
        return Fail(ERROR_INVALID_SECURITY_DESCR);
    const auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    *daclPresent = (sd->Control & SE_DACL_PRESENT) ? TRUE_ : FALSE_;
    *dacl = nullptr;
    *daclDefaulted = FALSE_;
    if (*daclPresent) {
        *dacl = static_cast<PACL>(platform::IsSelfRelative(descriptor) ? RelativeBlock(descriptor, 16) : sd->Dacl);
        *daclDefaulted = (sd->Control & SE_DACL_DEFAULTED) ? TRUE_ : FALSE_;
    }
    return Succeed();
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL* control,
                                  DWORD* revision) {
    if (descriptor == nullptr || control == nullptr || revision == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    *control = sd->Control;
    *revision = sd->Revision;
    return Succeed();
}

BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL bitsToSet) {
    constexpr SECURITY_DESCRIPTOR_CONTROL changeable = 0x3F00;
    if (descriptor == nullptr || (bitsOfInterest & ~changeable) || (bitsToSet & ~changeable))
        return Fail(ERROR_INVALID_PARAMETER);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    sd->Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>((sd->Control & ~bitsOfInterest) |
                                                           (bitsToSet & bitsOfInterest));
    return Succeed();
}

BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative, DWORD* bufferLength) {
    DWORD error;
    if (bufferLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (!Absolute(absolute, error)) return Fail(error == ERROR_INVALID_SECURITY_DESCR ? 1361u : error);
    const auto parts = platform::ParseDescriptor(absolute, platform::kUnbounded);
    if (!parts) return Fail(ERROR_INVALID_SECURITY_DESCR);
    const std::vector<std::uint8_t> bytes = platform::BuildSelfRelative(*parts);
    if (selfRelative == nullptr || *bufferLength < bytes.size()) {
        *bufferLength = static_cast<DWORD>(bytes.size());
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(selfRelative, bytes.data(), bytes.size());
    return Succeed();
}

// ---- file owners ----

namespace {
std::optional<uid_t> HostOwnerOf(const void* sid) {
    if (const auto uid = platform::HostUidOfSid(sid)) {
        if (::getpwuid(*uid) == nullptr) return std::nullopt;
        return static_cast<uid_t>(*uid);
    }
    for (const char* name : {"System", "Administrators"}) {
        const platform::SidBytes known = platform::WellKnownSid(name);
        if (std::memcmp(sid, known.data(), std::min<std::size_t>(known.size(), GetLengthSid(const_cast<void*>(sid)))) == 0 &&
            GetLengthSid(const_cast<void*>(sid)) == known.size())
            return 0;
    }
    return std::nullopt;
}

bool PrivilegeEnabled(DWORD luid);
constexpr DWORD kRestorePrivilegeLuid = 18;

bool SameSid(const void* a, const platform::SidBytes& b) {
    return GetLengthSid(const_cast<void*>(a)) == b.size() && std::memcmp(a, b.data(), b.size()) == 0;
}

// The caller may name itself, or Administrators while it is one; any other
// owner takes the restore privilege, switched on.
bool MayAssignOwner(const void* sid) {
    if (SameSid(sid, platform::CallingUserSid())) return true;
    if (platform::CallerIsAdministrator() && SameSid(sid, platform::WellKnownSid("Administrators"))) return true;
    return PrivilegeEnabled(kRestorePrivilegeLuid);
}

std::vector<std::uint8_t> OwnerOnlyAcl(const struct stat& info) {
    constexpr DWORD fileAllAccess = 0x1F01FF;
    constexpr DWORD fileReadExecute = 0x1200A9;
    std::vector<platform::AceEntry> entries;
    platform::AceEntry owner;
    owner.mask = (info.st_mode & S_IWUSR) ? fileAllAccess : fileReadExecute;
    owner.sid = platform::SidOfHostUser(info.st_uid);
    entries.push_back(owner);
    if (info.st_mode & S_IROTH) {
        platform::AceEntry everyone;
        everyone.mask = fileReadExecute;
        everyone.sid = platform::WellKnownSid("Everyone");
        entries.push_back(everyone);
    }
    return platform::BuildAcl(entries);
}
}  // namespace

BOOL SetFileSecurityA(const char* fileName, SECURITY_INFORMATION securityInformation,
                      PSECURITY_DESCRIPTOR descriptor) {
    if (fileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto parts = platform::ParseDescriptor(descriptor, platform::kUnbounded);
    if (!parts) return Fail(ERROR_INVALID_SECURITY_DESCR);
    const auto host = platform::ToHostPath(fileName);
    struct stat info {};
    if (!host || ::lstat(host->c_str(), &info) != 0) return Fail(ERROR_FILE_NOT_FOUND);
    if (!(securityInformation & OWNER_SECURITY_INFORMATION)) return Succeed();
    if (parts->owner.empty()) return Fail(ERROR_INVALID_OWNER);
    const auto uid = HostOwnerOf(parts->owner.data());
    if (!uid || !MayAssignOwner(parts->owner.data())) return Fail(ERROR_INVALID_OWNER);
    if (::lchown(host->c_str(), *uid, static_cast<gid_t>(-1)) != 0)
        return Fail(platform::ErrorOfErrno(errno));
    return Succeed();
}

BOOL GetFileSecurityA(const char* fileName, SECURITY_INFORMATION requestedInformation,
                      PSECURITY_DESCRIPTOR descriptor, DWORD length, DWORD* lengthNeeded) {
    if (fileName == nullptr || lengthNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto host = platform::ToHostPath(fileName);
    struct stat info {};
    if (!host || ::lstat(host->c_str(), &info) != 0) return Fail(ERROR_FILE_NOT_FOUND);
    platform::DescriptorParts parts;
    if (requestedInformation & OWNER_SECURITY_INFORMATION) parts.owner = platform::SidOfHostUser(info.st_uid);
    if (requestedInformation & GROUP_SECURITY_INFORMATION) parts.group = platform::WellKnownSid("Users");
    if (requestedInformation & DACL_SECURITY_INFORMATION) {
        parts.daclPresent = true;
        parts.dacl = OwnerOnlyAcl(info);
    }
    const std::vector<std::uint8_t> bytes = platform::BuildSelfRelative(parts);
    *lengthNeeded = static_cast<DWORD>(bytes.size());
    if (descriptor == nullptr || length < bytes.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(descriptor, bytes.data(), bytes.size());
    return Succeed();
}

// ---- tokens and privileges ----

namespace {
struct Privilege {
    const char* name;
    DWORD luid;
    bool everyone;  // held without being an administrator
};
const std::vector<Privilege>& Privileges() {
    static const std::vector<Privilege> list = {
        {"SeCreateTokenPrivilege", 2, false},        {"SeAssignPrimaryTokenPrivilege", 3, false},
        {"SeLockMemoryPrivilege", 4, false},         {"SeIncreaseQuotaPrivilege", 5, false},
        {"SeMachineAccountPrivilege", 6, false},     {"SeTcbPrivilege", 7, false},
        {"SeSecurityPrivilege", 8, false},           {"SeTakeOwnershipPrivilege", 9, false},
        {"SeLoadDriverPrivilege", 10, false},        {"SeSystemProfilePrivilege", 11, false},
        {"SeSystemtimePrivilege", 12, false},        {"SeProfileSingleProcessPrivilege", 13, false},
        {"SeIncreaseBasePriorityPrivilege", 14, false}, {"SeCreatePagefilePrivilege", 15, false},
        {"SeCreatePermanentPrivilege", 16, false},   {"SeBackupPrivilege", 17, false},
        {"SeRestorePrivilege", 18, false},           {"SeShutdownPrivilege", 19, true},
        {"SeDebugPrivilege", 20, false},             {"SeAuditPrivilege", 21, false},
        {"SeSystemEnvironmentPrivilege", 22, false}, {"SeChangeNotifyPrivilege", 23, true},
        {"SeRemoteShutdownPrivilege", 24, false},    {"SeUndockPrivilege", 25, true},
        {"SeSyncAgentPrivilege", 26, false},         {"SeEnableDelegationPrivilege", 27, false},
        {"SeManageVolumePrivilege", 28, false},      {"SeImpersonatePrivilege", 29, false},
        {"SeCreateGlobalPrivilege", 30, false},      {"SeTrustedCredManAccessPrivilege", 31, false},
        {"SeRelabelPrivilege", 32, false},           {"SeIncreaseWorkingSetPrivilege", 33, true},
        {"SeTimeZonePrivilege", 34, true},           {"SeCreateSymbolicLinkPrivilege", 35, false},
    };
    return list;
}

const Privilege* PrivilegeByLuid(const LUID& luid) {
    if (luid.HighPart != 0) return nullptr;
    for (const auto& privilege : Privileges())
        if (privilege.luid == luid.LowPart) return &privilege;
    return nullptr;
}

bool Holds(const Privilege& privilege) { return privilege.everyone || platform::CallerIsAdministrator(); }

struct TokenTable {
    std::mutex mutex;
    std::map<HANDLE, DWORD> access;  // open token handles and their rights
    std::set<DWORD> enabled;         // privileges switched on in this process
    HANDLE next = 0x7E000000;
};
TokenTable& Tokens() {
    static TokenTable table;
    return table;
}
constexpr DWORD kMaxPrivilegeEntries = 64;

bool PrivilegeEnabled(DWORD luid) {
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    return table.enabled.count(luid) != 0;
}
}  // namespace

HANDLE GetCurrentProcess() { return static_cast<HANDLE>(-1); }

BOOL OpenProcessToken(HANDLE processHandle, DWORD desiredAccess, HANDLE* tokenHandle) {
    if (tokenHandle == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (processHandle != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE);
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    *tokenHandle = table.next;
    table.next += 4;
    table.access[*tokenHandle] = desiredAccess;
    return Succeed();
}

BOOL CloseTokenHandle(HANDLE tokenHandle) {
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    if (table.access.erase(tokenHandle) == 0) return Fail(ERROR_INVALID_HANDLE);
    return Succeed();
}

BOOL LookupPrivilegeValueA(const char* systemName, const char* name, LUID* luid) {
    if (name == nullptr || luid == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (!LocalSystem(systemName)) return Fail(ERROR_NO_SUCH_PRIVILEGE);
    for (const auto& privilege : Privileges()) {
        if (platform::TextCompareEqual(privilege.name, name)) {
            luid->LowPart = privilege.luid;
            luid->HighPart = 0;
            return Succeed();
        }
    }
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL AdjustTokenPrivileges(HANDLE tokenHandle, BOOL disableAllPrivileges, TOKEN_PRIVILEGES* newState,
                           DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    const auto token = table.access.find(tokenHandle);
    if (token == table.access.end()) return Fail(ERROR_INVALID_HANDLE);
    if (!(token->second & TOKEN_ADJUST_PRIVILEGES)) return Fail(ERROR_ACCESS_DENIED);
    if (!disableAllPrivileges && newState == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (newState && newState->PrivilegeCount > kMaxPrivilegeEntries) return Fail(ERROR_INVALID_PARAMETER);
    const DWORD count = newState ? newState->PrivilegeCount : 0;
    if (previousState != nullptr) {
        const DWORD needed = static_cast<DWORD>(sizeof(DWORD) + sizeof(LUID_AND_ATTRIBUTES) * std::max<DWORD>(count, 1));
        if (returnLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
        *returnLength = needed;
        if (bufferLength < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
        previousState->PrivilegeCount = count;
        for (DWORD i = 0; i < count; ++i) {
            previousState->Privileges[i].Luid = newState->Privileges[i].Luid;
            previousState->Privileges[i].Attributes =
                table.enabled.count(newState->Privileges[i].Luid.LowPart) ? SE_PRIVILEGE_ENABLED : 0;
        }
    }
    if (disableAllPrivileges) {
        table.enabled.clear();
        return Succeed();
    }
    bool allAssigned = true;
    for (DWORD i = 0; i < count; ++i) {
        const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
        const Privilege* privilege = PrivilegeByLuid(entry.Luid);
        if (privilege == nullptr || !Holds(*privilege)) {
            allAssigned = false;
            continue;
        }
        if (entry.Attributes & SE_PRIVILEGE_ENABLED) table.enabled.insert(privilege->luid);
        else table.enabled.erase(privilege->luid);
    }
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE_;
}

}  // namespace win
