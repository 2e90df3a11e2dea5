// The registry's store: a new store gets its tables and base keys once, a
// store made before is used as it is, a file that is no store fails to open
// with an I/O fault, a change left uncommitted leaves nothing behind, the
// long transaction of a second connection is seen by others only once
// committed, values keep the order they were first written in, and a path
// of names leads to its key whatever the names' case, or nowhere when a key
// on the way is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/RegistryStore.h"
#include "support/TempHost.h"

namespace {

using platform::RegistryConnection;
using platform::RegistryStoreError;

int baseKeyLayouts = 0;
constexpr std::int64_t kFirstRoot = 1;

void AddThreeRoots(RegistryConnection& store) {
    ++baseKeyLayouts;
    for (const char* root : {"ONE", "TWO", "THREE"}) store.InsertKey(platform::kRegistryTop, root, {});
}

RegistryConnection OpenStore() { return RegistryConnection(platform::RegistryStoreFile(), AddThreeRoots); }

std::int64_t Roots(RegistryConnection& store) {
    return static_cast<std::int64_t>(store.ChildIds(platform::kRegistryTop).size());
}

std::int64_t Values(RegistryConnection& store, std::int64_t key) { return store.KeyInfo(key)->values; }

std::vector<std::string> ValueNames(RegistryConnection& store, std::int64_t key) {
    std::vector<std::string> names;
    for (std::int64_t index = 0; auto value = store.NthValue(key, index); ++index) names.push_back(value->name);
    return names;
}

TEST(RegistryStore, ANewStoreIsLaidOutOnceAndUsedAsItIsAfterwards) {
    testsupport::TempHost host;
    baseKeyLayouts = 0;
    for (int open = 0; open < 2; ++open) {
        RegistryConnection store = OpenStore();
        EXPECT_EQ(Roots(store), 3);
        EXPECT_EQ(Values(store, kFirstRoot), 0);
    }
    EXPECT_EQ(baseKeyLayouts, 1);
}

TEST(RegistryStore, AFileThatIsNoStoreFailsWithAnIoFault) {
    testsupport::TempHost host;
    testsupport::WriteHostFile(platform::RegistryStoreFile(), std::string(8192, '\x5A'));
    try {
        OpenStore();
        FAIL() << "opened";
    } catch (const RegistryStoreError& error) {
        EXPECT_EQ(error.fault, RegistryStoreError::Fault::IoFailed);
    }
}

TEST(RegistryStore, AChangeNotCommittedLeavesNothingAndANestedOneLeavesTheOuterWhole) {
    testsupport::TempHost host;
    RegistryConnection store = OpenStore();
    {
        platform::RegistryStoreChange change(store);
        store.PutValue(kFirstRoot, "v", 1, {});
    }
    EXPECT_EQ(Values(store, kFirstRoot), 0);
    {
        platform::RegistryStoreChange outer(store);
        store.PutValue(kFirstRoot, "v", 1, {});
        {
            platform::RegistryStoreChange inner(store);
            store.DeleteValues(kFirstRoot);
        }
        outer.Commit();
    }
    EXPECT_EQ(Values(store, kFirstRoot), 1);
}

// A second connection's long transaction holds its key, its value and a
// change that failed inside it, unseen by the first connection until it ends.
TEST(RegistryStore, ALongTransactionIsSeenByOtherConnectionsOnlyOnceCommitted) {
    struct Case {
        const char* name;
        bool commit;
    };
    for (const Case& c : {Case{"committed", true}, Case{"rolled back", false}}) {
        SCOPED_TRACE(c.name);
        testsupport::TempHost host;
        RegistryConnection store = OpenStore();
        const std::int64_t versionBefore = store.DataVersion();
        const std::int64_t ownChangesBefore = store.TotalChanges();
        RegistryConnection transacted = OpenStore();
        transacted.BeginLongTransaction();
        const std::int64_t key = transacted.InsertKey(kFirstRoot, "Held", {7});
        transacted.PutValue(key, "Value", 4, {1, 0, 0, 0});
        {
            platform::RegistryStoreChange failed(transacted);
            transacted.DeleteKeyRow(key);
        }
        EXPECT_TRUE(transacted.KeyExists(key));
        EXPECT_FALSE(store.Child(kFirstRoot, "HELD"));
        EXPECT_EQ(store.DataVersion(), versionBefore);

        if (c.commit) EXPECT_TRUE(transacted.CommitLongTransaction());
        else transacted.RollBackLongTransaction();

        const auto child = store.Child(kFirstRoot, "HELD");
        ASSERT_EQ(child.has_value(), c.commit);
        EXPECT_EQ(store.DataVersion() != versionBefore, c.commit);
        EXPECT_EQ(store.TotalChanges(), ownChangesBefore);
        if (!c.commit) continue;
        EXPECT_EQ(child->name, "Held");
        EXPECT_EQ(store.Descriptor(child->id), std::vector<std::uint8_t>{7});
        const auto value = store.Value(child->id, "VALUE");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->name, "Value");
        EXPECT_EQ(value->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    }
}

// A value written again keeps its place, under the name as given the last
// time; one deleted and written again goes to the end.
TEST(RegistryStore, ValuesKeepTheOrderTheyWereFirstWrittenIn) {
    testsupport::TempHost host;
    RegistryConnection store = OpenStore();
    for (const char* name : {"zeta", "Alpha", "mid"}) store.PutValue(kFirstRoot, name, 1, {});
    store.PutValue(kFirstRoot, "ZETA", 3, {9});
    EXPECT_EQ(ValueNames(store, kFirstRoot), (std::vector<std::string>{"ZETA", "Alpha", "mid"}));
    EXPECT_EQ(store.NthValue(kFirstRoot, 0)->type, 3u);

    EXPECT_TRUE(store.DeleteValue(kFirstRoot, "alpha"));
    EXPECT_FALSE(store.DeleteValue(kFirstRoot, "alpha"));
    store.PutValue(kFirstRoot, "Alpha", 1, {});
    EXPECT_EQ(ValueNames(store, kFirstRoot), (std::vector<std::string>{"ZETA", "mid", "Alpha"}));
}

// A small tree: SOFTWARE\Ölüberwachung\監視\Leaf under the first root,
// each key with its own descriptor byte, and a key deleted below the first.
struct PathTree {
    std::int64_t software, watch, japanese, leaf;
};

PathTree AddPathTree(RegistryConnection& store) {
    PathTree tree{};
    tree.software = store.InsertKey(kFirstRoot, "SOFTWARE", {1});
    tree.watch = store.InsertKey(tree.software, "Ölüberwachung", {2});
    tree.japanese = store.InsertKey(tree.watch, "監視", {3});
    tree.leaf = store.InsertKey(tree.japanese, "Leaf", {4});
    store.DeleteKeyRow(store.InsertKey(kFirstRoot, "Gone", {5}));
    return tree;
}

TEST(RegistryStore, APathOfNamesLeadsToItsKeyInAnyCaseOrNowhere) {
    testsupport::TempHost host;
    RegistryConnection store = OpenStore();
    const PathTree tree = AddPathTree(store);
    const std::vector<std::string> stored = {"SOFTWARE", "Ölüberwachung", "監視", "Leaf"};
    struct Case {
        const char* name;
        std::vector<std::string> path;
        std::optional<std::int64_t> key;
        std::uint8_t descriptor;
    };
    const std::vector<Case> cases = {
        {"as stored", stored, tree.leaf, 4},
        {"other letter case", {"software", "ÖLÜBERWACHUNG", "監視", "lEAF"}, tree.leaf, 4},
        {"part of the way", {"Software", "ölüberwachung"}, tree.watch, 2},
        {"the start itself", {}, kFirstRoot, 0},
        {"a missing middle key", {"SOFTWARE", "Missing", "監視", "Leaf"}, std::nullopt, 0},
        {"a missing last key", {"SOFTWARE", "Ölüberwachung", "監視", "Leaf", "More"}, std::nullopt, 0},
        {"through a deleted key", {"Gone"}, std::nullopt, 0},
        {"a name that only starts alike", {"SOFT"}, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto end = store.KeyAtPath(kFirstRoot, c.path);
        ASSERT_EQ(end.has_value(), c.key.has_value());
        if (!end) continue;
        EXPECT_EQ(end->id, *c.key);
        EXPECT_EQ(end->names, std::vector<std::string>(stored.begin(), stored.begin() + c.path.size()));
        EXPECT_EQ(end->descriptor, c.descriptor ? std::vector<std::uint8_t>{c.descriptor} : std::vector<std::uint8_t>{});
    }
}

// Deeper than any key the program makes, and inside a long transaction,
// which sees its own keys before they are committed.
TEST(RegistryStore, AVeryDeepPathIsWalkedInsideALongTransaction) {
    testsupport::TempHost host;
    RegistryConnection store = OpenStore();
    store.BeginLongTransaction();
    std::vector<std::string> path;
    std::int64_t key = kFirstRoot;
    for (int depth = 0; depth < 500; ++depth) {
        path.push_back("Level" + std::to_string(depth));
        key = store.InsertKey(key, path.back(), {});
    }
    const auto end = store.KeyAtPath(kFirstRoot, path);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->id, key);
    EXPECT_EQ(end->names, path);
    EXPECT_TRUE(store.CommitLongTransaction());
    EXPECT_EQ(store.KeyAtPath(kFirstRoot, path)->id, key);
}

TEST(RegistryStore, TheRootsAreReadWhenTheConnectionIsMade) {
    testsupport::TempHost host;
    { OpenStore(); }
    RegistryConnection store = OpenStore();
    std::vector<std::string> names;
    for (const platform::RegistryChild& root : store.Roots())
        names.push_back(std::to_string(root.id) + " " + root.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"1 ONE", "2 TWO", "3 THREE"}));
}

}  // namespace
