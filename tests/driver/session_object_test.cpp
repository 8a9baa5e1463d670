// The session object: construction values, the option snapshot restored by
// ResetWithDefaults, virtual names, and a simulated session's connection.
#include <gtest/gtest.h>

#include "QmDC.h"
#include "driver/orvane_session.h"
#include "driver_test_support.h"
#include "kiln/session/call_frame.h"

TEST(SessionObject, ConstructionValues) {
    OrvaneDCDriverSession session(42, 2000, 10000, 10000, false, 1000);
    EXPECT_EQ(session.GetHandle(), 42u);
    EXPECT_EQ(session.GetOpenTimeout(), 2000);
    EXPECT_EQ(session.GetSelfTestTimeout(), 10000);
    EXPECT_EQ(session.GetResetTimeout(), 10000);
    EXPECT_FALSE(session.SupportsInterchangeCheck());
    EXPECT_EQ(session.GetSpareTimeout(), 1000);
    EXPECT_EQ(session.VisaResourceManager(), 0u);
    EXPECT_EQ(session.VisaInstrumentSession(), 0u);
    EXPECT_TRUE(session.GetInstrumentModel().empty());
    EXPECT_TRUE(session.DriverSetupOptions().empty());
}

TEST(SessionObject, ResetWithDefaultsRestoresTheOptionsOfInit) {
    auto holder = qmdc_test::Simulated("Simulate=1, RangeCheck=0, Cache=1");
    kiln::DriverSession& s = *kiln::FindSession(holder->vi());
    s.SetCache(false);
    s.SetRangeCheck(true);
    s.SetQueryInstrStatus(true);
    s.SetRecordCoercions(true);
    s.Cache().int32[1150013][""].valid = true;
    ASSERT_EQ(QmDC_ResetWithDefaults(holder->vi()), VI_SUCCESS);
    EXPECT_TRUE(s.GetCache());
    EXPECT_FALSE(s.GetRangeCheck());
    EXPECT_FALSE(s.GetQueryInstrStatus());
    EXPECT_FALSE(s.GetRecordCoercions());
    EXPECT_TRUE(s.GetSimulate());
    EXPECT_TRUE(s.Cache().int32.empty());  // a simulated reset empties the cache
}

TEST(SessionObject, SimulatedSessionNeverConnects) {
    auto holder = qmdc_test::Simulated();
    kiln::DriverSession& s = *kiln::FindSession(holder->vi());
    EXPECT_EQ(s.VisaResourceManager(), 0u);
    EXPECT_EQ(s.VisaInstrumentSession(), 0u);
    EXPECT_EQ(s.CloseIo(), VI_SUCCESS);
    EXPECT_EQ(s.OpenIo(), VI_SUCCESS);
    EXPECT_EQ(s.VisaInstrumentSession(), 0u);
    ViInt32 code = -1;
    ViChar text[256];
    ViInt16 result = -1;
    EXPECT_EQ(QmDC_error_query(holder->vi(), &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(text, "No error.");
    EXPECT_EQ(QmDC_GetNextError(holder->vi(), 5, text), VI_SUCCESS);
    EXPECT_STREQ(text, "0,\"N");
    EXPECT_EQ(QmDC_self_test(holder->vi(), &result, text), VI_SUCCESS);
    EXPECT_STREQ(text, "Selftest passed");
    EXPECT_EQ(QmDC_Disable(holder->vi()), VI_SUCCESS);
    EXPECT_EQ(QmDC_ClearStatus(holder->vi()), VI_SUCCESS);
}

TEST(SessionObject, VirtualNamesMapAndStripQualifiers) {
    OrvaneDCDriverSession session(1, 2000, 10000, 10000, false, 1000);
    session.VirtualNameTable()["Out"] = "OutputChannel!!CH1";
    session.VirtualNameTargetTable()["CH1"] = "Out";
    EXPECT_EQ(session.MapVirtualName("Out"), "CH1");
    EXPECT_EQ(session.MapVirtualName("out"), "CH1");  // keys ignore letter case
    EXPECT_EQ(session.MapVirtualName("A!!B!!C"), "B!!C");
    EXPECT_EQ(session.MapVirtualName("Other"), "Other");
    EXPECT_EQ(session.MapVirtualNameTarget("CH1"), "Out");
    EXPECT_EQ(session.MapVirtualNameTarget("CH2"), "CH2");
}
