// A three-way merge of the local records and the server's copy against the copy both
// sides last agreed on (the base), the way version control merges files. Records carry
// no timestamps: a record is matched by its ID, and it "changed" when any of its five
// fields differs from the base. Nothing either side changed is dropped; where the sides
// disagree both versions are kept, the server's under its ID, the local one renumbered.
//
// Pure: the stores are read and written by the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/record_store.h"

namespace quillet::app {

// What the merge does to the local store, record by record.
struct MergeChange {
    enum class Kind {
        kAdded,        // the server's record comes in
        kChanged,      // the local record takes the server's version
        kDeleted,      // the server deleted it and it was unchanged here
        kRenumbered,   // both sides hold different records under one ID: the local one moves
        kKeptDeleted,  // deleted on one side, changed on the other: the changed one stays
    };
    Kind kind = Kind::kAdded;
    Record record;            // as it ends up (kDeleted: as it was)
    std::int32_t old_id = 0;  // kRenumbered: the ID it had
};

struct MergeCounts {
    int added = 0;
    int changed = 0;
    int deleted = 0;
    int kept_both = 0;  // renumbered pairs and deleted-versus-changed records
};

struct MergeResult {
    enum class Status { kDone, kNoFreeId };
    Status status = Status::kDone;
    std::vector<Record> records;  // the merged store, in ID order
    std::vector<MergeChange> changes;
    MergeCounts counts;
};

// `base` empty: the first sync of this folder, or a base that does not open; then
// records equal in all five fields count as one and everything else is kept from both.
MergeResult merge_records(const std::vector<Record>& local, const std::vector<Record>& server,
                          const std::optional<std::vector<Record>>& base);

// Whether two stores hold different sets of (ID, five fields).
bool records_differ(const std::vector<Record>& a, const std::vector<Record>& b);

// "新增 3 条，修改 1 条，删除 0 条，两边都保留 2 条"
std::string describe_counts(const MergeCounts& counts);
// One line per change, for a dry run.
std::string describe_change(const MergeChange& change);

}  // namespace quillet::app
