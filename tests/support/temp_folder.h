// A fresh folder of a test's own under the temporary directory, removed with
// what it holds when the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace qmdc_test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qmdc-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    // The path of a file in the folder (which need not exist).
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes (replaces) a file in the folder, bytes as given; returns its path.
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string path = File(name);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return path;
    }

  private:
    std::string path_;
};

}  // namespace qmdc_test
