// data.edb.qlt: a store sealed for a server that is a third party (a cloud drive), under a
// key derived from the login password. The store's own format can be guessed at quickly;
// the envelope costs each guess an Argon2id derivation, and its tag shows any change.
//
// Layout, integers little-endian:
//    0   6  "QLTENV"
//    6   2  format version (1)
//    8   4  Argon2id passes
//   12   4  Argon2id memory in KiB
//   16  16  salt
//   32   8  revision
//   40  40  key check: the seal of nothing under the key, so that another login password is
//           told apart from a damaged file
//   80      the store, sealed (nonce, cipher text, tag) with bytes 0 to 80 as associated
//           data, so that no header byte (the revision included) can change unnoticed
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/locked_bytes.h"
#include "platform/status.h"

namespace quillet::app {

enum EnvelopeFailure : std::int32_t {
    kEnvelopeDamaged = 1,        // not an envelope, cut short, too large, absurd cost, or a failed tag
    kEnvelopeNewerFormat = 2,    // written by a later version of the program
    kEnvelopeOtherPassword = 3,  // sealed under another login password (or its key check damaged)
    kEnvelopeNoMemory = 4,       // the system refused the derivation's memory
    kEnvelopeUnreadable = 5,     // the file could not be read
    kEnvelopeStoreTooLarge = 6,  // a store too large to seal
};

// Far above any store of the 100,000 records an import takes; it bounds what a server can
// make the program read and allocate.
inline constexpr std::uint64_t kMaxEnvelopeBytes = 256ull * 1024 * 1024;

// Seals `store` (data.edb's bytes) with a fresh salt at the current cost for new keys: one
// Argon2id derivation, about a third of a second. Call it off the window thread.
platform::Status seal_store(std::string_view store, std::string_view login_password, std::uint64_t revision,
                            std::string* envelope);

// Opens an envelope: the store in locked memory and the revision it carries. On failure
// nothing is written to `revision` or `store`. One derivation, as for sealing.
platform::Status open_store_envelope(std::string_view envelope, std::string_view login_password,
                                     std::uint64_t* revision, platform::LockedBytes* store);

// The same for the file at `path` (GBK), refused unread when it is larger than any envelope.
platform::Status open_store_envelope_file(const std::string& path, std::string_view login_password,
                                          std::uint64_t* revision, platform::LockedBytes* store);

}  // namespace quillet::app
