#include "platform/api/Registry.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/host/HostFolder.h"
#include "platform/host/RegistryStore.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {
namespace {

using win::DWORD;
using win::HKEY;
using win::LONG;
using win::REGSAM;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kNoKey = -1;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr DWORD ERROR_NOACCESS = 998;
const GenericMapping kKeyMapping{win::KEY_READ, win::KEY_WRITE, win::KEY_EXECUTE, win::KEY_ALL_ACCESS};

// A failed store call carries the Windows result it turns into.
struct StoreError {
    LONG code;
};

LONG ResultOf(const RegistryStoreError& error) {
    switch (error.fault) {
        case RegistryStoreError::Fault::CannotOpen: return static_cast<LONG>(win::ERROR_CANTOPEN);
        case RegistryStoreError::Fault::Damaged: return static_cast<LONG>(win::ERROR_BADDB);
        case RegistryStoreError::Fault::IoFailed: break;
    }
    return static_cast<LONG>(win::ERROR_REGISTRY_IO_FAILED);
}

// An open key: where it is and the rights the open granted.
struct OpenKey {
    std::int64_t rootId = kNoKey;
    std::vector<std::string> path;  // names as stored, below the root
    std::int64_t id = kNoKey;
    DWORD granted = 0;
    win::HANDLE transaction = 0;  // the kernel transaction it was opened in, if any
};

// A kernel transaction: a connection of its own whose long transaction
// holds every change made through the keys opened in it until it ends.
struct KernelTransaction {
    std::unique_ptr<RegistryConnection> db;  // null once committed or rolled back
};

struct Store {
    std::mutex mutex;
    std::unique_ptr<RegistryConnection> db;
    pid_t owner = 0;
    std::filesystem::path file;
    std::map<HKEY, OpenKey> handles;
    HKEY nextHandle = 0x1000;
    std::map<win::HANDLE, KernelTransaction> transactions;
    win::HANDLE nextTransaction = 0x7C000000;
};

// Never destroyed: a short tool leaves closing the store to its exit, which
// lets go of the files and their locks as well as a close would.
Store& TheStore() {
    static Store* store = new Store;
    return *store;
}

const char* const kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_DYN_DATA"};

// Administrators and System have full control, Users may read, and `user`, if
// given, has full control too.
DescriptorParts DefaultDescriptor(const std::optional<SidBytes>& user) {
    DescriptorParts parts;
    parts.control = win::SE_DACL_PRESENT;
    parts.owner = user ? *user : WellKnownSid("Administrators");
    parts.daclPresent = true;
    std::vector<AceEntry> entries;
    auto allow = [&entries](const SidBytes& sid, std::uint32_t mask) {
        AceEntry entry;
        entry.flags = win::CONTAINER_INHERIT_ACE;
        entry.mask = mask;
        entry.sid = sid;
        entries.push_back(entry);
    };
    if (user) allow(*user, win::KEY_ALL_ACCESS);
    allow(WellKnownSid("Administrators"), win::KEY_ALL_ACCESS);
    allow(WellKnownSid("System"), win::KEY_ALL_ACCESS);
    allow(WellKnownSid("Users"), win::KEY_READ);
    parts.dacl = BuildAcl(entries);
    return parts;
}

using Transaction = RegistryStoreChange;

std::optional<std::int64_t> ChildId(RegistryConnection& db, std::int64_t parent, const std::string& name,
                                    std::string* storedName) {
    auto child = db.Child(parent, name);
    if (!child) return std::nullopt;
    if (storedName) *storedName = std::move(child->name);
    return child->id;
}

std::int64_t EnsureKey(RegistryConnection& db, std::int64_t parent, const std::string& name,
                       const DescriptorParts& sd) {
    if (auto id = ChildId(db, parent, name, nullptr)) return *id;
    return db.InsertKey(parent, name, BuildSelfRelative(sd));
}

void CreateBaseKeys(RegistryConnection& db) {
    // The machine's keys are the administrators': a user who is not one may only read them.
    const DescriptorParts sd = DefaultDescriptor(std::nullopt);
    const std::int64_t hklm = EnsureKey(db, kRegistryTop, kRootNames[0], sd);
    EnsureKey(db, kRegistryTop, kRootNames[1], sd);
    EnsureKey(db, kRegistryTop, kRootNames[2], sd);
    const std::int64_t software = EnsureKey(db, hklm, "SOFTWARE", sd);
    EnsureKey(db, software, "Classes", sd);
    if (HostIs64Bit()) EnsureKey(db, software, "Wow6432Node", sd);
    std::int64_t key = EnsureKey(db, hklm, "SYSTEM", sd);
    for (const char* name : {"CurrentControlSet", "Hardware Profiles", "Current"}) key = EnsureKey(db, key, name, sd);
}

std::unique_ptr<RegistryConnection> OpenConnection(const std::filesystem::path& file) {
    return std::make_unique<RegistryConnection>(file, CreateBaseKeys);
}

// Ends the transaction's long transaction, committed or not, and its connection.
LONG EndTransaction(KernelTransaction& transaction, bool commit) {
    if (transaction.db == nullptr) return static_cast<LONG>(win::ERROR_TRANSACTION_NOT_ACTIVE);
    LONG result = win::ERROR_SUCCESS;
    if (!commit) transaction.db->RollBackLongTransaction();
    else if (!transaction.db->CommitLongTransaction()) result = static_cast<LONG>(win::ERROR_REGISTRY_IO_FAILED);
    transaction.db.reset();
    return result;
}

// The connection for the current host folder. A connection inherited over
// fork() is left alone: the child must not use it.
RegistryConnection& Database(Store& store) {
    const std::filesystem::path file = RegistryStoreFile();
    if (store.db != nullptr && store.owner == getpid() && store.file == file) return *store.db;
    if (store.db != nullptr && store.owner == getpid()) {
        for (auto& [handle, transaction] : store.transactions) EndTransaction(transaction, false);
    } else {
        if (store.db) store.db->Abandon();
        for (auto& [handle, transaction] : store.transactions)
            if (transaction.db) transaction.db->Abandon();
    }
    store.db.reset();
    store.handles.clear();
    store.transactions.clear();
    store.db = OpenConnection(file);
    store.file = file;
    store.owner = getpid();
    return *store.db;
}

// The connection that changes through a key go to: its transaction's, or the store's.
RegistryConnection& ConnectionOf(Store& store, const OpenKey& key) {
    if (key.transaction == 0) return Database(store);
    const auto found = store.transactions.find(key.transaction);
    if (found == store.transactions.end() || found->second.db == nullptr)
        throw StoreError{static_cast<LONG>(win::ERROR_TRANSACTION_NOT_ACTIVE)};
    return *found->second.db;
}

// The connection of a transaction handle given to a transacted open.
RegistryConnection& TransactionConnection(Store& store, win::HANDLE transaction) {
    const auto found = store.transactions.find(transaction);
    if (found == store.transactions.end()) throw StoreError{static_cast<LONG>(win::ERROR_INVALID_TRANSACTION)};
    if (found->second.db == nullptr) throw StoreError{static_cast<LONG>(win::ERROR_TRANSACTION_NOT_ACTIVE)};
    return *found->second.db;
}

std::vector<std::string> SplitPath(const char* subKey) {
    std::vector<std::string> parts;
    if (subKey == nullptr) return parts;
    const std::string text(subKey);
    if (!text.empty() && text[0] == '\\') throw StoreError{win::ERROR_BAD_PATHNAME};
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\\', start), text.size());
        if (end > start) {
            if (end - start > kMaxKeyNameLength) throw StoreError{win::ERROR_INVALID_PARAMETER};
            parts.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

const RegistryChild& Root(RegistryConnection& db, int index) {
    for (const RegistryChild& root : db.Roots())
        if (TextUpper(root.name) == kRootNames[index]) return root;
    throw StoreError{static_cast<LONG>(win::ERROR_BADDB)};
}

std::int64_t RootId(RegistryConnection& db, int index) { return Root(db, index).id; }

std::optional<DescriptorParts> DescriptorOf(RegistryConnection& db, std::int64_t id) {
    const auto sd = db.Descriptor(id);
    if (!sd) throw StoreError{static_cast<LONG>(win::ERROR_KEY_DELETED)};
    return ParseDescriptor(sd->data(), sd->size());
}

DWORD MapDesired(REGSAM desired) {
    DWORD mapped = desired & ~(win::KEY_WOW64_32KEY | win::KEY_WOW64_64KEY | win::SYNCHRONIZE | 0x01000000u);
    if (desired & win::GENERIC_READ) mapped |= win::KEY_READ;
    if (desired & win::GENERIC_WRITE) mapped |= win::KEY_WRITE;
    if (desired & win::GENERIC_EXECUTE) mapped |= win::KEY_EXECUTE;
    if (desired & win::GENERIC_ALL) mapped |= win::KEY_ALL_ACCESS;
    return mapped & ~(win::GENERIC_READ | win::GENERIC_WRITE | win::GENERIC_EXECUTE | win::GENERIC_ALL);
}

// The rights an open of a key with this descriptor gives, or nothing when refused.
std::optional<DWORD> GrantedBy(const std::optional<DescriptorParts>& sd, REGSAM desired) {
    if (!sd) return (desired & win::MAXIMUM_ALLOWED) ? win::KEY_ALL_ACCESS : MapDesired(desired);
    const std::vector<SidBytes> token = CallingTokenSids();
    const DWORD wanted = MapDesired(desired) & ~win::MAXIMUM_ALLOWED;
    if (desired & win::MAXIMUM_ALLOWED) {
        const DWORD maximum = MaximumAllowed(*sd, token, kKeyMapping);
        if ((wanted & ~maximum) != 0) return std::nullopt;
        return maximum;
    }
    if (!AccessGranted(*sd, token, wanted, kKeyMapping)) return std::nullopt;
    return wanted;
}

// The rights an open of the key gives, or nothing when refused.
std::optional<DWORD> CheckAccess(RegistryConnection& db, std::int64_t id, REGSAM desired) {
    return GrantedBy(DescriptorOf(db, id), desired);
}

std::optional<DWORD> CheckAccess(const RegistryPathEnd& key, REGSAM desired) {
    return GrantedBy(ParseDescriptor(key.descriptor.data(), key.descriptor.size()), desired);
}

void EnsureCurrentUserKey(RegistryConnection& db) {
    const SidBytes user = CallingUserSid();
    const std::string name = SidToString(user.data());
    if (ChildId(db, RootId(db, 1), name, nullptr)) return;
    Transaction transaction(db);
    std::int64_t key = EnsureKey(db, RootId(db, 1), name, DefaultDescriptor(user));
    EnsureKey(db, key, "Software", DefaultDescriptor(user));
    transaction.Commit();
}

// The key a predefined handle stands for, with the caller's maximum rights.
std::optional<OpenKey> Predefined(RegistryConnection& db, HKEY key) {
    const auto low = static_cast<std::uint32_t>(key);
    if (key != static_cast<HKEY>(low) && key != static_cast<HKEY>(static_cast<std::int32_t>(low))) return std::nullopt;
    OpenKey open;
    switch (low) {
        case 0x80000000u: open.rootId = RootId(db, 0); open.path = {"SOFTWARE", "Classes"}; break;
        case 0x80000001u:
            EnsureCurrentUserKey(db);
            open.rootId = RootId(db, 1);
            open.path = {SidToString(CallingUserSid().data())};
            break;
        case 0x80000002u: open.rootId = RootId(db, 0); break;
        case 0x80000003u: open.rootId = RootId(db, 1); break;
        case 0x80000005u:
            open.rootId = RootId(db, 0);
            open.path = {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"};
            break;
        case 0x80000006u: open.rootId = RootId(db, 2); break;
        default: return std::nullopt;
    }
    return open;
}

// The key at the path below the root; the path's names become the names as stored.
std::optional<RegistryPathEnd> Resolve(RegistryConnection& db, std::int64_t rootId, std::vector<std::string>& path) {
    auto end = db.KeyAtPath(rootId, path);
    if (end) path = end->names;
    return end;
}

// The handle's key with its rights; predefined handles are resolved here.
OpenKey Lookup(Store& store, RegistryConnection& db, HKEY key) {
    if (auto open = Predefined(db, key)) {
        const auto end = Resolve(db, open->rootId, open->path);
        if (!end) throw StoreError{win::ERROR_FILE_NOT_FOUND};
        open->id = end->id;
        open->granted = *CheckAccess(*end, win::MAXIMUM_ALLOWED);
        return *open;
    }
    const auto found = store.handles.find(key);
    if (found == store.handles.end()) throw StoreError{win::ERROR_INVALID_HANDLE};
    return found->second;
}

void Require(const OpenKey& key, DWORD rights) {
    if ((key.granted & rights) != rights) throw StoreError{win::ERROR_ACCESS_DENIED};
}

void RequireExists(RegistryConnection& db, const OpenKey& key) {
    if (!db.KeyExists(key.id)) throw StoreError{static_cast<LONG>(win::ERROR_KEY_DELETED)};
}

// An open key that still exists and was opened with the rights a read needs.
OpenKey LookupForReading(Store& store, RegistryConnection& db, HKEY key, DWORD rights) {
    const OpenKey open = Lookup(store, db, key);
    Require(open, rights);
    RequireExists(db, open);
    return open;
}

// A 32-bit program's view: HKLM\SOFTWARE is HKLM\SOFTWARE\Wow6432Node on a 64-bit host.
void ApplyView(RegistryConnection& db, const OpenKey& base, std::vector<std::string>& path, REGSAM sam) {
    if ((sam & win::KEY_WOW64_32KEY) && (sam & win::KEY_WOW64_64KEY)) throw StoreError{win::ERROR_INVALID_PARAMETER};
    if (!HostIs64Bit() || (sam & win::KEY_WOW64_64KEY) || base.rootId != RootId(db, 0)) return;
    if (path.empty() || TextUpper(path[0]) != "SOFTWARE") return;
    // Wow6432Node is already the 32-bit node; Classes (HKCR) is shared by both views.
    if (path.size() >= 2 && (TextUpper(path[1]) == "WOW6432NODE" || TextUpper(path[1]) == "CLASSES")) return;
    path.insert(path.begin() + 1, "Wow6432Node");
}

std::vector<std::string> FullPath(const OpenKey& base, const char* subKey) {
    std::vector<std::string> path = base.path;
    for (std::string& name : SplitPath(subKey)) path.push_back(std::move(name));
    return path;
}

HKEY AddHandle(Store& store, OpenKey key) {
    const HKEY handle = store.nextHandle;
    store.nextHandle += 4;
    store.handles[handle] = std::move(key);
    return handle;
}

// The descriptor of a new key: the caller owns it; the parent's inheritable
// entries follow the explicit ones of the creator's descriptor, if any.
DescriptorParts NewKeyDescriptor(RegistryConnection& db, std::int64_t parent, const win::SECURITY_ATTRIBUTES* attributes) {
    DescriptorParts parts;
    parts.owner = CallingUserSid();
    parts.control = win::SE_DACL_PRESENT | win::SE_DACL_AUTO_INHERITED;
    parts.daclPresent = true;
    std::vector<AceEntry> entries;
    bool inherit = true;
    if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr) {
        const auto given = ParseDescriptor(attributes->lpSecurityDescriptor, std::numeric_limits<std::size_t>::max() / 2);
        if (!given) throw StoreError{static_cast<LONG>(win::ERROR_INVALID_SECURITY_DESCR)};
        if (!given->owner.empty()) parts.owner = given->owner;
        if (given->daclPresent && !given->dacl.empty())
            for (AceEntry& entry : AclEntries(given->dacl.data()))
                if (!(entry.flags & win::INHERITED_ACE)) entries.push_back(std::move(entry));
        if (given->control & win::SE_DACL_PROTECTED) {
            inherit = false;
            parts.control |= win::SE_DACL_PROTECTED;
        }
    }
    const auto parentSd = DescriptorOf(db, parent);
    if (inherit && parentSd && parentSd->daclPresent && !parentSd->dacl.empty()) {
        for (AceEntry entry : AclEntries(parentSd->dacl.data())) {
            if (!(entry.flags & win::CONTAINER_INHERIT_ACE)) continue;
            if (entry.flags & win::NO_PROPAGATE_INHERIT_ACE) entry.flags = win::INHERITED_ACE;
            else entry.flags = static_cast<std::uint8_t>((entry.flags & ~win::INHERIT_ONLY_ACE) | win::INHERITED_ACE);
            entry.raw.clear();
            entries.push_back(std::move(entry));
        }
    }
    parts.dacl = BuildAcl(entries);
    return parts;
}

template <typename Body>
LONG Guarded(Body body) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    try {
        return body(store, Database(store));
    } catch (const StoreError& error) {
        return error.code;
    } catch (const RegistryStoreError& error) {
        return ResultOf(error);
    } catch (const std::exception&) {
        return static_cast<LONG>(win::ERROR_REGISTRY_IO_FAILED);
    }
}

// Guarded, on the connection of the key's transaction when it was opened in one.
template <typename Body>
LONG GuardedAt(HKEY key, Body body) {
    return Guarded([&](Store& store, RegistryConnection& db) -> LONG {
        const auto found = store.handles.find(key);
        if (found != store.handles.end() && found->second.transaction != 0)
            return body(store, ConnectionOf(store, found->second));
        return body(store, db);
    });
}

// The key an open starts from. A predefined key needs only its root and
// path, as the whole path is resolved from the root; an open handle's key
// must still exist.
OpenKey BaseOfOpen(Store& store, RegistryConnection& db, HKEY key) {
    if (auto predefined = Predefined(db, key)) return *predefined;
    const OpenKey base = Lookup(store, db, key);
    RequireExists(db, base);
    return base;
}

LONG OpenKeyAt(Store& store, RegistryConnection& db, HKEY key, const char* subKey, REGSAM sam, HKEY* result) {
    if (result == nullptr) return win::ERROR_INVALID_PARAMETER;
    const OpenKey base = BaseOfOpen(store, db, key);
    OpenKey open = base;
    open.path = FullPath(base, subKey);
    ApplyView(db, base, open.path, sam);
    const auto end = Resolve(db, base.rootId, open.path);
    if (!end) return win::ERROR_FILE_NOT_FOUND;
    const auto granted = CheckAccess(*end, sam);
    if (!granted) return win::ERROR_ACCESS_DENIED;
    open.id = end->id;
    open.granted = *granted;
    *result = AddHandle(store, open);
    return win::ERROR_SUCCESS;
}

LONG CreateKeyAt(Store& store, RegistryConnection& db, HKEY key, const char* subKey, REGSAM sam,
                 const win::SECURITY_ATTRIBUTES* attributes, HKEY* result, DWORD* disposition) {
    if (result == nullptr) return win::ERROR_INVALID_PARAMETER;
    const OpenKey base = Lookup(store, db, key);
    OpenKey open = base;
    open.path = FullPath(base, subKey);
    ApplyView(db, base, open.path, sam);
    Transaction transaction(db);
    RequireExists(db, base);
    std::int64_t id = base.rootId;
    bool created = false;
    for (std::string& name : open.path) {
        if (auto child = ChildId(db, id, name, &name)) {
            id = *child;
            continue;
        }
        if (!created && !CheckAccess(db, id, win::KEY_CREATE_SUB_KEY)) return win::ERROR_ACCESS_DENIED;
        id = db.InsertKey(id, name, BuildSelfRelative(NewKeyDescriptor(db, id, attributes)));
        created = true;
    }
    const auto granted = CheckAccess(db, id, sam);
    if (!granted) return win::ERROR_ACCESS_DENIED;
    transaction.Commit();
    open.id = id;
    open.granted = *granted;
    *result = AddHandle(store, open);
    if (disposition) *disposition = created ? win::REG_CREATED_NEW_KEY : win::REG_OPENED_EXISTING_KEY;
    return win::ERROR_SUCCESS;
}

std::string ValueName(const char* name) {
    std::string text = name ? name : "";
    if (text.size() > kMaxValueNameLength) throw StoreError{win::ERROR_INVALID_PARAMETER};
    return text;
}

// Copies bytes to a caller's buffer with the ANSI calls' size rules.
LONG HandOut(const Bytes& data, win::BYTE* buffer, DWORD* length) {
    if (buffer == nullptr) {
        if (length) *length = static_cast<DWORD>(data.size());
        return win::ERROR_SUCCESS;
    }
    if (length == nullptr) return static_cast<LONG>(ERROR_NOACCESS);
    if (*length < data.size()) {
        *length = static_cast<DWORD>(data.size());
        return win::ERROR_MORE_DATA;
    }
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    *length = static_cast<DWORD>(data.size());
    return win::ERROR_SUCCESS;
}

// A name into a buffer of *length characters (room for the NUL needed).
LONG HandOutName(const std::string& name, char* buffer, DWORD* length) {
    if (buffer == nullptr || length == nullptr) return win::ERROR_INVALID_PARAMETER;
    if (*length < name.size() + 1) return win::ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *length = static_cast<DWORD>(name.size());
    return win::ERROR_SUCCESS;
}

win::FILETIME FileTimeOf(std::int64_t unixSeconds) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(unixSeconds) + 11644473600ull) * 10000000ull;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Deletes the subkeys of a key, deepest first, and its values; the key
// itself too when asked. Every key deleted must grant the caller DELETE.
LONG DeleteSubtree(RegistryConnection& db, std::int64_t id, bool withKey) {
    for (const std::int64_t child : db.ChildIds(id))
        if (const LONG refused = DeleteSubtree(db, child, true)) return refused;
    if (withKey && !CheckAccess(db, id, win::DELETE)) return win::ERROR_ACCESS_DENIED;
    db.DeleteValues(id);
    if (withKey) db.DeleteKeyRow(id);
    else db.Touch(id);
    return win::ERROR_SUCCESS;
}

std::string DisplayPath(RegistryConnection& db, const OpenKey& key) {
    std::string path;
    for (const RegistryChild& root : db.Roots())
        if (root.id == key.rootId) path = root.name;
    for (const std::string& name : key.path) path += "\\" + name;
    return path;
}

}  // namespace

