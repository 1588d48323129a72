// A fresh temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace zelt::testing_support {

class TestDir {
  public:
    TestDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zelt-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string{};
    }
    ~TestDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace zelt::testing_support
