// The attribute store, through the generic instrument callbacks and rows of
// the test's own: what a getter and a setter store, in and out of simulation,
// what they send, and how answers are read.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>

#include "QmDC.h"
#include "driver/enum_maps.h"
#include "driver_test_support.h"
#include "kiln/attributes/attribute_registry.h"
#include "kiln/attributes/typed_access.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_definition.h"
#include "kiln/session/driver_session.h"
#include "scripted_session.h"
#include "visa.h"

using qmdc_test::ErrorDescription;
using qmdc_test::ScriptedSession;

namespace {

using kiln::Access;
using kiln::CacheRule;
using kiln::ChannelRule;
using kiln::ValueType;

constexpr ViAttr kLevel = 9000001;
constexpr ViAttr kRegister = 9000002;
constexpr ViAttr kText = 9000003;
constexpr ViAttr kSwitch = 9000004;
constexpr ViAttr kPerChannel = 9000005;

const kiln::AttributeRow kRows[] = {
    {kLevel, "QMDC_ATTR_TEST_LEVEL", ValueType::Real64, Access::ReadWrite, ChannelRule::Ignored,
     CacheRule::Stored, kiln::Instrument("LEV %0.15lg\n", "LEV?\n", "%lf%*t"), kiln::Default(3.5)},
    {kRegister, "QMDC_ATTR_TEST_REGISTER", ValueType::Int32, Access::ReadOnly, ChannelRule::Ignored,
     CacheRule::Stored, kiln::Instrument(nullptr, "REG?\n", "%ld%*t"), kiln::Fixed(0)},
    {kText, "QMDC_ATTR_TEST_TEXT", ValueType::String, Access::ReadOnly, ChannelRule::Ignored,
     CacheRule::Stored, kiln::Instrument(nullptr, "TXT?\n", "%#[^\n]%*t"),
     kiln::FixedText("simulated")},
    {kSwitch, "QMDC_ATTR_TEST_SWITCH", ValueType::Boolean, Access::ReadWrite, ChannelRule::Ignored,
     CacheRule::Stored, kiln::Instrument("SW %s\n", "SW?\n", "%#[^\n]%*t", &qmdc::BooleanMap),
     kiln::Default(VI_TRUE)},
    {kPerChannel, "QMDC_ATTR_TEST_PER_CHANNEL", ValueType::Real64, Access::ReadWrite,
     ChannelRule::PerChannel, CacheRule::NotStored,
     kiln::Instrument("PC %0.15lg\n", "PC?\n", "%lf%*t"), kiln::Fixed(0.0)},
};

const kiln::AttributeRegistry& TestRegistry() {
    static const kiln::AttributeRegistry registry = [] {
        std::vector<kiln::AttributeDescriptor> descriptors;
        for (const auto& row : kRows) descriptors.push_back(kiln::DescribeRow(row));
        return kiln::AttributeRegistry(std::move(descriptors));
    }();
    return registry;
}

ViReal64 GetLevel(ViSession vi, ViStatus expected = VI_SUCCESS, ViReal64 start = -1.0) {
    ViReal64 value = start;
    EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "", kLevel, &value), expected);
    return value;
}

ViStatus SetLevel(ViSession vi, ViReal64 value) {
    return kiln::SetAttribute(TestRegistry(), vi, "", kLevel, value);
}

kiln::DriverSession& SessionOf(ViSession vi) {
    return *kiln::FindSession(vi);
}

using Answers = qmdc_test::AnswerTable;

TEST(AttributeCache, SimulationAnswersWhatWasSetAlsoWithTheCacheOff) {
    auto session = qmdc_test::Simulated("Simulate=1, Cache=0");
    const ViSession vi = session->vi();
    EXPECT_EQ(GetLevel(vi), 3.5);  // the simulated default
    EXPECT_EQ(SetLevel(vi, 1.25), VI_SUCCESS);
    EXPECT_EQ(GetLevel(vi), 1.25);
    EXPECT_EQ(QmDC_InvalidateAllAttributes(vi), VI_SUCCESS);
    EXPECT_EQ(GetLevel(vi), 3.5);
    EXPECT_EQ(SetLevel(vi, 2.0), VI_SUCCESS);
    EXPECT_EQ(QmDC_reset(vi), VI_SUCCESS);  // a reset forgets too
    EXPECT_EQ(GetLevel(vi), 3.5);

    // A read-only register answers its fixed value whatever the store holds.
    SessionOf(vi).Cache().int32[kRegister][""] = {true, 42};
    ViInt32 reg = -1;
    EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "", kRegister, &reg), VI_SUCCESS);
    EXPECT_EQ(reg, 0);

    // An enumerated value is stored unchecked in simulation.
    ViBoolean sw = 0;
    EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "", kSwitch, &sw), VI_SUCCESS);
    EXPECT_EQ(sw, VI_TRUE);
    EXPECT_EQ(kiln::SetAttribute(TestRegistry(), vi, "", kSwitch, ViBoolean{7}), VI_SUCCESS);
    EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "", kSwitch, &sw), VI_SUCCESS);
    EXPECT_EQ(sw, 7);

    ViChar text[8];
    EXPECT_EQ(kiln::GetAttributeText(TestRegistry(), vi, "", kText, sizeof text, text), 4096);
    EXPECT_STREQ(text, "simulat");  // cut to the buffer, which it fills
}