std::string RegistryKeyPath(win::HKEY key) {
    std::string path;
    GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        path = DisplayPath(db, Lookup(store, db, key));
        return 0;
    });
    return path;
}

RegistryStamp CurrentRegistryStamp() {
    RegistryStamp stamp;
    Guarded([&](Store& store, RegistryConnection& db) -> LONG {
        stamp = {store.file.string(), db.DataVersion(), db.TotalChanges()};
        return 0;
    });
    return stamp;
}

RegistryTransaction::RegistryTransaction()
    : handle_(win::CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr)) {
    if (handle_ == win::INVALID_HANDLE_VALUE) error_ = win::GetLastError();
}

RegistryTransaction::~RegistryTransaction() {
    if (handle_ != win::INVALID_HANDLE_VALUE) win::CloseTransactionHandle(handle_);
}

win::DWORD RegistryTransaction::Commit() {
    if (handle_ == win::INVALID_HANDLE_VALUE) return error_;
    return win::CommitTransaction(handle_) ? 0 : win::GetLastError();
}

win::HKEY RegistryRootOf(const std::string& rootName) {
    const std::string name = TextUpper(rootName);
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE") return win::HKEY_LOCAL_MACHINE;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER") return win::HKEY_CURRENT_USER;
    if (name == "HKU" || name == "HKEY_USERS") return win::HKEY_USERS;
    if (name == "HKCR" || name == "HKEY_CLASSES_ROOT") return win::HKEY_CLASSES_ROOT;
    if (name == "HKCC" || name == "HKEY_CURRENT_CONFIG") return win::HKEY_CURRENT_CONFIG;
    if (name == "HKDD" || name == "HKEY_DYN_DATA") return win::HKEY_DYN_DATA;
    return 0;
}

