// The auxiliary file of a database with byte-set or memo fields: values stored as chains
// of 512-byte blocks (up to 500 value bytes each), released blocks kept in a free-block
// list and reused, free blocks at the end of the file cut off. Chains that loop or point
// past the end of the file are reported as damage, never followed forever.
// Belongs to one database; used under the engine's mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "db/keyed_file.h"

namespace quillet::db {

inline constexpr std::int64_t kAuxBlockSize = 512;
inline constexpr std::int32_t kAuxBlockData = 500;

class AuxiliaryFile {
public:
    KeyedFile& keyed() { return file_; }
    // Byte locks are skipped on exclusive opens, where no one else can reach the file.
    void set_locking(bool locking) { locking_ = locking; }

    // The checks made while its database opens; a read-write open repairs a block count
    // beyond the end of the file. Engine result codes.
    std::int32_t check_on_open(std::int32_t data_version, bool read_only);

    std::int32_t read_chain(std::int32_t first, std::string* out);
    // Writes `length` bytes into a chain, reusing the chain at `old` block by block and
    // releasing what is left of it; `*first` is the new first block (0 when empty).
    std::int32_t write_chain(const char* bytes, std::size_t length, std::int32_t old, std::int32_t* first);
    std::int32_t release_chain(std::int32_t first);

    // Walks one chain without changing anything; false with a description on damage.
    bool check_chain(std::int32_t first, std::string* problem);

private:
    KeyedFile file_;
    bool locking_ = true;
};

// The bytes of an empty auxiliary file: the header with one block and no free block.
std::string empty_auxiliary_image(std::int32_t version);

}  // namespace quillet::db
