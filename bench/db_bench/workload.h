// The work both sides of db_bench do: the same credential records, the same steps.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillet::bench {

// One credential record: the ID and the five texts (GBK), of the lengths a real store holds.
struct Credential {
    std::int32_t id = 0;
    std::array<std::string, 5> texts;
};

inline Credential credential(std::int32_t id) {
    const std::string n = std::to_string(id);
    // The password field holds cipher text: 2n + 9 hexadecimal digits for a 16-byte password.
    std::string cipher;
    for (int i = 0; i < 41; ++i) cipher += "0123456789abcdef"[(id * 7 + i * 13) % 16];
    return {id,
            {"平台 " + n, "account" + n + "@example.com", cipher, "https://www.example.com/login/" + n,
             "备注：第 " + n + " 条记录"}};
}

// Seconds of each step of one side; a step that a side does not have stays negative.
struct Timings {
    double append = -1;
    double list_by_name = -1;
    double list_by_record = -1;
    double find = -1;      // one find, averaged
    double delete_one = -1;  // one delete (and purge), averaged
    double set_password = -1;
    std::int64_t listed = 0;  // records seen by the list steps, as a check of the work done
};

inline constexpr int kFinds = 20;
inline constexpr int kDeletes = 10;

// The IDs that the find and delete steps look for: spread over the file, ending near its end.
inline std::int32_t find_target(int i, std::int32_t records) { return records - (i * records) / (2 * kFinds); }
inline std::int32_t delete_target(int i, std::int32_t records) { return records / 2 + i * 37; }

// The sides: each works in `directory`, which exists and is empty.
Timings run_engine(const std::string& directory, std::int32_t records);
Timings run_sqlite(const std::string& directory, std::int32_t records);

}  // namespace quillet::bench
