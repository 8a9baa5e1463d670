// Creating a session behind a new handle, and closing it again.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "visatype.h"

namespace kiln {

class DriverSession;

using SessionFactory = std::function<std::unique_ptr<DriverSession>(ViSession handle)>;

// The creation steps of init: a handle, a session object from the factory,
// resolution of the resource and options, the connection, the status clear,
// the identification and the model check. On failure nothing is left behind:
// the session and its handle are gone, *vi is VI_NULL and the description of
// the failure can be read with the error functions on VI_NULL (same thread).
ViStatus CreateSession(const char* resourceName, ViBoolean idQuery, ViBoolean reset,
                       const char* optionString, ViSession* vi, const SessionFactory& factory);

// Runs the close hooks, closes the connection, destroys the session and
// disposes of the handle. Waits for a call still running on the session.
ViStatus CloseSession(ViSession vi);

// Layers that keep per-session state outside the session object register a
// callable here; close runs them, in order, with the handle.
void AddSessionCloseHook(std::function<void(ViSession)> hook);

}  // namespace kiln
