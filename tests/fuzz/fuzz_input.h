// Turns a fuzz input into files: the data file's bytes, and when the marker occurs, the
// bytes after it as the auxiliary file. Each process works in its own directory.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace quillet::fuzz {

inline constexpr std::string_view kAuxMarker = "\n--EDT--\n";
// The password the scrambled seeds were made with.
inline constexpr const char* kSeedPassword = "fuzz";

inline const std::string& work_directory() {
    static const std::string directory = [] {
        std::string pattern = "/tmp/quillet_fuzz.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    return directory;
}

inline void write_file(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

// Writes the input and returns the data file's path.
inline std::string write_input(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t marker = input.find(kAuxMarker);
    const std::string path = work_directory() + "/input.edb";
    const std::string aux_path = work_directory() + "/input.EDT";
    write_file(path, input.substr(0, marker));
    if (marker != std::string_view::npos) {
        write_file(aux_path, input.substr(marker + kAuxMarker.size()));
    } else {
        unlink(aux_path.c_str());
    }
    return path;
}

}  // namespace quillet::fuzz