std::string RegistryRootName(win::HKEY root) {
    switch (static_cast<std::uint32_t>(root)) {
        case 0x80000000u: return "HKEY_CLASSES_ROOT";
        case 0x80000001u: return "HKEY_CURRENT_USER";
        case 0x80000002u: return "HKEY_LOCAL_MACHINE";
        case 0x80000003u: return "HKEY_USERS";
        case 0x80000005u: return "HKEY_CURRENT_CONFIG";
        case 0x80000006u: return "HKEY_DYN_DATA";
        default: return "";
    }
}

}  // namespace platform

namespace win {

using platform::GuardedAt;
using platform::RegistryConnection;
using platform::Store;

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM samDesired, HKEY* result) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) {
        return platform::OpenKeyAt(store, db, key, subKey, samDesired, result);
    });
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* securityAttributes, HKEY* result,
                     DWORD* disposition) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) {
        return platform::CreateKeyAt(store, db, key, subKey, samDesired, securityAttributes, result, disposition);
    });
}

LONG RegOpenKeyTransactedA(HKEY key, const char* subKey, DWORD options, REGSAM samDesired, HKEY* result,
                           HANDLE transaction, void* extendedParameter) {
    return GuardedAt(key, [&](Store& store, RegistryConnection&) -> LONG {
        if (extendedParameter != nullptr) return ERROR_INVALID_PARAMETER;
        RegistryConnection& db = platform::TransactionConnection(store, transaction);
        const LONG opened = platform::OpenKeyAt(store, db, key, subKey, samDesired, result);
        if (opened == ERROR_SUCCESS) store.handles[*result].transaction = transaction;
        return opened;
    });
}

