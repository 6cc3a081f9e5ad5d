#include "app/record_merge.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>

namespace quillet::app {
namespace {

auto fields_of(const Record& r) { return std::tie(r.platform, r.account, r.password_cipher, r.address, r.remark); }
bool same_fields(const Record& a, const Record& b) { return fields_of(a) == fields_of(b); }
bool same_record(const Record& a, const Record& b) { return a.id == b.id && same_fields(a, b); }
bool record_less(const Record& a, const Record& b) {
    return std::tie(a.id, a.platform, a.account, a.password_cipher, a.address, a.remark) <
           std::tie(b.id, b.platform, b.account, b.password_cipher, b.address, b.remark);
}

struct Group {
    std::vector<const Record*> local, server, base;
};

// Collects the merged store. Records that must leave their ID wait in `renumber` until
// every ID in use is known.
class Builder {
  public:
    explicit Builder(MergeResult* result) : result_(*result) {}

    void keep(const Record& record) { result_.records.push_back(record); }
    void take_from_server(const Record& record, MergeChange::Kind kind) {
        keep(record);
        note(kind, record);
    }
    void deleted(const Record& record) { note(MergeChange::Kind::kDeleted, record); }
    void kept_deleted(const Record& record) {
        keep(record);
        note(MergeChange::Kind::kKeptDeleted, record);
    }
    void renumber(const Record& local) { renumber_.push_back(local); }

    // New IDs follow the largest ID any of the three stores holds.
    bool finish(std::int64_t largest_id) {
        for (Record record : renumber_) {
            if (largest_id >= std::numeric_limits<std::int32_t>::max()) return false;
            const std::int32_t old_id = record.id;
            record.id = static_cast<std::int32_t>(++largest_id);
            keep(record);
            MergeChange change{MergeChange::Kind::kRenumbered, record, old_id};
            result_.changes.push_back(change);
            ++result_.counts.kept_both;
        }
        std::stable_sort(result_.records.begin(), result_.records.end(),
                         [](const Record& a, const Record& b) { return a.id < b.id; });
        return true;
    }

  private:
    void note(MergeChange::Kind kind, const Record& record) {
        result_.changes.push_back(MergeChange{kind, record, record.id});
        switch (kind) {
            case MergeChange::Kind::kAdded:
                ++result_.counts.added;
                break;
            case MergeChange::Kind::kChanged:
                ++result_.counts.changed;
                break;
            case MergeChange::Kind::kDeleted:
                ++result_.counts.deleted;
                break;
            case MergeChange::Kind::kRenumbered:
            case MergeChange::Kind::kKeptDeleted:
                ++result_.counts.kept_both;
                break;
        }
    }

    MergeResult& result_;
    std::vector<Record> renumber_;
};

// One ID held at most once on every side.
void merge_one(const Record* local, const Record* server, const Record* base, Builder& out) {
    if (base == nullptr) {  // added since the base, on one side or both
        if (server == nullptr || (local != nullptr && same_fields(*local, *server))) {
            out.keep(local != nullptr ? *local : *server);
            return;
        }
        if (local != nullptr) out.renumber(*local);
        out.take_from_server(*server, MergeChange::Kind::kAdded);
        return;
    }
    if (local == nullptr && server == nullptr) return;
    if (local == nullptr) {
        if (!same_fields(*server, *base)) out.kept_deleted(*server);
        return;
    }
    if (server == nullptr) {
        if (same_fields(*local, *base)) {
            out.deleted(*local);
        } else {
            out.kept_deleted(*local);
        }
        return;
    }
    if (same_fields(*local, *server) || same_fields(*server, *base)) {
        out.keep(*local);
    } else if (same_fields(*local, *base)) {
        out.take_from_server(*server, MergeChange::Kind::kChanged);
    } else {
        out.renumber(*local);
        out.take_from_server(*server, MergeChange::Kind::kAdded);
    }
}

// Takes the first record of `from` equal to `record` (ID and fields) not taken yet.
bool take_equal(const std::vector<const Record*>& from, std::vector<bool>& taken, const Record& record) {
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (!taken[i] && same_record(*from[i], record)) {
            taken[i] = true;
            return true;
        }
    }
    return false;
}

// An ID that an older store holds more than once: records are matched by ID and fields,
// so an edit shows as the old record gone and a new one added.
void merge_duplicated(const Group& group, Builder& out) {
    std::vector<bool> local_taken(group.local.size()), server_taken(group.server.size());
    for (const Record* base : group.base) {
        const bool in_local = take_equal(group.local, local_taken, *base);
        const bool in_server = take_equal(group.server, server_taken, *base);
        if (in_local && in_server) out.keep(*base);
        if (in_local && !in_server) out.deleted(*base);
    }
    bool server_holds_id = false;
    for (std::size_t i = 0; i < group.server.size(); ++i) {
        server_holds_id = true;
        if (server_taken[i]) continue;
        const Record& added = *group.server[i];
        if (take_equal(group.local, local_taken, added)) {
            out.keep(added);
        } else {
            out.take_from_server(added, MergeChange::Kind::kAdded);
        }
    }
    for (std::size_t i = 0; i < group.local.size(); ++i) {
        if (local_taken[i]) continue;
        if (server_holds_id) {
            out.renumber(*group.local[i]);
        } else {
            out.keep(*group.local[i]);
        }
    }
}

struct FieldsHash {
    std::size_t operator()(const Record& r) const {
        std::hash<std::string> h;
        return h(r.platform) ^ (h(r.account) * 31) ^ (h(r.password_cipher) * 131) ^ (h(r.address) * 1031) ^
               (h(r.remark) * 10007);
    }
};
struct FieldsEqual {
    bool operator()(const Record& a, const Record& b) const { return same_fields(a, b); }
};

// No base: equal fields make one record (the server's, under its ID); everything else is
// kept from both, a local record moved when the server holds its ID.
void merge_without_base(const std::vector<Record>& local, const std::vector<Record>& server, Builder& out) {
    std::unordered_multimap<Record, std::size_t, FieldsHash, FieldsEqual> unmatched;
    std::unordered_map<std::int32_t, int> server_ids;
    for (std::size_t i = 0; i < server.size(); ++i) {
        unmatched.emplace(server[i], i);
        ++server_ids[server[i].id];
    }
    std::vector<bool> matched(server.size());
    std::vector<const Record*> local_only;
    for (const Record& record : local) {
        auto [first, last] = unmatched.equal_range(record);
        auto pick = first;
        for (auto it = first; it != last; ++it) {
            if (it->first.id == record.id) pick = it;
        }
        if (pick == last) {
            local_only.push_back(&record);
            continue;
        }
        const Record& twin = pick->first;
        matched[pick->second] = true;
        if (twin.id == record.id) {
            out.keep(twin);
        } else {
            out.take_from_server(twin, MergeChange::Kind::kChanged);
        }
        unmatched.erase(pick);
    }
    for (std::size_t i = 0; i < server.size(); ++i) {
        if (!matched[i]) out.take_from_server(server[i], MergeChange::Kind::kAdded);
    }
    for (const Record* record : local_only) {
        if (server_ids.count(record->id) != 0) {
            out.renumber(*record);
        } else {
            out.keep(*record);
        }
    }
}

std::int64_t largest_id_of(const std::vector<Record>& records, std::int64_t largest) {
    for (const Record& r : records) largest = std::max<std::int64_t>(largest, r.id);
    return largest;
}

}  // namespace

