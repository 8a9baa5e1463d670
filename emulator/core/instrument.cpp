#include "core/instrument.h"

#include <algorithm>
#include <cmath>

namespace qmdc::emu {

namespace {

constexpr double kProtectionHeadroom = 1.1;  // protections default to 110 % of the ratings

// Protections trip when a quantity exceeds its level, not when it sits on it.
bool Exceeds(double value, double level) {
    return value > level + 1e-9 * std::max(1.0, std::fabs(level));
}

const char* SelfTestText(bool failed) {
    return failed ? "Selftest failed" : "Selftest passed";
}

}  // namespace

Instrument::Instrument(const InstrumentConfig& config)
    : identity_(config.identity),
      ratings_(RatingsFromModel(config.identity.model)),
      selfTestFails_(config.selfTestFails),
      loadOhms_(config.loadOhms),
      settings_(Defaults()),
      saved_(settings_),
      selfTestResult_(SelfTestText(config.selfTestFails)) {  // result of the power-on test
    Update();
}

Settings Instrument::Defaults() const {
    Settings defaults;
    defaults.current = ratings_.maxCurrent;
    defaults.power = ratings_.maxPower;
    defaults.overVoltage = ratings_.maxVoltage * kProtectionHeadroom;
    defaults.overCurrent = ratings_.maxCurrent * kProtectionHeadroom;
    defaults.overPower = ratings_.maxPower * kProtectionHeadroom;
    return defaults;
}

void Instrument::Reset() {
    settings_ = Defaults();
    trips_ = 0;
    senseCalculation_ = SenseCalculation::Dormant;
    Update();
}

void Instrument::SetOutput(bool on) {
    if (on) trips_ = 0;
    settings_.output = on;
}

void Instrument::ClearProtection() {
    trips_ = 0;
}

void Instrument::Update() {
    outputVoltage_ = 0.0;
    outputCurrent_ = 0.0;
    regulation_ = Regulation::Off;
    if (settings_.output) {
        // The supply regulates to whichever of its three limits the load reaches first.
        const double ohms = loadOhms_;
        double volts = settings_.voltage;
        Regulation mode = Regulation::ConstantVoltage;
        if (settings_.current * ohms < volts) {
            volts = settings_.current * ohms;
            mode = Regulation::ConstantCurrent;
        }
        if (std::sqrt(settings_.power * ohms) < volts) {
            volts = std::sqrt(settings_.power * ohms);
            mode = Regulation::ConstantPower;
        }
        const double amps = volts / ohms;
        uint16_t tripped = 0;
        if (Exceeds(volts, settings_.overVoltage)) tripped |= kQuesOverVoltage;
        if (Exceeds(amps, settings_.overCurrent)) tripped |= kQuesOverCurrent;
        if (Exceeds(volts * amps, settings_.overPower)) tripped |= kQuesOverPower;
        if (tripped != 0) {
            trips_ |= tripped;
            settings_.output = false;
        } else {
            outputVoltage_ = volts;
            outputCurrent_ = amps;
            regulation_ = mode;
        }
    }

    static constexpr uint16_t kModeBits[] = {0, kOperConstantVoltage, kOperConstantCurrent,
                                             kOperConstantPower};
    status_.operation.SetCondition(kModeBits[static_cast<int>(regulation_)]);
    uint16_t questionable = trips_;
    // Sub-register summaries follow their enabled conditions, so they stay up while the
    // fault lasts.
    if ((status_.temperature.condition & status_.temperature.enable) != 0)
        questionable |= kQuesTemperatureSummary;
    if ((status_.hardware.condition & status_.hardware.enable) != 0)
        questionable |= kQuesHardwareSummary;
    status_.questionable.SetCondition(questionable);
}

int Instrument::RunSelfTest() {
    selfTestResult_ = SelfTestText(selfTestFails_);
    return selfTestFails_ ? 1 : 0;
}

void Instrument::ClearSelfTestResult() {
    selfTestResult_ = "No selftest result";
}

void Instrument::StartSenseCalculation(double resistance) {
    pendingSenseResistance_ = resistance;
    senseCalculation_ = SenseCalculation::Calculating;
}

SenseCalculation Instrument::PollSenseCalculation() {
    // One query sees the calculation running, the next sees it finished, so a client's
    // polling loop is exercised without any timing.
    const SenseCalculation seen = senseCalculation_;
    if (seen == SenseCalculation::Calculating) {
        senseCalculation_ = SenseCalculation::Complete;
        settings_.senseResistance = pendingSenseResistance_;
    }
    return seen;
}

}  // namespace qmdc::emu
