#include "core/command_table.h"

#include <cstdio>
#include <string>

#include "core/scpi_values.h"

namespace qmdc::emu {

namespace {

using LimitsOf = Limits (*)(const Ratings&);

std::string Integer(long value) {
    return std::to_string(value);
}

// --- Entry makers: each builds the command and query handlers of one kind of setting. ------

CommandEntry Entry(const char* pattern, Handler command, Handler query) {
    return CommandEntry{HeaderPattern(pattern), std::move(command), std::move(query)};
}

// A real setpoint with MIN/MAX/DEF; its query also answers "? MIN", "? MAX" and "? DEF".
CommandEntry RealSetting(const char* pattern, double Settings::*field, LimitsOf limitsOf) {
    return Entry(
        pattern,
        [field, limitsOf](CommandContext& c) {
            c.ExpectParams(1);
            c.instrument.settings().*field = c.Real(0, limitsOf(c.instrument.ratings()));
        },
        [field, limitsOf](CommandContext& c) {
            if (c.params.empty()) {
                c.reply = FormatReal(c.instrument.settings().*field);
                return;
            }
            c.ExpectParams(1);
            const auto numeric = ParseNumeric(c.params[0]);
            if (!numeric || numeric->kind == Numeric::Kind::Value) throw ScpiError{-104};
            const Limits limits = limitsOf(c.instrument.ratings());
            const double value = numeric->kind == Numeric::Kind::Min   ? limits.min
                                 : numeric->kind == Numeric::Kind::Max ? limits.max
                                                                       : limits.def;
            c.reply = FormatReal(value);
        });
}

CommandEntry BoolSetting(const char* pattern, bool Settings::*field) {
    return Entry(
        pattern,
        [field](CommandContext& c) {
            c.ExpectParams(1);
            c.instrument.settings().*field = c.Boolean(0);
        },
        [field](CommandContext& c) {
            c.ExpectParams(0);
            c.reply = (c.instrument.settings().*field) ? "1" : "0";
        });
}

// A choice among keyword tokens, answered in short form.
CommandEntry ChoiceSetting(const char* pattern, int Settings::*field,
                           std::vector<const char*> tokens) {
    return Entry(
        pattern,
        [field, tokens](CommandContext& c) {
            c.ExpectParams(1);
            c.instrument.settings().*field = c.Choice(0, tokens);
        },
        [field, tokens](CommandContext& c) {
            c.ExpectParams(0);
            c.reply = ShortForm(tokens[static_cast<size_t>(c.instrument.settings().*field)]);
        });
}

template <typename T>
CommandEntry IntegerSetting(const char* pattern, T& (*field)(Instrument&), long max) {
    return Entry(
        pattern,
        [field, max](CommandContext& c) {
            c.ExpectParams(1);
            field(c.instrument) = static_cast<T>(c.Integer(0, 0, max));
        },
        [field](CommandContext& c) {
            c.ExpectParams(0);
            c.reply = Integer(static_cast<long>(field(c.instrument)));
        });
}

CommandEntry Action(const char* pattern, void (*action)(Instrument&)) {
    return Entry(
        pattern,
        [action](CommandContext& c) {
            c.ExpectParams(0);
            action(c.instrument);
        },
        nullptr);
}

CommandEntry Query(const char* pattern, std::string (*answer)(Instrument&)) {
    return Entry(pattern, nullptr, [answer](CommandContext& c) {
        c.ExpectParams(0);
        c.reply = answer(c.instrument);
    });
}

// The three registers of a SCPI status group: event (read and clear), condition, enable.
void AddRegisterGroup(std::vector<CommandEntry>& table, const std::string& path,
                      EventRegister StatusSystem::*group) {
    table.push_back(Entry((path + "[:EVENt]").c_str(), nullptr, [group](CommandContext& c) {
        c.ExpectParams(0);
        c.reply = Integer((c.instrument.status().*group).ReadEvent());
    }));
    table.push_back(Entry((path + ":CONDition").c_str(), nullptr, [group](CommandContext& c) {
        c.ExpectParams(0);
        c.reply = Integer((c.instrument.status().*group).condition);
    }));
    table.push_back(Entry((path + ":ENABle").c_str(),
                          [group](CommandContext& c) {
                              c.ExpectParams(1);
                              (c.instrument.status().*group).enable =
                                  static_cast<uint16_t>(c.Integer(0, 0, 65535));
                          },
                          [group](CommandContext& c) {
                              c.ExpectParams(0);
                              c.reply = Integer((c.instrument.status().*group).enable);
                          }));
}

// Sets the condition of a fault register group the way the hardware would, so that the
// event register latches the change.
CommandEntry FaultCondition(const char* pattern, EventRegister StatusSystem::*group) {
    return Entry(
        pattern,
        [group](CommandContext& c) {
            c.ExpectParams(1);
            (c.instrument.status().*group)
                .SetCondition(static_cast<uint16_t>(c.Integer(0, 0, 65535)));
        },
        [group](CommandContext& c) {
            c.ExpectParams(0);
            c.reply = Integer((c.instrument.status().*group).condition);
        });
}

// The instrument's calibration takes four polynomial coefficients.
CommandEntry CalibrationSetting(const char* pattern, std::array<double, 4> Settings::*field) {
    constexpr Limits kAnyReal{-1e12, 1e12, 0.0};
    return Entry(
        pattern,
        [field, kAnyReal](CommandContext& c) {
            c.ExpectParams(4);
            std::array<double, 4> values{};
            for (size_t i = 0; i < values.size(); ++i) values[i] = c.Real(i, kAnyReal);
            c.instrument.settings().*field = values;
        },
        [field](CommandContext& c) {
            c.ExpectParams(0);
            const auto& values = c.instrument.settings().*field;
            c.reply = FormatReal(values[0]) + "," + FormatReal(values[1]) + "," +
                      FormatReal(values[2]) + "," + FormatReal(values[3]);
        });
}

// --- Handlers that are particular to one command. ------------------------------------------

void AnalogScaling(CommandContext& c) {
    c.ExpectParams(2);
    const int channel = c.Choice(0, {"CURRent", "VOLTage"});
    const auto level = ParseDecimal(c.params[1]);
    if (!level) throw ScpiError{-104};
    if (*level != 3.0 && *level != 5.0 && *level != 10.0) throw ScpiError{-224};
    Settings& s = c.instrument.settings();
    (channel == 0 ? s.currentScaling : s.voltageScaling) = static_cast<int>(*level);
}

std::string ErrorQueueEntry(Instrument& i) {
    const QueuedError error = i.status().errors.Pop();
    return std::to_string(error.code) + ",\"" + error.message + "\"";
}

std::string ReadEsr(Instrument& i) {
    StatusSystem& status = i.status();
    const int value = status.esr | status.esrStuckBits;
    status.esr = 0;
    return Integer(value);
}

std::string SenseCalculationState(Instrument& i) {
    static const char* const kNames[] = {"DORMANT", "CALCULATING", "COMPLETE"};
    return kNames[static_cast<int>(i.PollSenseCalculation())];
}

std::vector<CommandEntry> BuildTable() {
    const LimitsOf voltage = [](const Ratings& r) { return Limits{0.0, r.maxVoltage, 0.0}; };
    const LimitsOf current = [](const Ratings& r) {
        return Limits{0.0, r.maxCurrent, r.maxCurrent};
    };
    const LimitsOf power = [](const Ratings& r) { return Limits{0.0, r.maxPower, r.maxPower}; };
    const LimitsOf overVoltage = [](const Ratings& r) {
        return Limits{0.0, r.maxVoltage * 1.1, r.maxVoltage * 1.1};
    };
    const LimitsOf overCurrent = [](const Ratings& r) {
        return Limits{0.0, r.maxCurrent * 1.1, r.maxCurrent * 1.1};
    };
    const LimitsOf overPower = [](const Ratings& r) {
        return Limits{0.0, r.maxPower * 1.1, r.maxPower * 1.1};
    };
    const LimitsOf senseResistance = [](const Ratings&) { return Limits{0.0, 1e9, 1500000.0}; };
    const LimitsOf load = [](const Ratings&) { return Limits{1e-6, 1e12, 10.0}; };

    std::vector<CommandEntry> table = {
        // IEEE 488.2 common commands.
        Query("*IDN",
              [](Instrument& i) {
                  const Identity& id = i.identity();
                  return id.manufacturer + "," + id.model + "," + id.serial + "," + id.firmware;
              }),
        Action("*RST", [](Instrument& i) { i.Reset(); }),
        Action("*CLS", [](Instrument& i) { i.status().Clear(); }),
        Query("*ESR", ReadEsr),
        IntegerSetting(
            "*ESE", +[](Instrument& i) -> int& { return i.status().ese; }, 255),
        IntegerSetting(
            "*SRE", +[](Instrument& i) -> int& { return i.status().sre; }, 255),
        Query("*STB", [](Instrument& i) { return Integer(i.status().StatusByte()); }),
        Entry(
            "*OPC",
            [](CommandContext& c) {
                c.ExpectParams(0);
                c.instrument.status().esr |= kEsrOperationComplete;
            },
            [](CommandContext& c) {
                c.ExpectParams(0);
                c.reply = "1";  // every operation completes before the next is read
            }),
        Action("*WAI", [](Instrument&) {}),
        Query("*TST", [](Instrument& i) { return Integer(i.RunSelfTest()); }),

        // Output levels and protections.
        RealSetting("[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", &Settings::voltage,
                    voltage),
        RealSetting("[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", &Settings::current,
                    current),
        RealSetting("[SOURce:]POWer[:LEVel][:IMMediate][:AMPLitude]", &Settings::power, power),
        RealSetting("[SOURce:]VOLTage:PROTection[:LEVel]", &Settings::overVoltage, overVoltage),
        RealSetting("[SOURce:]CURRent:PROTection[:LEVel]", &Settings::overCurrent, overCurrent),
        RealSetting("[SOURce:]POWer:PROTection[:LEVel]", &Settings::overPower, overPower),
        Entry(
            "OUTPut[:STATe]",
            [](CommandContext& c) {
                c.ExpectParams(1);
                c.instrument.SetOutput(c.Boolean(0));
            },
            [](CommandContext& c) {
                c.ExpectParams(0);
                c.reply = c.instrument.settings().output ? "1" : "0";
            }),
        Action("OUTPut:PROTection:CLEar", [](Instrument& i) { i.ClearProtection(); }),
        BoolSetting("OUTPut:AUTO", &Settings::autoStart),

        // Remote sensing.
        BoolSetting("[SOURce:]RSENse[:STATe]", &Settings::remoteSense),
        RealSetting("[SOURce:]RSENse:RESistance", &Settings::senseResistance, senseResistance),
        Entry(
            "[SOURce:]RSENse:RESistance:CALCulate",
            [senseResistance](CommandContext& c) {
                c.ExpectParams(1);
                c.instrument.StartSenseCalculation(c.Real(0, senseResistance(Ratings{})));
            },
            [](CommandContext& c) {
                c.ExpectParams(0);
                c.reply = SenseCalculationState(c.instrument);
            }),

        // Measurements.
        Query("MEASure[:SCALar]:VOLTage[:DC]",
              [](Instrument& i) { return FormatReal(i.OutputVoltage()); }),
        Query("MEASure[:SCALar]:CURRent[:DC]",
              [](Instrument& i) { return FormatReal(i.OutputCurrent()); }),
        Query("MEASure[:SCALar]:POWer[:DC]",
              [](Instrument& i) { return FormatReal(i.OutputVoltage() * i.OutputCurrent()); }),

        // Calibration.
        CalibrationSetting("CALibrate:CALCulate:CURRent:PARameters", &Settings::currentCalibration),
        CalibrationSetting("CALibrate:CALCulate:VOLTage:PARameters", &Settings::voltageCalibration),

        // System subsystem.
        Action("SYSTem:CONFigure:SAVE", [](Instrument& i) { i.SaveConfiguration(); }),
        Query("SYSTem:ERRor[:NEXT]", ErrorQueueEntry),
        Action("SYSTem:ERRor:CLEar", [](Instrument& i) { i.status().errors.Clear(); }),
        Query("SYSTem:ERRor:COUNt",
              [](Instrument& i) { return Integer(static_cast<long>(i.status().errors.Count())); }),
        Query("SYSTem:ERRor:CONDition",
              [](Instrument& i) { return Integer(i.status().errors.OldestCode()); }),
        ChoiceSetting("SYSTem:MODe", &Settings::controlSource,
                      {"LOCal", "REMote", "RWLock", "VOLTage", "CURRent", "DUAL"}),
        ChoiceSetting("SYSTem:MODe:AOUT", &Settings::analogOutput,
                      {"DISabled", "PARallel", "SERies"}),
        Entry("SYSTem:MODe:ASC", AnalogScaling,
              [](CommandContext& c) {
                  c.ExpectParams(0);
                  const Settings& s = c.instrument.settings();
                  c.reply = Integer(s.currentScaling) + "," + Integer(s.voltageScaling);
              }),
        Query("SYSTem:CAPability",
              [](Instrument&) { return std::string("(DCPSUPPLY WITH MEASURE)"); }),
        Query("SYSTem:VERSion", [](Instrument&) { return std::string("1999.0"); }),

        // Self-test results.
        Action("TEST:SELF:CLEar", [](Instrument& i) { i.ClearSelfTestResult(); }),
        Query("TEST:SELF:QUERy", [](Instrument& i) { return i.selfTestResult(); }),

        // Status subsystem (register groups are added below).
        Action("STATus:PRESet", [](Instrument& i) { i.status().Preset(); }),

        // Emulator controls, not part of the real instrument: the load on the output and
        // the hardware and temperature fault conditions.
        Entry(
            "EMULator:LOAD",
            [load](CommandContext& c) {
                c.ExpectParams(1);
                c.instrument.SetLoad(c.Real(0, load(Ratings{})));
            },
            [](CommandContext& c) {
                c.ExpectParams(0);
                c.reply = FormatReal(c.instrument.load());
            }),
        FaultCondition("EMULator:HARDware[:CONDition]", &StatusSystem::hardware),
        FaultCondition("EMULator:TEMPerature[:CONDition]", &StatusSystem::temperature),
    };
    AddRegisterGroup(table, "STATus:OPERation", &StatusSystem::operation);
    AddRegisterGroup(table, "STATus:QUEStionable", &StatusSystem::questionable);
    AddRegisterGroup(table, "STATus:QUEStionable:HARDware", &StatusSystem::hardware);
    AddRegisterGroup(table, "STATus:QUEStionable:TEMPerature", &StatusSystem::temperature);
    return table;
}

}  // namespace

const std::vector<CommandEntry>& CommandTable() {
    static const std::vector<CommandEntry> table = BuildTable();
    return table;
}

}  // namespace qmdc::emu
