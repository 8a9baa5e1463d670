// Building the store model from a configuration store file.
#pragma once

#include <memory>
#include <cstddef>
#include <string>

#include "store_model.h"

namespace qmdc::iviconfig {

// "Configuration store '<path>'", as error descriptions name a store file.
std::string storeSource(const std::string& path);

// The largest store file read: far beyond any real store.
constexpr std::size_t kMaxStoreFileBytes = std::size_t{64} << 20;

// Reads the whole file at `path` into `text`: a regular file of at most
// kMaxStoreFileBytes. On failure returns false and sets `error` to a
// description that names the file and the reason (the system's, or what the
// path is instead of a regular file).
bool readStoreFile(const std::string& path, std::string& text, std::string& error);

// Loads a store from XML text; `source` names it in error descriptions.
std::unique_ptr<Store> loadStoreText(const std::string& text, const std::string& source,
                                     std::string& error);

// The store served for the master location while no file exists there: only
// this driver's software module, as its installer registers it.
std::unique_ptr<Store> builtInStore(std::string& error);

}  // namespace qmdc::iviconfig
