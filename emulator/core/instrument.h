// The emulated supply: its settings, a resistive load, the regulation and protection physics,
// and the status system those drive.
#ifndef QMDC_EMULATOR_CORE_INSTRUMENT_H
#define QMDC_EMULATOR_CORE_INSTRUMENT_H

#include <array>
#include <cstdint>
#include <string>

#include "core/ratings.h"
#include "core/status_system.h"

namespace qmdc::emu {

struct Identity {
    std::string manufacturer = "Orvane";
    std::string model = "Rack 30-70 QM";
    std::string serial = "SN0001";
    std::string firmware = "1.2.3";
};

// Operation condition bits (regulation mode of the output).
constexpr uint16_t kOperConstantVoltage = 0x200;
constexpr uint16_t kOperConstantCurrent = 0x400;
constexpr uint16_t kOperConstantPower = 0x800;  // power-limited, i.e. not voltage/current regulated
// Questionable condition bits.
constexpr uint16_t kQuesOverVoltage = 0x1;
constexpr uint16_t kQuesOverCurrent = 0x2;
constexpr uint16_t kQuesOverPower = 0x8;
constexpr uint16_t kQuesTemperatureSummary = 0x10;
constexpr uint16_t kQuesHardwareSummary = 0x200;

enum class Regulation { Off, ConstantVoltage, ConstantCurrent, ConstantPower };
enum class SenseCalculation { Dormant, Calculating, Complete };

// Everything *RST puts back.
struct Settings {
    double voltage = 0.0;  // V setpoint
    double current = 0.0;  // A limit (constant-current level)
    double power = 0.0;    // W limit (constant-power level)
    double overVoltage = 0.0;
    double overCurrent = 0.0;
    double overPower = 0.0;
    bool output = false;
    bool autoStart = false;
    bool remoteSense = false;
    double senseResistance = 1500000.0;
    int controlSource = 1;  // index into the control source tokens: REM
    int analogOutput = 0;   // index into the analog output tokens: DIS
    int currentScaling = 10;
    int voltageScaling = 10;
    std::array<double, 4> currentCalibration{0.0, 1.0, 0.0, 0.0};
    std::array<double, 4> voltageCalibration{0.0, 1.0, 0.0, 0.0};
};

struct InstrumentConfig {
    Identity identity;
    double loadOhms = 10.0;
    bool selfTestFails = false;
};

class Instrument {
  public:
    explicit Instrument(const InstrumentConfig& config);

    const Identity& identity() const { return identity_; }
    const Ratings& ratings() const { return ratings_; }
    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }
    StatusSystem& status() { return status_; }

    double load() const { return loadOhms_; }
    void SetLoad(double ohms) { loadOhms_ = ohms; }

    void Reset();  // *RST
    // Turning the output on re-arms tripped protections first; a fault still present trips
    // them again at once.
    void SetOutput(bool on);
    void ClearProtection();

    // Recomputes the output from the settings and the load, trips protections, and brings
    // the condition registers up to date. Run after every command.
    void Update();

    double OutputVoltage() const { return outputVoltage_; }
    double OutputCurrent() const { return outputCurrent_; }
    Regulation regulation() const { return regulation_; }
    uint16_t trips() const { return trips_; }  // kQues* protection bits latched until re-armed

    int RunSelfTest();  // *TST?: 0 passed, 1 failed
    const std::string& selfTestResult() const { return selfTestResult_; }
    void ClearSelfTestResult();

    void StartSenseCalculation(double resistance);
    SenseCalculation PollSenseCalculation();  // advances the calculation one step per query

    void SaveConfiguration() { saved_ = settings_; }
    const Settings& savedConfiguration() const { return saved_; }

  private:
    Settings Defaults() const;

    Identity identity_;
    Ratings ratings_;
    bool selfTestFails_;
    double loadOhms_;
    Settings settings_;
    Settings saved_;
    StatusSystem status_;
    double outputVoltage_ = 0.0;
    double outputCurrent_ = 0.0;
    Regulation regulation_ = Regulation::Off;
    uint16_t trips_ = 0;
    std::string selfTestResult_;
    SenseCalculation senseCalculation_ = SenseCalculation::Dormant;
    double pendingSenseResistance_ = 0.0;
};

}  // namespace qmdc::emu

#endif
