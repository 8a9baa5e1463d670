// Building the store model from a configuration store file.
#pragma once

#include <memory>
#include <string>

#include "store_model.h"

namespace qmdc::iviconfig {

// Loads the store file at `path`. On failure returns nullptr and sets
// `error` to a description that names the file (and the line when known).
std::unique_ptr<Store> loadStoreFile(const std::string& path, std::string& error);

// Loads a store from XML text; `source` names it in error descriptions.
std::unique_ptr<Store> loadStoreText(const std::string& text, const std::string& source,
                                     std::string& error);

// The store served for the master location while no file exists there: only
// this driver's software module, as its installer registers it.
std::unique_ptr<Store> builtInStore(std::string& error);

}  // namespace qmdc::iviconfig
