// A configuration store file of a test's own: written to a fresh folder and
// named by IVICONFIGSERVERDEFAULT while the object lives.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "scoped_env.h"

namespace qmdc_test {

class TempStoreFile {
  public:
    explicit TempStoreFile(const std::string& xml) {
        char pattern[] = "/tmp/qmdc-store-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a folder");
        dir_ = pattern;
        path_ = dir_ + "/IviConfigurationStore.xml";
        Write(xml);
        env_ = std::make_unique<ScopedEnv>("IVICONFIGSERVERDEFAULT", path_.c_str());
    }
    ~TempStoreFile() {
        env_.reset();
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    TempStoreFile(const TempStoreFile&) = delete;
    TempStoreFile& operator=(const TempStoreFile&) = delete;

    void Write(const std::string& xml) const { std::ofstream(path_) << xml; }
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

  private:
    std::string dir_, path_;
    std::unique_ptr<ScopedEnv> env_;
};

}  // namespace qmdc_test
