#include "store_location.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qmdc::iviconfig {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool sameLocation(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

bool fileMissing(const std::string& location) {
    std::error_code ec;
    return std::filesystem::status(location, ec).type() == std::filesystem::file_type::not_found;
}

}  // namespace

std::string masterLocation() {
    std::string override = environment("QMDC_IVI_CONFIG_MASTER_OVERRIDE");
    return override.empty() ? systemMasterLocation() : override;
}

std::string processDefaultLocation() {
    return environment("IVICONFIGSERVERDEFAULT");
}

SharedStore loadLocation(const std::string& location, const std::string& master,
                         std::string& error) {
    if (location.empty()) {
        error = "No configuration store location given (the location is empty)";
        return nullptr;
    }
    if (SharedStore model = cachedStoreFile(location, error)) return model;
    // Only now, on the rare path: a master store that is not there yet reads
    // as the built-in one.
    if (sameLocation(location, master) && fileMissing(location)) return cachedBuiltInStore(error);
    return nullptr;
}

}  // namespace qmdc::iviconfig