LONG RegCreateKeyTransactedA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                             REGSAM samDesired, const SECURITY_ATTRIBUTES* securityAttributes, HKEY* result,
                             DWORD* disposition, HANDLE transaction, void* extendedParameter) {
    return GuardedAt(key, [&](Store& store, RegistryConnection&) -> LONG {
        if (extendedParameter != nullptr) return ERROR_INVALID_PARAMETER;
        RegistryConnection& db = platform::TransactionConnection(store, transaction);
        const LONG created = platform::CreateKeyAt(store, db, key, subKey, samDesired, securityAttributes, result,
                                                   disposition);
        if (created == ERROR_SUCCESS) store.handles[*result].transaction = transaction;
        return created;
    });
}

LONG RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) {
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, result,
                           nullptr);
}

LONG RegCloseKey(HKEY key) {
    if (!platform::RegistryRootName(key).empty()) return ERROR_SUCCESS;
    Store& store = platform::TheStore();
    std::lock_guard lock(store.mutex);
    return store.handles.erase(key) ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataLength) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
        if (data != nullptr && dataLength == nullptr) return static_cast<LONG>(platform::ERROR_NOACCESS);
        const platform::OpenKey open = platform::Lookup(store, db, key);
        platform::Require(open, KEY_QUERY_VALUE);
        // A key's values go before the key does: a value found tells that its key is still there.
        const auto value = db.Value(open.id, valueName ? valueName : "");
        if (!value) platform::RequireExists(db, open);
        platform::ValueName(valueName);
        if (!value) return ERROR_FILE_NOT_FOUND;
        if (type) *type = value->type;
        return platform::HandOut(value->data, data, dataLength);
    });
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataLength) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (data == nullptr && dataLength != 0) return static_cast<LONG>(platform::ERROR_NOACCESS);
        const std::string name = platform::ValueName(valueName);
        const platform::OpenKey open = platform::Lookup(store, db, key);
        platform::Require(open, KEY_SET_VALUE);
        platform::Transaction transaction(db);
        platform::RequireExists(db, open);
        db.PutValue(open.id, name, type, data ? platform::Bytes(data, data + dataLength) : platform::Bytes{});
        db.Touch(open.id);
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        const std::string name = platform::ValueName(valueName);
        const platform::OpenKey open = platform::Lookup(store, db, key);
        platform::Require(open, KEY_SET_VALUE);
        platform::Transaction transaction(db);
        platform::RequireExists(db, open);
        if (!db.DeleteValue(open.id, name)) return ERROR_FILE_NOT_FOUND;
        db.Touch(open.id);
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyExA(HKEY key, const char* subKey, REGSAM samDesired, DWORD reserved) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
        const platform::OpenKey base = platform::Lookup(store, db, key);
        std::vector<std::string> path = platform::FullPath(base, subKey);
        platform::ApplyView(db, base, path, samDesired);
        platform::Transaction transaction(db);
        platform::RequireExists(db, base);
        const auto end = platform::Resolve(db, base.rootId, path);
        if (!end) return ERROR_FILE_NOT_FOUND;
        if (path.empty() || !platform::CheckAccess(*end, DELETE)) return ERROR_ACCESS_DENIED;
        if (db.HasChildren(end->id)) return ERROR_ACCESS_DENIED;
        db.DeleteValues(end->id);
        db.DeleteKeyRow(end->id);
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) { return RegDeleteKeyExA(key, subKey, 0, 0); }

