// A configuration store file of a test's own: written to a fresh folder and
// named by IVICONFIGSERVERDEFAULT while the object lives.
#pragma once

#include <string>

#include "scoped_env.h"
#include "temp_folder.h"

namespace qmdc_test {

class TempStoreFile {
  public:
    explicit TempStoreFile(const std::string& xml)
        : path_(folder_.Write(kName, xml)), env_("IVICONFIGSERVERDEFAULT", path_.c_str()) {}
    TempStoreFile(const TempStoreFile&) = delete;
    TempStoreFile& operator=(const TempStoreFile&) = delete;

    void Write(const std::string& xml) const { folder_.Write(kName, xml); }
    const std::string& path() const { return path_; }
    const std::string& dir() const { return folder_.path(); }

  private:
    static constexpr const char* kName = "IviConfigurationStore.xml";
    TempFolder folder_;
    std::string path_;
    ScopedEnv env_;  // restored before the folder goes
};

}  // namespace qmdc_test