TEST(AttributeCache, ARealSessionQueriesEveryTimeAndStoresTheAnswer) {
    ScriptedSession session("Cache=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    Answers& answers = session.answers();
    answers.Set("LEV?", "2.75\n");
    EXPECT_EQ(GetLevel(session.vi()), 2.75);
    answers.Set("LEV?", "-1.5e-3\n");
    EXPECT_EQ(GetLevel(session.vi()), -1.5e-3);
    size_t queries = 0;
    for (const auto& line : session.Received()) queries += line == "LEV?";
    EXPECT_EQ(queries, 2u);
    const auto& entry = SessionOf(session.vi()).Cache().real64[kLevel][""];
    EXPECT_TRUE(entry.valid);
    EXPECT_EQ(entry.value, -1.5e-3);

    // With the cache off nothing is stored at all.
    EXPECT_EQ(QmDC_SetAttributeViBoolean(session.vi(), "", QMDC_ATTR_CACHE, VI_FALSE), VI_SUCCESS);
    EXPECT_EQ(QmDC_InvalidateAllAttributes(session.vi()), VI_SUCCESS);
    EXPECT_EQ(GetLevel(session.vi()), -1.5e-3);
    EXPECT_EQ(SetLevel(session.vi(), 1.0), VI_SUCCESS);
    EXPECT_TRUE(SessionOf(session.vi()).Cache().real64.empty());
}

TEST(AttributeCache, ValuesOfFailedOperationsAreStoredAndAnsweredInSimulationLater) {
    ScriptedSession session("Cache=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    Answers& answers = session.answers();
    answers.Drop("*ESR?");
    const ViSession vi = session.vi();
    ASSERT_EQ(viSetAttribute(SessionOf(vi).VisaInstrumentSession(), VI_ATTR_TMO_VALUE, 200),
              VI_SUCCESS);
    // No answer: the getter fails and stores what its output held.
    EXPECT_EQ(GetLevel(vi, VI_ERROR_TMO, 9.5), 9.5);
    EXPECT_EQ(SessionOf(vi).Cache().real64[kLevel][""].value, 9.5);

    // The instrument flags the command: the setter fails, the value is stored.
    answers.Set("*ESR?", "16\n");
    EXPECT_EQ(QmDC_SetAttributeViBoolean(vi, "", QMDC_ATTR_QUERY_INSTRUMENT_STATUS, VI_TRUE),
              VI_SUCCESS);
    EXPECT_EQ(SetLevel(vi, 4.0), QMDC_ERROR_INSTRUMENT_STATUS);
    // A value without a token fails before anything is sent, and is stored.
    EXPECT_EQ(kiln::SetAttribute(TestRegistry(), vi, "", kSwitch, ViBoolean{2}),
              QMDC_ERROR_CANNOT_RECOVER);
    EXPECT_EQ(ErrorDescription(vi),
              "Failure cannot recover.  Could not convert defined value '2' to an instrument "
              "command.");

    EXPECT_EQ(QmDC_SetAttributeViBoolean(vi, "", QMDC_ATTR_SIMULATE, VI_TRUE), VI_SUCCESS);
    EXPECT_EQ(GetLevel(vi), 4.0);
    ViBoolean sw = 0;
    EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "", kSwitch, &sw), VI_SUCCESS);
    EXPECT_EQ(sw, 2);
    for (const auto& line : session.Received()) EXPECT_NE(line.rfind("SW", 0), 0u) << line;
}

struct AnswerCase {
    const char* answer;
    ViStatus status;
    const char* description;  // for failures
};