LONG RegDeleteTreeA(HKEY key, const char* subKey) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        const platform::OpenKey base = platform::Lookup(store, db, key);
        std::vector<std::string> path = platform::FullPath(base, subKey);
        platform::ApplyView(db, base, path, 0);
        platform::Transaction transaction(db);
        platform::RequireExists(db, base);
        const auto end = platform::Resolve(db, base.rootId, path);
        if (!end) return ERROR_FILE_NOT_FOUND;
        const bool withKey = subKey != nullptr && *subKey != '\0';
        if (withKey && path.empty()) return ERROR_ACCESS_DENIED;
        if (!withKey) platform::Require(base, KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS);
        if (const LONG refused = platform::DeleteSubtree(db, end->id, withKey)) return refused;
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, char* keyClass,
                   DWORD* classLength, FILETIME* lastWriteTime) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
        const platform::OpenKey open = platform::LookupForReading(store, db, key, KEY_ENUMERATE_SUB_KEYS);
        const auto child = db.NthChild(open.id, index);
        if (!child) return ERROR_NO_MORE_ITEMS;
        const LONG result = platform::HandOutName(child->name, name, nameLength);
        if (result != ERROR_SUCCESS) return result;
        if (keyClass && classLength && *classLength > 0) keyClass[0] = '\0';
        if (classLength) *classLength = 0;
        if (lastWriteTime) *lastWriteTime = platform::FileTimeOf(child->written);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameLength) {
    return RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameLength, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* dataLength) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
        if (data != nullptr && dataLength == nullptr) return static_cast<LONG>(platform::ERROR_NOACCESS);
        const platform::OpenKey open = platform::LookupForReading(store, db, key, KEY_QUERY_VALUE);
        const auto value = db.NthValue(open.id, index);
        if (!value) return ERROR_NO_MORE_ITEMS;
        const LONG result = platform::HandOutName(value->name, valueName, valueNameLength);
        if (result != ERROR_SUCCESS) return result;
        if (type) *type = value->type;
        return platform::HandOut(value->data, data, dataLength);
    });
}

