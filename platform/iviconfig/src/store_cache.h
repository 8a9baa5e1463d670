// Parsed store files kept between loads. A driver opens, reads and closes the
// store on every session it initialises; parsing a large store each time
// would cost more than all the rest of the initialisation.
#pragma once

#include <memory>
#include <string>

#include "store_model.h"

namespace qmdc::iviconfig {

using SharedStore = std::shared_ptr<const Store>;

// The store in the file at `path`, parsed again only when the file changed:
// another path, size, modification or change time, device or inode. A file
// modified in the last few seconds before it was read is read again and
// compared byte for byte, since its times may not yet tell a later write
// apart. On failure returns nullptr and sets `error`; failures are not kept.
SharedStore cachedStoreFile(const std::string& path, std::string& error);

// The built-in store, parsed once.
SharedStore cachedBuiltInStore(std::string& error);

}  // namespace qmdc::iviconfig
