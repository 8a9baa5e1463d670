// The emulated supply as a physical device: regulation into a resistive load, protections,
// condition and event registers, reset defaults and model ratings.
#include "engine_fixture.h"

namespace qmdc::emu {
namespace {

using EmulatorPhysics = EngineFixture;  // default: Rack 30-70 QM into 10 ohm

TEST_F(EmulatorPhysics, OutputOffMeasuresNothing) {
    Send("VOLT 12");
    EXPECT_EQ(Ask("OUTP?;MEAS:VOLT?;MEAS:CURR?;STAT:OPER:COND?"), "0;0;0;0");
}

TEST_F(EmulatorPhysics, RegulatesToWhicheverLimitTheLoadReachesFirst) {
    Send("VOLT 12;OUTP ON");
    EXPECT_EQ(AskReal("MEAS:VOLT?"), 12.0);
    EXPECT_DOUBLE_EQ(AskReal("MEAS:CURR?"), 1.2);
    EXPECT_EQ(AskInt("STAT:OPER:COND?"), 0x200);

    Send("CURR 0.5");  // 0.5 A x 10 ohm = 5 V < 12 V
    EXPECT_DOUBLE_EQ(AskReal("MEAS:VOLT?"), 5.0);
    EXPECT_DOUBLE_EQ(AskReal("MEAS:CURR?"), 0.5);
    EXPECT_EQ(AskInt("STAT:OPER:COND?"), 0x400);

    Send("CURR MAX;POW 10");  // sqrt(10 W x 10 ohm) = 10 V < 12 V
    EXPECT_DOUBLE_EQ(AskReal("MEAS:VOLT?"), 10.0);
    EXPECT_DOUBLE_EQ(AskReal("MEAS:POW?"), 10.0);
    EXPECT_EQ(AskInt("STAT:OPER:COND?"), 0x800);

    Send("EMUL:LOAD 1000");  // a light load leaves the voltage in control
    EXPECT_EQ(AskReal("MEAS:VOLT?"), 12.0);
    EXPECT_EQ(AskInt("STAT:OPER:COND?"), 0x200);
    Send("OUTP OFF");
    EXPECT_EQ(AskInt("STAT:OPER:COND?"), 0);
}

TEST_F(EmulatorPhysics, EventRegistersLatchChangesAndClearOnRead) {
    Send("VOLT 12;OUTP ON;CURR 0.5");
    EXPECT_EQ(AskInt("STAT:OPER?"), 0x200 | 0x400);
    EXPECT_EQ(AskInt("STATus:OPERation:EVENt?"), 0);
    Send("STAT:OPER:ENAB 1024");
    EXPECT_EQ(AskInt("STAT:OPER:ENAB?"), 1024);
    Send("CURR 2;CURR 0.5");  // back to voltage control and into current limit again
    EXPECT_EQ(AskInt("*STB?") & 128, 128);
    Send("STAT:PRES");
    EXPECT_EQ(AskInt("STAT:OPER:ENAB?"), 0);
}

TEST_F(EmulatorPhysics, OverVoltageTripsAndOutputOnRearms) {
    Send("VOLT:PROT 10;VOLT 12;OUTP ON");
    EXPECT_EQ(Ask("OUTP?;MEAS:VOLT?;STAT:QUES:COND?"), "0;0;1");
    EXPECT_EQ(AskInt("STAT:QUES?"), 1);
    EXPECT_EQ(AskInt("STAT:QUES?"), 0);
    EXPECT_EQ(AskInt("*ESR?"), 0) << "a trip is not a command error";

    Send("OUTP ON");  // the fault is still there: it trips again at once
    EXPECT_EQ(Ask("OUTP?;STAT:QUES:COND?"), "0;1");
    Send("VOLT 9;OUTP ON");
    EXPECT_EQ(Ask("OUTP?;STAT:QUES:COND?;MEAS:VOLT?"), "1;0;9");
    Send("VOLT 10");  // sitting on the level is not exceeding it
    EXPECT_EQ(Ask("OUTP?"), "1");
}

TEST_F(EmulatorPhysics, OverCurrentTripsWhenTheLoadDrawsTooMuch) {
    Send("CURR:PROT 2;VOLT 12;OUTP ON");
    EXPECT_EQ(Ask("OUTP?;STAT:QUES:COND?"), "1;0");
    Send("EMUL:LOAD 4");  // 12 V into 4 ohm would be 3 A
    EXPECT_EQ(Ask("OUTP?;STAT:QUES:COND?;MEAS:CURR?"), "0;2;0");
    Send("OUTP:PROT:CLE");
    EXPECT_EQ(Ask("OUTP?;STAT:QUES:COND?"), "0;0");
    Send("CURR 1.5;OUTP ON");  // constant current keeps it below the trip level
    EXPECT_EQ(Ask("OUTP?;MEAS:CURR?;STAT:OPER:COND?"), "1;1.5;1024");
}

TEST_F(EmulatorPhysics, OverPowerTripsAboveItsLevel) {
    Send("POW:PROT 10;VOLT 12;OUTP ON");  // 12 V x 1.2 A = 14.4 W
    EXPECT_EQ(Ask("OUTP?;STAT:QUES:COND?"), "0;8");
}

TEST_F(EmulatorPhysics, ResetRestoresDefaultsFromTheRatings) {
    Send("VOLT 12;CURR 3;POW 100;VOLT:PROT 20;CURR:PROT 5;POW:PROT 200;OUTP ON");
    Send("*RST");
    EXPECT_EQ(Ask("VOLT?;CURR?;POW?;VOLT:PROT?;CURR:PROT?;POW:PROT?;OUTP?"),
              "0;70;1500;33;77;1650;0");
    Send("VOLT MAX;CURR MIN;POW DEF");
    EXPECT_EQ(Ask("VOLT?;CURR?;POW?"), "30;0;1500");
    EXPECT_EQ(Ask("VOLT? MAX;CURR? MIN;VOLT:PROT? MAX"), "30;0;33");
}

class EmulatorBenchPhysics : public EngineFixture {
  protected:
    static InstrumentConfig Bench() {
        InstrumentConfig config;
        config.identity.model = "Bench 50-20 QM";
        config.loadOhms = 2.0;
        return config;
    }
    EmulatorBenchPhysics() : EngineFixture(Bench()) {}
};

TEST_F(EmulatorBenchPhysics, BenchModelHasItsOwnRatingsAndLoad) {
    EXPECT_EQ(Ask("VOLT? MAX;CURR?;POW?"), "50;20;600");
    // Limits into 2 ohm: 50 V, 20 A x 2 ohm = 40 V, sqrt(600 W x 2 ohm) = 34.6 V.
    Send("VOLT 50;OUTP ON");
    EXPECT_EQ(Ask("MEAS:VOLT?;STAT:OPER:COND?"), "34.6410161513775;2048");
    Send("VOLT 51");
    EXPECT_EQ(Ask("SYST:ERR?"), "-222,\"Data out of range\"");
}

TEST_F(EmulatorPhysics, FaultConditionsSummariseIntoQuestionable) {
    Send("EMUL:TEMP 4");
    EXPECT_EQ(Ask("STAT:QUES:TEMP:COND?;STAT:QUES:TEMP?;STAT:QUES:COND?"), "4;4;0");
    Send("STAT:QUES:TEMP:ENAB 4;STAT:QUES:ENAB 16");
    EXPECT_EQ(AskInt("STAT:QUES:COND?"), 16);
    EXPECT_EQ(AskInt("*STB?") & 8, 8);
    Send("EMUL:HARD 1;STAT:QUES:HARD:ENAB 1");
    EXPECT_EQ(Ask("STAT:QUES:HARD?;STAT:QUES:HARD:COND?;STAT:QUES:COND?"), "1;1;528");
}

}  // namespace
}  // namespace qmdc::emu