LONG RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classLength, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptorLength, FILETIME* lastWriteTime) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
        const platform::OpenKey open = platform::Lookup(store, db, key);
        platform::Require(open, KEY_QUERY_VALUE);
        const auto info = db.KeyInfo(open.id);
        if (!info) return static_cast<LONG>(ERROR_KEY_DELETED);
        if (keyClass && classLength && *classLength > 0) keyClass[0] = '\0';
        if (classLength) *classLength = 0;
        if (subKeys) *subKeys = static_cast<DWORD>(info->subKeys);
        if (maxSubKeyLength) *maxSubKeyLength = static_cast<DWORD>(info->longestSubKeyName);
        if (maxClassLength) *maxClassLength = 0;
        if (values) *values = static_cast<DWORD>(info->values);
        if (maxValueNameLength) *maxValueNameLength = static_cast<DWORD>(info->longestValueName);
        if (maxValueLength) *maxValueLength = static_cast<DWORD>(info->longestData);
        if (securityDescriptorLength) *securityDescriptorLength = static_cast<DWORD>(info->descriptorLength);
        if (lastWriteTime) *lastWriteTime = platform::FileTimeOf(info->written);
        return ERROR_SUCCESS;
    });
}

LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION securityInformation, PSECURITY_DESCRIPTOR descriptor,
                       DWORD* descriptorLength) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        if (descriptorLength == nullptr) return ERROR_INVALID_PARAMETER;
        const platform::OpenKey open = platform::Lookup(store, db, key);
        platform::Require(open, READ_CONTROL);
        const auto stored = platform::DescriptorOf(db, open.id);
        if (!stored) return static_cast<LONG>(ERROR_BADDB);
        platform::DescriptorParts parts;
        parts.control = stored->control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_OWNER_DEFAULTED);
        if (securityInformation & OWNER_SECURITY_INFORMATION) parts.owner = stored->owner;
        if (securityInformation & GROUP_SECURITY_INFORMATION) parts.group = stored->group;
        if (securityInformation & DACL_SECURITY_INFORMATION) {
            parts.daclPresent = stored->daclPresent;
            parts.dacl = stored->dacl;
        }
        const platform::Bytes bytes = platform::BuildSelfRelative(parts);
        if (descriptor == nullptr || *descriptorLength < bytes.size()) {
            *descriptorLength = static_cast<DWORD>(bytes.size());
            return static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(descriptor, bytes.data(), bytes.size());
        *descriptorLength = static_cast<DWORD>(bytes.size());
        return ERROR_SUCCESS;
    });
}

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION securityInformation, PSECURITY_DESCRIPTOR descriptor) {
    return GuardedAt(key, [&](Store& store, RegistryConnection& db) -> LONG {
        const auto given = platform::ParseDescriptor(descriptor, std::numeric_limits<std::size_t>::max() / 2);
        if (!given) return static_cast<LONG>(ERROR_INVALID_SECURITY_DESCR);
        const platform::OpenKey open = platform::Lookup(store, db, key);
        if (securityInformation & DACL_SECURITY_INFORMATION) platform::Require(open, WRITE_DAC);
        if (securityInformation & OWNER_SECURITY_INFORMATION) platform::Require(open, WRITE_OWNER);
        platform::Transaction transaction(db);
        auto stored = platform::DescriptorOf(db, open.id);
        if (!stored) return static_cast<LONG>(ERROR_BADDB);
        if (securityInformation & OWNER_SECURITY_INFORMATION) {
            if (given->owner.empty()) return static_cast<LONG>(ERROR_INVALID_OWNER);
            const auto token = platform::CallingTokenSids();
            const bool own = std::find(token.begin(), token.end(), given->owner) != token.end();
            if (!own && !platform::CallerIsAdministrator()) return static_cast<LONG>(ERROR_INVALID_OWNER);
            stored->owner = given->owner;
        }
        if (securityInformation & GROUP_SECURITY_INFORMATION) stored->group = given->group;
        if (securityInformation & DACL_SECURITY_INFORMATION) {
            constexpr SECURITY_DESCRIPTOR_CONTROL carried = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
            stored->daclPresent = given->daclPresent;
            stored->dacl = given->dacl;
            stored->control = static_cast<std::uint16_t>((stored->control & ~carried) | (given->control & carried));
        }
        db.SetDescriptor(open.id, platform::BuildSelfRelative(*stored));
        transaction.Commit();
        return ERROR_SUCCESS;
    });
}

