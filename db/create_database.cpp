// Making a new, empty data file (and its auxiliary file when a field needs one).
#include <cstring>

#include "db/database.h"
#include "db/engine.h"
#include "db/field_codec.h"
#include "db/file_names.h"
#include "db/file_replacement.h"
#include "db/names.h"
#include "db/result_code.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace quillet::db {
namespace {

constexpr std::size_t kMaxNameBytes = 16;
constexpr std::int64_t kMaxRecordSize = 64 << 20;

std::int32_t check_fields(const std::vector<FieldSpec>& fields) {
    if (fields.empty()) return kNoFields;
    std::int64_t record_size = 4;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldSpec& field = fields[i];
        if (field.name.size() > kMaxNameBytes || !is_valid_name(field.name)) return kBadFieldName;
        const auto type = static_cast<std::int32_t>(field.type);
        if (type < 1 || type > 12) return kBadFieldType;
        if (field.type == FieldType::kText && field.width < 1) return kBadFieldSize;
        record_size += field_width(field.type, field.width);
        if (record_size > kMaxRecordSize) return kBadFieldSize;
        for (std::size_t j = 0; j < i; ++j) {
            if (equal_ignoring_case(fields[j].name, field.name)) return kDuplicateFieldName;
        }
    }
    return kOk;
}

// Days since 1899-12-30 of a civil date (proleptic Gregorian).
double days_since_epoch(const platform::LocalTime& t) {
    const int y = t.month <= 2 ? t.year - 1 : t.year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (t.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + t.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const double days_from_1970 = era * 146097.0 + doe - 719468;
    const double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0;
    return days_from_1970 + 25569 + seconds / 86400;
}

std::string data_file_image(const std::vector<FieldSpec>& fields, const CreateOptions& options) {
    const std::size_t n = fields.size();
    std::string image(kHeaderSize + 4 + n * kDescriptorSize, '\0');
    auto* raw = reinterpret_cast<std::uint8_t*>(image.data());
    std::int32_t offset = 4;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = raw + kHeaderSize + 4 + i * kDescriptorSize;
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        put32(d + 20, static_cast<std::int32_t>(fields[i].type));
        put32(d + 24, offset);
        put32(d + 28, fields[i].type == FieldType::kText ? fields[i].width : 0);
        offset += field_width(fields[i].type, fields[i].width);
    }
    const double stamp = options.stamp != 0 ? options.stamp : days_since_epoch(platform::clock().local_time());
    std::memcpy(raw, "WEDB", 4);
    put32(raw + 4, kFormatVersion);
    std::memcpy(raw + 8, &stamp, 8);
    put32(raw + 20, std::max(options.next_serial, 1));
    put32(raw + 24, offset);
    put32(raw + kHeaderSize, static_cast<std::int32_t>(n));
    return image;
}

// The new file is written under a private temporary name (owner-only, made with O_EXCL and
// O_NOFOLLOW) and renamed over `path`, so nothing planted at `path` is ever written through
// and an existing file there is swapped whole:
//   crash before the rename: a stray temporary beside `path` (the next rewrite sweeps it),
//                            any old file intact
//   crash after it:          the new file, made durable by the directory sync
// The old file is held alone meanwhile, as a rewrite holds it: a handle still open on it
// would go on writing into the file the rename drops, so that fails with the sharing code.
std::int32_t write_new_file(const std::string& path, const std::string& bytes, std::int32_t failure_code) {
    platform::File existing;
    const platform::FileError held = existing.open(path, platform::Access::kReadWrite, platform::Share::kExclusive);
    if (held != platform::FileError::kNone && held != platform::FileError::kFileNotFound) {
        return code_for_file_error(held);
    }
    FileReplacement replacement(path, nullptr);
    const std::int32_t created = replacement.create();
    if (created != kOk) return created;
    const bool placed = replacement.write_at(0, bytes.data(), bytes.size()) == kOk && replacement.sync() == kOk &&
                        replacement.rename_to(path) == kOk;
    return placed ? kOk : failure_code;
}

}  // namespace

platform::Status create_data_file(const std::string& file_name, const std::vector<FieldSpec>& fields,
                                  const CreateOptions& options) {
    std::int32_t code = file_name.empty() ? kFileNotFound : check_fields(fields);
    if (code == kOk) {
        const std::string path = complete_file_name(file_name, "EDB");
        const std::string aux_path = auxiliary_file_name(path);
        bool needs_aux = false;
        for (const FieldSpec& field : fields) needs_aux = needs_aux || is_chain_type(field.type);
        // A symbolic link in a file's place is refused, not replaced: whoever made it keeps
        // the store where it points, and a new file here would part from that silently.
        if (platform::is_symbolic_link(path) || (needs_aux && platform::is_symbolic_link(aux_path))) code = kBadPath;
        if (code == kOk) code = write_new_file(path, data_file_image(fields, options), kCreateFailed);
        if (code == kOk && needs_aux) {
            code = write_new_file(aux_path, empty_auxiliary_image(kFormatVersion), kAuxCreateFailed);
        }
    }
    return status_of(code);
}

}  // namespace quillet::db
