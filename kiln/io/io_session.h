// The I/O side of a session: the five operations every session starts with.
#pragma once

#include <string>

#include "visatype.h"

namespace kiln {

class IoSession {
  public:
    virtual ~IoSession() = default;

    virtual ViStatus OpenIo() = 0;
    virtual ViStatus CloseIo() = 0;
    virtual ViStatus ClearStatus() = 0;
    virtual ViStatus QueryIdentity(std::string& manufacturer, std::string& model,
                                   std::string& serialNumber, std::string& firmwareRevision) = 0;
    virtual ViStatus CheckStatus() = 0;
};

}  // namespace kiln
