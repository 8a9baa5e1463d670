// The emulator core as a SCPI instrument: identity, command forms, error queue and event
// status, status byte, the system and self-test commands.
#include "engine_fixture.h"

namespace qmdc::emu {
namespace {

using EmulatorEngine = EngineFixture;

TEST_F(EmulatorEngine, IdentifiesWithoutSpacesAfterCommas) {
    EXPECT_EQ(Ask("*IDN?"), "Orvane,Rack 30-70 QM,SN0001,1.2.3");
    InstrumentConfig config;
    config.identity = Identity{"Acme", "Bench 50-20 QM", "X9", "2.0"};
    Engine other(config);
    ASSERT_EQ(other.Execute("*idn?").size(), 1u);
    EXPECT_EQ(other.Execute("*IDN?")[0].text, "Acme,Bench 50-20 QM,X9,2.0");
}

TEST_F(EmulatorEngine, AcceptsShortLongAndMixedCaseForms) {
    for (const char* command :
         {"VOLT 1", "VOLTage 2", "volt:lev 3", ":SOUR:VOLT:LEV:IMM:AMPL 4", "source:voltage 5"}) {
        Send(command);
        EXPECT_EQ(AskReal("VOLT?"), command[std::string(command).size() - 1] - '0') << command;
    }
    EXPECT_EQ(Ask(":SYSTem:ERRor:COUNt?"), "0");
    EXPECT_EQ(Ask("syst:err?"), "0,\"No error\"");
}

TEST_F(EmulatorEngine, UnknownHeaderQueuesCommandErrorAndSetsBit5) {
    Send("BOGUS:HEADER 1");
    EXPECT_EQ(AskInt("SYST:ERR:COUN?"), 1);
    EXPECT_EQ(AskInt("SYST:ERR:COND?"), -113);
    EXPECT_EQ(AskInt("*ESR?"), 32);
    EXPECT_EQ(AskInt("*ESR?"), 0) << "*ESR? reads and clears";
    EXPECT_EQ(Ask(":SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(Ask("SYST:ERR?"), "0,\"No error\"");
    Send("*RST?");        // a command without a query form
    Send("MEAS:VOLT 5");  // a query without a command form
    EXPECT_EQ(AskInt("SYST:ERR:COUN?"), 2);
}

TEST_F(EmulatorEngine, ParameterErrorsCarryTheirCodesAndBits) {
    struct Case {
        const char* line;
        const char* error;
        int esr;
    };
    const Case cases[] = {
        {"VOLT 31", "-222,\"Data out of range\"", 16},
        {"VOLT", "-109,\"Missing parameter\"", 32},
        {"VOLT abc", "-104,\"Data type error\"", 32},
        {"VOLT 1,2", "-108,\"Parameter not allowed\"", 32},
        {"*IDN? 1", "-108,\"Parameter not allowed\"", 32},
        {"SYST:MOD NOWHERE", "-224,\"Illegal parameter value\"", 16},
        {"SYST:MOD:ASC CURR,7", "-224,\"Illegal parameter value\"", 16},
        {"CAL:CALC:CURR:PAR 1,2,3", "-109,\"Missing parameter\"", 32},
        {"VO$LT 1", "-102,\"Syntax error\"", 32},
    };
    for (const Case& c : cases) {
        Send(c.line);
        EXPECT_EQ(Ask("SYST:ERR?"), c.error) << c.line;
        EXPECT_EQ(AskInt("*ESR?"), c.esr) << c.line;
    }
    EXPECT_EQ(AskReal("VOLT?"), 0.0) << "a rejected value changes nothing";
}

TEST_F(EmulatorEngine, ErrorQueueKeepsOrderAndOverflows) {
    for (int i = 0; i < 12; ++i) Send(i % 2 == 0 ? "NOPE" : "VOLT 99");
    EXPECT_EQ(AskInt("SYST:ERR:COUN?"), 10);
    EXPECT_EQ(Ask("SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(Ask("SYST:ERR?"), "-222,\"Data out of range\"");
    for (int i = 0; i < 7; ++i) Ask("SYST:ERR?");
    EXPECT_EQ(Ask("SYST:ERR?"), "-350,\"Queue overflow\"");
    Send("NOPE");
    Send("SYST:ERR:CLE");
    EXPECT_EQ(AskInt("SYST:ERR:COUN?"), 0);
    Send("NOPE");
    Send("*CLS");
    EXPECT_EQ(AskInt("SYST:ERR:COUN?"), 0);
    EXPECT_EQ(AskInt("*ESR?"), 0);
}

TEST_F(EmulatorEngine, JoinedUnitsRunInOrderAndStopAtACommandError) {
    EXPECT_EQ(Ask("VOLT 7;VOLT?;CURR?;*OPC?"), "7;70;1");
    EXPECT_EQ(Ask("VOLT 8;BAD;VOLT 9;VOLT?"), "");
    EXPECT_EQ(AskReal("VOLT?"), 8.0);
    EXPECT_EQ(Ask("VOLT 99;VOLT 6;VOLT?"), "6") << "an execution error does not stop the line";
}

TEST_F(EmulatorEngine, StatusByteSummarisesQueueAndEnabledEvents) {
    EXPECT_EQ(AskInt("*STB?"), 0);
    Send("*ESE 32;*SRE 32");
    EXPECT_EQ(Ask("*ESE?;*SRE?"), "32;32");
    Send("NOPE");
    EXPECT_EQ(AskInt("*STB?"), 4 | 32 | 64);
    Send("*OPC");
    EXPECT_EQ(AskInt("*ESR?"), 33);
    Send("*ESE 256");
    EXPECT_EQ(Ask("SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(Ask("SYST:ERR?"), "-222,\"Data out of range\"");
}

TEST_F(EmulatorEngine, InjectedEventBitsFollowTheirCommand) {
    const auto id = engine_.Resolve("syst:conf:save");
    ASSERT_TRUE(id);
    engine_.InjectEsrAfter(*id, 8);
    Send("VOLT 1");
    EXPECT_EQ(AskInt("*ESR?"), 0);
    Send("SYSTem:CONFigure:SAVE");
    EXPECT_EQ(AskInt("*ESR?"), 8);
    EXPECT_EQ(Ask("SYST:ERR?"), "-300,\"Device-specific error\"");
    EXPECT_FALSE(engine_.Resolve("NO:SUCH?"));
    EXPECT_TRUE(engine_.Resolve("*OPC?")->query);
}

TEST_F(EmulatorEngine, SystemSettingsAnswerShortTokens) {
    EXPECT_EQ(Ask("SYST:MOD?;SYST:MOD:AOUT?;SYST:MOD:ASC?"), "REM;DIS;10,10");
    Send("SYST:MOD rwl;SYST:MOD:AOUT PARALLEL;SYST:MOD:ASC CURR,5;SYST:MOD:ASC volt,3");
    EXPECT_EQ(Ask("SYST:MOD?;SYST:MOD:AOUT?;SYST:MOD:ASC?"), "RWL;PAR;5,3");
    EXPECT_EQ(Ask("SYST:CAP?;SYST:VERS?"), "(DCPSUPPLY WITH MEASURE);1999.0");
    Send("OUTP:AUTO ON;RSEN 1");
    EXPECT_EQ(Ask("OUTP:AUTO?;RSEN?;RSEN:RES?"), "1;1;1500000");
    Send("CAL:CALC:CURR:PAR 1,0.5,-2,3");
    EXPECT_EQ(Ask("CAL:CALC:CURR:PAR?"), "1,0.5,-2,3");
}

TEST_F(EmulatorEngine, SenseCalculationAdvancesOnePollAtATime) {
    EXPECT_EQ(Ask("RSEN:RES:CALC?"), "DORMANT");
    Send("RSEN:RES:CALC 0.1");
    EXPECT_EQ(Ask("RSEN:RES:CALC?"), "CALCULATING");
    EXPECT_EQ(Ask("RSEN:RES:CALC?"), "COMPLETE");
    EXPECT_EQ(AskReal("RSEN:RES?"), 0.1);
}

TEST_F(EmulatorEngine, SelfTestResultsCanBeCleared) {
    EXPECT_EQ(Ask("TEST:SELF:QUER?"), "Selftest passed");
    Send("TEST:SELF:CLE");
    EXPECT_EQ(Ask("TEST:SELF:QUER?"), "No selftest result");
    EXPECT_EQ(Ask("*TST?"), "0");
    EXPECT_EQ(Ask("TEST:SELF:QUER?"), "Selftest passed");
    InstrumentConfig failing;
    failing.selfTestFails = true;
    Engine broken(failing);
    EXPECT_EQ(broken.Execute("*TST?").at(0).text, "1");
    EXPECT_EQ(broken.Execute("TEST:SELF:QUERY?").at(0).text, "Selftest failed");
}

}  // namespace
}  // namespace qmdc::emu
