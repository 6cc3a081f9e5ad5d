// Any bytes as an INI file: reading must not fail, and a value written can be read back
// while every other line is kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/settings_file.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet;
    const std::string path = fuzz::work_directory() + "/ftp.ini";
    fuzz::write_file(path, std::string_view(reinterpret_cast<const char*>(data), size));
    platform::read_setting(path, "ftp", "fuwuqi");
    platform::read_setting(path, "password", "password", "default");
    const std::string before_other = platform::read_setting(path, "tishi", "tishi");
    if (platform::write_setting(path, "ftp", "lu", "0A1B2C")) {
        if (platform::read_setting(path, "ftp", "lu") != "0A1B2C") std::abort();
        if (platform::read_setting(path, "tishi", "tishi") != before_other) std::abort();
    }
    return 0;
}
