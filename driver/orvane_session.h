// The session of an Orvane QM supply: the framework session plus the model
// ratings, the line settings of the connection and the model grammar.
#pragma once

#include "../kiln/session/driver_session.h"

class OrvaneDCDriverSession : public kiln::DriverSession {
  public:
    using kiln::DriverSession::DriverSession;

    ViStatus OpenIo() override;
    ViStatus QueryIdentity(std::string& manufacturer, std::string& model, std::string& serialNumber,
                           std::string& firmwareRevision) override;
    bool IsModelSupported() const override;

    double MaxVoltage() const { return maxVoltage; }
    double MaxCurrent() const { return maxCurrent; }
    double MaxPower() const { return maxPower; }

  private:
    double maxVoltage = 0.0;
    double maxCurrent = 0.0;
    double maxPower = 0.0;
};
