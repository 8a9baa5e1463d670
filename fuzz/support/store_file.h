// The configuration store file a target's sessions read: one file per
// process in a fresh folder, named by IVICONFIGSERVERDEFAULT, rewritten at
// will (the server reads the file at each init).
#pragma once

#include <string>

namespace qmdc_fuzz {

// Writes the store (bytes as given) and returns its path.
const std::string& WriteStoreFile(const std::string& xml);

// A small valid store: logical name "PSU" (driver session "PsuSession",
// simulated, with virtual names "Out" -> "CH1", "Main" ->
// "OutputChannel!!CH1" and the range "Rng" -> "CH1-2"), and "Real" (not
// simulated, on a closed loopback port).
const std::string& ExampleStore();

}  // namespace qmdc_fuzz
