// A fresh empty directory for a test, removed with the object.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace quillet::test {

class TempDirectory {
  public:
    TempDirectory() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("quillet-test-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace quillet::test