MergeResult merge_records(const std::vector<Record>& local, const std::vector<Record>& server,
                          const std::optional<std::vector<Record>>& base) {
    MergeResult result;
    result.records.reserve(std::max(local.size(), server.size()));
    Builder out(&result);
    if (!base) {
        merge_without_base(local, server, out);
    } else {
        std::unordered_map<std::int32_t, Group> groups;
        groups.reserve(local.size() + server.size());
        for (const Record& r : local) groups[r.id].local.push_back(&r);
        for (const Record& r : server) groups[r.id].server.push_back(&r);
        for (const Record& r : *base) groups[r.id].base.push_back(&r);
        std::vector<std::int32_t> ids;
        ids.reserve(groups.size());
        for (const auto& entry : groups) ids.push_back(entry.first);
        std::sort(ids.begin(), ids.end());
        for (std::int32_t id : ids) {
            const Group& group = groups[id];
            if (group.local.size() > 1 || group.server.size() > 1 || group.base.size() > 1) {
                merge_duplicated(group, out);
                continue;
            }
            auto only = [](const std::vector<const Record*>& side) { return side.empty() ? nullptr : side[0]; };
            merge_one(only(group.local), only(group.server), only(group.base), out);
        }
    }
    std::int64_t largest = largest_id_of(server, largest_id_of(local, 0));
    if (base) largest = largest_id_of(*base, largest);
    if (!out.finish(largest)) {
        result = MergeResult{};
        result.status = MergeResult::Status::kNoFreeId;
    }
    return result;
}

bool records_differ(const std::vector<Record>& a, const std::vector<Record>& b) {
    if (a.size() != b.size()) return true;
    std::vector<Record> sorted_a(a), sorted_b(b);
    std::sort(sorted_a.begin(), sorted_a.end(), record_less);
    std::sort(sorted_b.begin(), sorted_b.end(), record_less);
    return !std::equal(sorted_a.begin(), sorted_a.end(), sorted_b.begin(), same_record);
}

std::string describe_counts(const MergeCounts& counts) {
    return "新增 " + std::to_string(counts.added) + " 条，修改 " + std::to_string(counts.changed) + " 条，删除 " +
           std::to_string(counts.deleted) + " 条，两边都保留 " + std::to_string(counts.kept_both) + " 条";
}

std::string describe_change(const MergeChange& change) {
    const char* what = "";
    switch (change.kind) {
        case MergeChange::Kind::kAdded:
            what = "新增";
            break;
        case MergeChange::Kind::kChanged:
            what = "修改";
            break;
        case MergeChange::Kind::kDeleted:
            what = "删除";
            break;
        case MergeChange::Kind::kRenumbered:
            what = "两边都保留，本地记录改编号";
            break;
        case MergeChange::Kind::kKeptDeleted:
            what = "一边删除一边修改，保留";
            break;
    }
    std::string line = std::string(what) + " ID " + std::to_string(change.record.id);
    if (change.kind == MergeChange::Kind::kRenumbered) line += "（原 ID " + std::to_string(change.old_id) + "）";
    return line + "：" + change.record.platform + " " + change.record.account;
}

}  // namespace quillet::app
