#pragma once
// The registry's store on this host: an SQLite database in the host folder
// (registry.db, WAL) of keys (name as given, upper-cased name for lookups,
// security descriptor, time written) and their values in the order they were
// first written. A connection lays out a new store, reads and writes keys and
// values by key id, runs one change as one transaction and can hold a long
// transaction open for a kernel transaction; what the keys mean is the
// registry calls' business.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace platform {

class SqliteStatementCache;

// A store call that failed: what the registry calls report for it.
struct RegistryStoreError {
    enum class Fault { CannotOpen, Damaged, IoFailed };
    Fault fault;
};

std::filesystem::path RegistryStoreFile();

// The parent of the root keys.
inline constexpr std::int64_t kRegistryTop = 0;

struct RegistryChild {
    std::int64_t id = 0;
    std::string name;  // as stored
};

// The key at the end of a path of names: its id, the names as stored on
// the way, and its descriptor bytes (empty when it has none).
struct RegistryPathEnd {
    std::int64_t id = 0;
    std::vector<std::string> names;
    std::vector<std::uint8_t> descriptor;
};

struct RegistrySubKey {
    std::string name;
    std::int64_t written = 0;  // seconds since 1970, UTC
};

struct RegistryValue {
    std::string name;  // as stored
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// What RegQueryInfoKey tells of a key; lengths are in bytes.
struct RegistryKeyInfo {
    std::int64_t subKeys = 0;
    std::int64_t longestSubKeyName = 0;
    std::int64_t values = 0;
    std::int64_t longestValueName = 0;
    std::int64_t longestData = 0;
    std::int64_t descriptorLength = 0;
    std::int64_t written = 0;
};

class RegistryConnection;

// Lays out the keys every new store has, inside the transaction that makes
// the tables.
using AddBaseKeys = void (*)(RegistryConnection& store);

// A connection to the store file, made when missing (private to the user).
// A store made before is used as it is; a new one gets the write-ahead log,
// the tables and its base keys in one transaction. A failed call raises a
// RegistryStoreError. Names are looked up case-insensitively.
class RegistryConnection {
public:
    RegistryConnection(const std::filesystem::path& file, AddBaseKeys addBaseKeys);
    ~RegistryConnection();
    RegistryConnection(const RegistryConnection&) = delete;
    RegistryConnection& operator=(const RegistryConnection&) = delete;

    std::optional<RegistryChild> Child(std::int64_t parent, const std::string& name);
    // The children of kRegistryTop, read when the connection was made: they
    // come with the store and are never deleted.
    const std::vector<RegistryChild>& Roots() const { return roots_; }
    // The key reached from the key `from` through the names, one prepared
    // statement stepped per name; nothing when a key on the way is missing.
    std::optional<RegistryPathEnd> KeyAtPath(std::int64_t from, const std::vector<std::string>& names);
    // A new key written now; its id.
    std::int64_t InsertKey(std::int64_t parent, const std::string& name, const std::vector<std::uint8_t>& descriptor);
    bool KeyExists(std::int64_t id);
    std::optional<std::string> KeyName(std::int64_t id);
    // The key's descriptor bytes (empty when it has none), or nothing when the key is gone.
    std::optional<std::vector<std::uint8_t>> Descriptor(std::int64_t id);
    void SetDescriptor(std::int64_t id, const std::vector<std::uint8_t>& descriptor);
    // Marks the key written now.
    void Touch(std::int64_t id);
    std::vector<std::int64_t> ChildIds(std::int64_t parent);
    bool HasChildren(std::int64_t parent);
    // The key's row only: its values and children are the caller's to delete first.
    void DeleteKeyRow(std::int64_t id);
    // The index-th subkey in upper-cased name order.
    std::optional<RegistrySubKey> NthChild(std::int64_t parent, std::int64_t index);
    std::optional<RegistryKeyInfo> KeyInfo(std::int64_t id);

    std::optional<RegistryValue> Value(std::int64_t key, const std::string& name);
    // Written under the name as given now, in the place of a value first written before.
    void PutValue(std::int64_t key, const std::string& name, std::uint32_t type, const std::vector<std::uint8_t>& data);
    // False when there was no such value.
    bool DeleteValue(std::int64_t key, const std::string& name);
    void DeleteValues(std::int64_t key);
    // The index-th value in the order values were first written.
    std::optional<RegistryValue> NthValue(std::int64_t key, std::int64_t index);

    // Moves whenever another connection commits a change.
    std::int64_t DataVersion();
    // Changes made through this connection.
    std::int64_t TotalChanges();

    // A transaction that holds every change made through this connection
    // until it is committed or rolled back. A commit that fails rolls back
    // and returns false.
    void BeginLongTransaction();
    bool CommitLongTransaction();
    void RollBackLongTransaction();

    // Lets go of the connection without touching it: a connection inherited
    // over fork() must not be used in the child.
    void Abandon();

private:
    friend class RegistryStoreChange;
    sqlite3* db_ = nullptr;
    std::unique_ptr<SqliteStatementCache> statements_;
    std::vector<RegistryChild> roots_;

    void Close();
};

// One change: its own SQLite transaction, or a savepoint inside the long
// one a kernel transaction holds open, so that a failed change leaves that
// one whole. Rolled back unless committed.
class RegistryStoreChange {
public:
    explicit RegistryStoreChange(RegistryConnection& store);
    ~RegistryStoreChange();
    RegistryStoreChange(const RegistryStoreChange&) = delete;
    RegistryStoreChange& operator=(const RegistryStoreChange&) = delete;
    void Commit();

private:
    RegistryConnection& store_;
    bool nested_;
    bool done_ = false;
};

}  // namespace platform
