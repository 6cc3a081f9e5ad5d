#include "app/record_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <set>

namespace quillet::app {
namespace {

Record rec(std::int32_t id, const std::string& platform, const std::string& password = "p") {
    Record r;
    r.id = id;
    r.platform = platform;
    r.account = "acc";
    r.password_cipher = password;
    return r;
}

using Store = std::vector<Record>;

std::multiset<std::string> contents(const Store& store) {
    std::multiset<std::string> out;
    for (const Record& r : store) out.insert(r.platform + "|" + r.account + "|" + r.password_cipher);
    return out;
}

bool ids_unique(const Store& store) {
    std::set<std::int32_t> ids;
    for (const Record& r : store) {
        if (!ids.insert(r.id).second) return false;
    }
    return true;
}

std::map<std::int32_t, std::string> by_id(const Store& store) {
    std::map<std::int32_t, std::string> out;
    for (const Record& r : store) out[r.id] = r.platform;
    return out;
}

// One ID seen from three sides: "" = no record there.
struct RuleCase {
    const char* name;
    const char* local;
    const char* server;
    const char* base;
    std::multiset<std::string> kept;  // the platforms the merged store holds
    int kept_both;                    // pairs or deleted-versus-changed records listed
};

Store side(const char* platform) { return *platform == 0 ? Store{} : Store{rec(7, platform)}; }

TEST(RecordMergeTest, EachRuleHoldsBothWaysRound) {
    const RuleCase cases[] = {
        {"unchanged", "a", "a", "a", {"a"}, 0},
        {"changed on one side", "b", "a", "a", {"b"}, 0},
        {"changed the same way on both", "b", "b", "a", {"b"}, 0},
        {"changed differently on both", "b", "c", "a", {"b", "c"}, 1},
        {"added on one side", "a", "", "", {"a"}, 0},
        {"added on both the same", "a", "a", "", {"a"}, 0},
        {"added on both differently", "a", "b", "", {"a", "b"}, 1},
        {"deleted on one side, unchanged on the other", "", "a", "a", {}, 0},
        {"deleted on one side, changed on the other", "", "b", "a", {"b"}, 1},
        {"deleted on both", "", "", "a", {}, 0},
    };
    for (const RuleCase& c : cases) {
        for (bool swapped : {false, true}) {
            const Store local = side(swapped ? c.server : c.local);
            const Store server = side(swapped ? c.local : c.server);
            const Store base = side(c.base);
            const MergeResult merged = merge_records(local, server, base);
            SCOPED_TRACE(std::string(c.name) + (swapped ? " (swapped)" : ""));
            ASSERT_EQ(merged.status, MergeResult::Status::kDone);
            std::multiset<std::string> kept;
            for (const Record& r : merged.records) kept.insert(r.platform);
            EXPECT_EQ(kept, c.kept);
            EXPECT_TRUE(ids_unique(merged.records));
            EXPECT_EQ(merged.counts.kept_both, c.kept_both);
            // A pair keeps the server's record under its ID; the local one moves past every ID in use.
            if (c.kept_both == 1 && !server.empty() && !local.empty()) {
                EXPECT_EQ(by_id(merged.records)[7], server[0].platform);
                EXPECT_EQ(by_id(merged.records)[8], local[0].platform);
            }
        }
    }
}

TEST(RecordMergeTest, CountsSayWhatHappensToTheLocalStore) {
    const Store base = {rec(1, "keep"), rec(2, "edit"), rec(3, "gone")};
    const Store local = {rec(1, "keep"), rec(2, "edit"), rec(3, "gone")};
    const Store server = {rec(1, "keep"), rec(2, "edited"), rec(4, "new")};
    const MergeResult merged = merge_records(local, server, base);
    EXPECT_EQ(merged.counts.added, 1);
    EXPECT_EQ(merged.counts.changed, 1);
    EXPECT_EQ(merged.counts.deleted, 1);
    EXPECT_EQ(merged.counts.kept_both, 0);
    EXPECT_EQ(merged.changes.size(), 3u);
    EXPECT_EQ(describe_counts(merged.counts), "新增 1 条，修改 1 条，删除 1 条，两边都保留 0 条");
}

TEST(RecordMergeTest, WithoutBaseEqualRecordsCountAsOneAndCollidingIdsAreRenumbered) {
    const Store local = {rec(1, "same"), rec(2, "mine"), rec(9, "moved")};
    const Store server = {rec(1, "same"), rec(2, "theirs"), rec(5, "moved")};
    const MergeResult merged = merge_records(local, server, std::nullopt);
    EXPECT_EQ(contents(merged.records), contents({rec(0, "same"), rec(0, "mine"), rec(0, "theirs"), rec(0, "moved")}));
    EXPECT_TRUE(ids_unique(merged.records));
    EXPECT_EQ(by_id(merged.records)[2], "theirs");
    EXPECT_EQ(by_id(merged.records)[10], "mine");  // past the largest ID, 9
    EXPECT_EQ(by_id(merged.records)[5], "moved");  // the server's ID for the shared record
}

TEST(RecordMergeTest, NewIdsFollowTheLargestIdOfAllThreeStores) {
    const Store base = {rec(1, "a"), rec(40, "old")};
    const MergeResult merged = merge_records({rec(1, "b")}, {rec(1, "c")}, base);
    EXPECT_EQ(by_id(merged.records)[41], "b");
}

TEST(RecordMergeTest, RefusedWhenNoIdIsLeft) {
    const std::int32_t top = std::numeric_limits<std::int32_t>::max();
    const MergeResult merged = merge_records({rec(top, "a")}, {rec(top, "b")}, Store{});
    EXPECT_EQ(merged.status, MergeResult::Status::kNoFreeId);
    EXPECT_TRUE(merged.records.empty());
}

TEST(RecordMergeTest, DuplicatedIdsAreMatchedByTheirFields) {
    // An older store holds ID 3 twice; the server edited one of the two.
    const Store base = {rec(3, "x"), rec(3, "y")};
    const Store local = base;
    const Store server = {rec(3, "x"), rec(3, "y2")};
    const MergeResult merged = merge_records(local, server, base);
    EXPECT_EQ(contents(merged.records), contents({rec(0, "x"), rec(0, "y2")}));
    // And a local addition under the duplicated ID moves aside.
    const MergeResult mine = merge_records({rec(3, "x"), rec(3, "y"), rec(3, "z")}, base, base);
    EXPECT_EQ(contents(mine.records), contents({rec(0, "x"), rec(0, "y"), rec(0, "z")}));
    EXPECT_EQ(by_id(mine.records)[4], "z");
}

TEST(RecordMergeTest, DifferIgnoresOrderButNotIdsOrFields) {
    EXPECT_FALSE(records_differ({rec(1, "a"), rec(2, "b")}, {rec(2, "b"), rec(1, "a")}));
    EXPECT_TRUE(records_differ({rec(1, "a")}, {rec(2, "a")}));
    EXPECT_TRUE(records_differ({rec(1, "a")}, {rec(1, "a", "q")}));
}

// Random edits of a common base on both sides.
class RandomEdits {
  public:
    explicit RandomEdits(unsigned seed) : random_(seed) {}