HANDLE CreateTransaction(SECURITY_ATTRIBUTES* attributes, void* unitOfWork, DWORD createOptions,
                         DWORD isolationLevel, DWORD isolationFlags, DWORD timeout, wchar_t* description) {
    (void)attributes, (void)isolationLevel, (void)isolationFlags, (void)timeout, (void)description;
    if (unitOfWork != nullptr || (createOptions & ~TRANSACTION_DO_NOT_PROMOTE) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Store& store = platform::TheStore();
    std::lock_guard lock(store.mutex);
    std::unique_ptr<platform::RegistryConnection> db;
    try {
        platform::Database(store);
        db = platform::OpenConnection(store.file);
        db->BeginLongTransaction();
    } catch (const platform::StoreError& error) {
        SetLastError(static_cast<DWORD>(error.code));
        return INVALID_HANDLE_VALUE;
    } catch (const platform::RegistryStoreError& error) {
        SetLastError(static_cast<DWORD>(platform::ResultOf(error)));
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = store.nextTransaction;
    store.nextTransaction += 4;
    store.transactions[handle].db = std::move(db);
    return handle;
}

namespace {

BOOL EndTransactionHandle(HANDLE transaction, bool commit) {
    Store& store = platform::TheStore();
    std::lock_guard lock(store.mutex);
    const auto found = store.transactions.find(transaction);
    if (found == store.transactions.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    const LONG result = platform::EndTransaction(found->second, commit);
    if (result != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(result));
        return FALSE_;
    }
    return TRUE_;
}

}  // namespace

BOOL CommitTransaction(HANDLE transaction) { return EndTransactionHandle(transaction, true); }

BOOL RollbackTransaction(HANDLE transaction) { return EndTransactionHandle(transaction, false); }

BOOL CloseTransactionHandle(HANDLE transaction) {
    Store& store = platform::TheStore();
    std::lock_guard lock(store.mutex);
    const auto found = store.transactions.find(transaction);
    if (found == store.transactions.end()) return FALSE_;
    if (found->second.db != nullptr) platform::EndTransaction(found->second, false);
    store.transactions.erase(found);
    return TRUE_;
}

}  // namespace win