TEST(AttributeCache, AnswersAreReadOrRefused) {
    ScriptedSession session("Cache=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    Answers& answers = session.answers();
    const ViSession vi = session.vi();

    const AnswerCase numbers[] = {
        {"12.5\n", VI_SUCCESS, ""},
        {"  +7E2 trailing words\n", VI_SUCCESS, ""},
        {"abc\n", QMDC_ERROR_UNEXPECTED_RESPONSE,
         "Unexpected response from instrument.  The answer to LEV? holds no number that fits."},
        {"\n", QMDC_ERROR_UNEXPECTED_RESPONSE,
         "Unexpected response from instrument.  The answer to LEV? holds no number that fits."},
    };
    for (const AnswerCase& c : numbers) {
        answers.Set("LEV?", c.answer);
        GetLevel(vi, c.status);
        if (c.status < 0) {
            EXPECT_EQ(ErrorDescription(vi), c.description) << c.answer;
        }
    }

    const AnswerCase switches[] = {
        {"ON\n", VI_SUCCESS, ""},
        {" on \r\n", VI_SUCCESS, ""},
        {"1\n", VI_SUCCESS, ""},
        {"2\n", QMDC_ERROR_UNEXPECTED_RESPONSE,
         "Unexpected response from instrument.  Could not convert instrument response (2) to a "
         "defined value."},
        {"TRUE\n", QMDC_ERROR_UNEXPECTED_RESPONSE,
         "Unexpected response from instrument.  Could not convert instrument response (TRUE) to "
         "a defined value."},
    };
    for (const AnswerCase& c : switches) {
        answers.Set("SW?", c.answer);
        ViBoolean value = 0;
        EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "", kSwitch, &value), c.status)
            << c.answer;
        if (c.status < 0) {
            EXPECT_EQ(ErrorDescription(vi), c.description);
        } else {
            EXPECT_EQ(value, VI_TRUE) << c.answer;
        }
    }

    answers.Set("TXT?", "hello there\n");
    ViChar text[64] = "stale";
    EXPECT_EQ(kiln::GetAttributeText(TestRegistry(), vi, "", kText, sizeof text, text), VI_SUCCESS);
    EXPECT_STREQ(text, "hello there");
    EXPECT_EQ(SessionOf(vi).Cache().text[kText][""].value, "hello there");
    answers.Set("TXT?", "\n");
    EXPECT_EQ(kiln::GetAttributeText(TestRegistry(), vi, "", kText, sizeof text, text),
              QMDC_ERROR_UNEXPECTED_RESPONSE);
    EXPECT_STREQ(text, "");  // never the stale text
    EXPECT_EQ(ErrorDescription(vi),
              "Unexpected response from instrument.  The answer to TXT? is empty.");
}

TEST(AttributeCache, WhatIsSentAndTheStatusCheck) {
    ScriptedSession session("QueryInstrStatus=1");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    const ViSession vi = session.vi();
    EXPECT_EQ(SetLevel(vi, 0.1), VI_SUCCESS);
    EXPECT_EQ(SetLevel(vi, 1500000), VI_SUCCESS);
    EXPECT_EQ(kiln::SetAttribute(TestRegistry(), vi, "", kSwitch, ViBoolean{VI_FALSE}), VI_SUCCESS);
    EXPECT_EQ(kiln::SetAttribute(TestRegistry(), vi, "CH1", kPerChannel, 2.5), VI_SUCCESS);
    const std::vector<std::string> sent = session.Sent();
    const std::vector<std::string> expected = {"LEV 0.1", "*ESR?", "LEV 1500000", "*ESR?",
                                               "SW OFF",  "*ESR?", "PC 2.5",      "*ESR?"};
    EXPECT_EQ(sent, expected);

    // A per-channel attribute resolves its channel before anything is sent.
    ViReal64 value = 0;
    EXPECT_EQ(kiln::GetAttribute(TestRegistry(), vi, "CH1,CH1", kPerChannel, &value),
              QMDC_ERROR_BADLY_FORMED_SELECTOR);
    EXPECT_EQ(kiln::SetAttribute(TestRegistry(), vi, "CH2", kPerChannel, 1.0),
              QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER);
    EXPECT_EQ(session.Sent(), std::vector<std::string>{});  // nothing more
}

TEST(AttributeCache, TheInvalidatorOfOneAttribute) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    kiln::DriverSession& s = SessionOf(vi);
    const auto* level = TestRegistry().Find(kLevel);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(SetLevel(vi, 8.0), VI_SUCCESS);
    s.Cache().real64[kLevel]["CH9"] = {true, 1.0};
    level->invalidator(s, false, "");
    EXPECT_FALSE(s.Cache().real64[kLevel][""].valid);
    EXPECT_TRUE(s.Cache().real64[kLevel]["CH9"].valid);
    EXPECT_EQ(GetLevel(vi), 3.5);
    level->invalidator(s, false, "CH7");  // created, not valid
    EXPECT_FALSE(s.Cache().real64[kLevel].at("CH7").valid);
    level->invalidator(s, true, "");
    EXPECT_TRUE(s.Cache().real64[kLevel].empty());
}

TEST(AttributeCache, TheDriversTableIsConsistent) {
    const auto& driver = kiln::RegisteredDriver();
    EXPECT_EQ(kiln::AttributeTableProblems(driver.attributes, driver.attributeCount),
              std::vector<std::string>{});
    EXPECT_EQ(kiln::AttributeTableProblems(kRows, std::size(kRows)), std::vector<std::string>{});
    // The check finds what is wrong.
    kiln::AttributeRow broken[] = {kRows[0], kRows[0]};
    broken[1].behaviour.command = nullptr;
    broken[1].simulated = kiln::Simulated{};
    const auto problems = kiln::AttributeTableProblems(broken, 2);
    EXPECT_EQ(problems.size(), 3u);
    // A text whose first conversion is not the counted one would take the
    // wrong arguments.
    kiln::AttributeRow text = kRows[2];
    text.behaviour.scan = "%*[^,],%#[^\n]%*t";
    EXPECT_EQ(kiln::AttributeTableProblems(&text, 1).size(), 1u);
}

}  // namespace