    Store base(int size) {
        Store store;
        for (int i = 1; i <= size; ++i) store.push_back(rec(i, "r" + std::to_string(i)));
        return store;
    }
    Store edit(Store store, const std::string& tag, std::int32_t* next_id) {
        Store out;
        for (Record r : store) {
            const int dice = static_cast<int>(random_() % 6);
            if (dice == 0) continue;                  // deleted
            if (dice == 1) r.password_cipher += tag;  // changed
            out.push_back(r);
        }
        const int added = static_cast<int>(random_() % 4);
        for (int i = 0; i < added; ++i) out.push_back(rec((*next_id)++, tag + std::to_string(i)));
        return out;
    }

  private:
    std::mt19937 random_;
};

TEST(RecordMergeTest, RandomEditsKeepEveryEditAndSettle) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        RandomEdits edits(seed);
        const Store base = edits.base(20);
        std::int32_t next_local = 21, next_server = 21;  // both sides add under the same new IDs
        const Store local = edits.edit(base, "L", &next_local);
        const Store server = edits.edit(base, "S", &next_server);

        // Merging a side with an unchanged other side gives that side.
        EXPECT_FALSE(records_differ(merge_records(local, base, base).records, local));
        EXPECT_FALSE(records_differ(merge_records(base, server, base).records, server));

        const MergeResult merged = merge_records(local, server, base);
        ASSERT_EQ(merged.status, MergeResult::Status::kDone);
        EXPECT_TRUE(ids_unique(merged.records));
        const auto kept = contents(merged.records);
        // A record of either side is missing only when it is the base's and the other side
        // deleted or changed it.
        for (const auto* pair : {&local, &server}) {
            const Store& mine = *pair;
            const Store& other = pair == &local ? server : local;
            for (const Record& r : mine) {
                if (kept.count(r.platform + "|" + r.account + "|" + r.password_cipher) != 0) continue;
                const bool unchanged = std::any_of(base.begin(), base.end(), [&](const Record& b) {
                    return b.id == r.id && b.platform == r.platform && b.password_cipher == r.password_cipher;
                });
                const bool left_by_other = std::none_of(other.begin(), other.end(), [&](const Record& o) {
                    return o.id == r.id && o.platform == r.platform && o.password_cipher == r.password_cipher;
                });
                EXPECT_TRUE(unchanged && left_by_other) << r.id << " " << r.platform << r.password_cipher;
            }
        }
        // Both sides taking the result leaves nothing more to merge.
        const MergeResult again = merge_records(merged.records, merged.records, merged.records);
        EXPECT_FALSE(records_differ(again.records, merged.records));
        EXPECT_TRUE(again.changes.empty());
    }
}

}  // namespace
}  // namespace quillet::app
