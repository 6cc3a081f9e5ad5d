// The commands that rewrite a whole file of a database (a new access password, a purge)
// build the new content in a new file beside it and rename that over the old one, so
// that a crash at any instant leaves the old file or the new one, each whole:
//
//   1. create a private temporary beside the file   crash: a stray temporary, old file intact
//   2. write the new content into it and sync it     crash: the same
//   3. rename it over the file                       crash: the new file in place
//   4. sync the directory                            power cut before it: old or new, whole
//
// A rename strands every later write through a handle still open on the replaced file,
// so these commands first take sole access (SoleAccess below) and fail with the sharing
// code while any other handle, of this process or another, is open on the files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "db/keyed_file.h"

namespace quillet::db {

struct DataFile;

class FileReplacement {
public:
    // The new content is written through `key` (nullptr: plain).
    FileReplacement(std::string target, std::shared_ptr<ScrambleKey> key);
    // Removes the temporary unless it was renamed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Engine result codes throughout.
    std::int32_t create();
    KeyedFile& keyed() { return file_; }
    std::int32_t write_at(std::int64_t offset, const void* data, std::size_t length);
    // Makes the content durable (step 2).
    std::int32_t sync();
    // Renames the new file to `name` (the target, or a name on the way to it) and syncs
    // the directory (steps 3 and 4). Once renamed it is no longer removed on failure.
    std::int32_t rename_to(const std::string& name);
    bool is_in_place() const { return in_place_; }
    // The open new file, once it is in place.
    KeyedFile& file() { return file_; }

private:
    std::string target_;
    std::string name_;  // the temporary's, then the name it was renamed to
    bool renamed_ = false;
    bool in_place_ = false;
    KeyedFile file_;
};

// Holds the data and auxiliary files of a database as the only handles open on them;
// on release their share mode goes back to the database's own, on whichever files the
// database holds by then.
class SoleAccess {
public:
    explicit SoleAccess(DataFile& db) : db_(db) {}
    ~SoleAccess();
    SoleAccess(const SoleAccess&) = delete;
    SoleAccess& operator=(const SoleAccess&) = delete;

    // The sharing code (-12) while another handle is open on the files.
    std::int32_t acquire();

private:
    DataFile& db_;
    bool held_ = false;
};

// Copies `length` bytes from `from` at `offset` to the same place in `to`, through both
// keys: the bytes come out unscrambled with the one and go in scrambled with the other.
std::int32_t copy_range(KeyedFile& from, FileReplacement& to, std::int64_t offset, std::int64_t length);

// The name under which a database's new auxiliary file waits while its data file is
// replaced; the open that finds it there finishes the replacement.
std::string pending_auxiliary_name(const std::string& auxiliary_path);

// Swaps the database's data file (and auxiliary file) for the replacement in place.
void adopt_data_file(DataFile& db, FileReplacement& replacement);
void adopt_auxiliary_file(DataFile& db, FileReplacement& replacement);

}  // namespace quillet::db
