// The option string of InitWithOptions: inherent options, value words,
// repeats, unknown names and the DriverSetup part.
#include <gtest/gtest.h>

#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"
#include "small_stack.h"

using qmdc_test::ErrorDescription;
using qmdc_test::Session;

namespace {

// The six flags in their fixed order, as '0'/'1' characters.
std::string Flags(const kiln::DriverSession& s) {
    std::string flags;
    for (bool flag : {s.GetCache(), s.GetInterchangeCheck(), s.GetQueryInstrStatus(),
                      s.GetRangeCheck(), s.GetRecordCoercions(), s.GetSimulate()}) {
        flags += flag ? '1' : '0';
    }
    return flags;
}

// Runs the option parser on a fresh session object, as init does.
struct Parsed {
    ViStatus status;
    std::string flags;
    std::string description;
    std::string model;
};

Parsed Parse(const std::string& options) {
    auto session = qmdc_test::Simulated();
    kiln::DriverSession& s = *kiln::FindSession(session->vi());
    QmDC_ClearError(session->vi());
    s.InherentOptionsSeen().clear();
    s.SetSimulate(false);
    s.SetCache(true);
    s.SetRangeCheck(true);
    s.InstrumentModel().clear();
    Parsed parsed;
    parsed.status = s.ApplyOptionString(options);
    parsed.flags = Flags(s);
    parsed.description = ErrorDescription(session->vi());
    parsed.model = s.GetInstrumentModel();
    return parsed;
}

}  // namespace

TEST(OptionString, AcceptedFormsSetTheFlags) {
    struct Case {
        const char* options;
        const char* flags;  // cache, interchange, query status, range, coercions, simulate
    };
    const Case cases[] = {
        {"", "100100"},
        {"   ", "100100"},
        {"Simulate=True,RangeCheck=False", "100001"},
        {"SIMULATE = VI_TRUE", "100101"},
        {"simulate=vi_true", "100101"},
        {"Cache=0, QueryInstrStatus=1, RecordCoercions=true", "001110"},
        {"Simulate", "100100"},      // no value: ignored
        {"Simulate=1.5", "100101"},  // the value stops at the point
        {"junk words, Simulate=1", "100101"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse(c.options);
        EXPECT_EQ(parsed.status, VI_SUCCESS) << c.options << ": " << parsed.description;
        EXPECT_EQ(parsed.flags, c.flags) << c.options;
    }
}

TEST(OptionString, MalformedPiecesGiveTheirStatusAndText) {
    struct Case {
        const char* options;
        ViStatus status;
        const char* description;
        const char* flags;
    };
    const Case cases[] = {
        {"Simulate=yes", QMDC_ERROR_BAD_OPTION_VALUE,
         "The 'yes' value in the option string is unknown.", "100100"},
        {"Simulate=1, Simulate=0", QMDC_ERROR_CANNOT_RECOVER,
         "Failure cannot recover.  Inherent option 'simulate' appears more than once.", "100100"},
        {"Cache=0, Foo=1", QMDC_ERROR_BAD_OPTION_NAME,
         "The 'foo' name in the option string is unknown.", "000100"},
        {"Simulate=1, DriverSetup=Model=A, model=B", QMDC_ERROR_CANNOT_RECOVER,
         "Failure cannot recover.  DriverSetup option 'model' appears more than once.", "100100"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse(c.options);
        EXPECT_EQ(parsed.status, c.status) << c.options;
        EXPECT_EQ(parsed.description, c.description) << c.options;
        EXPECT_EQ(parsed.flags, c.flags) << c.options;
    }
}

TEST(OptionString, DriverSetupGivesTheModel) {
    Parsed parsed = Parse("Simulate=1, DriverSetup=Model:X");
    EXPECT_EQ(parsed.status, VI_SUCCESS);
    EXPECT_EQ(parsed.flags, "100101");
    EXPECT_EQ(parsed.model, "X");

    parsed = Parse("DriverSetup=Model=X , Other=1");
    EXPECT_EQ(parsed.model, "X ");

    // Placed first, DriverSetup swallows the rest of the line.
    parsed = Parse("DriverSetup=Model:X, Simulate=1");
    EXPECT_EQ(parsed.status, VI_SUCCESS);
    EXPECT_EQ(parsed.flags, "100100");
    EXPECT_EQ(parsed.model, "X");

    // Text after a line break that ends the DriverSetup part is ignored.
    parsed = Parse("Simulate=1, DriverSetup=Model:Y\nCache=0");
    EXPECT_EQ(parsed.flags, "100101");
    EXPECT_EQ(parsed.model, "Y");
}

// Matched case-sensitively, "model" would leave the default model simulated,
// with success and the wrong ratings.
TEST(OptionString, DriverSetupModelNameIgnoresLetterCase) {
    for (const char* name : {"Model", "model", "MODEL", "mOdEl"}) {
        Session session("TCPIP0::sim::1::SOCKET",
                        std::string("Simulate=1, DriverSetup=") + name + ":Bench 50-20 QM");
        ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
        ViChar model[64] = {};
        EXPECT_EQ(QmDC_GetAttributeViString(session.vi(), "", QMDC_ATTR_INSTRUMENT_MODEL,
                                            sizeof model, model),
                  VI_SUCCESS);
        EXPECT_STREQ(model, "Bench 50-20 QM") << name;
        ViReal64 volts = 0;
        EXPECT_EQ(QmDC_QueryMaxVoltageLevel(session.vi(), "", 0.0, &volts), VI_SUCCESS);
        EXPECT_EQ(volts, 50.0) << name;
    }
}

TEST(OptionString, DriverSetupValuesAreRecorded) {
    Session session("TCPIP0::sim::1::SOCKET",
                    "Simulate=1,DriverSetup= Model = Bench 50-20 QM ,Trace:on");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    kiln::DriverSession& s = *kiln::FindSession(session.vi());
    std::string value;
    EXPECT_TRUE(s.FindDriverSetupValue("TRACE", value));
    EXPECT_EQ(value, "on");
    EXPECT_EQ(s.GetDriverSetup(), " Model = Bench 50-20 QM ,Trace:on");
    EXPECT_EQ(s.GetInstrumentModel(), "Bench 50-20 QM ");
}

TEST(OptionString, LongTextParsesOnASmallStack) {
    // A megabyte of option string, parsed on a thread with a 256 KiB stack.
    const std::string options = "Simulate=1," + std::string(500000, ' ') + "Cache=0," +
                                "DriverSetup=Model:" + std::string(500000, 'x') + ",Other:1";
    Parsed parsed;
    ASSERT_TRUE(qmdc_test::OnSmallStack([&] { parsed = Parse(options); }));
    EXPECT_EQ(parsed.status, VI_SUCCESS) << parsed.description;
    EXPECT_EQ(parsed.flags, "000101");
    EXPECT_EQ(parsed.model.size(), 500000u);
}
