// A few lines of a configuration store can ask for millions of virtual
// channel names. A session's virtual names may name 1000 channels in all; a
// store that asks for more is refused before the range is entered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QmDC.h"
#include "driver_test_support.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"
#include "store_xml.h"
#include "temp_store.h"

using qmdc_test::ErrorDescription;
using qmdc_test::Session;

namespace {

using Range = qmdc_test::VirtualRange;
using qmdc_test::VirtualName;

// The names map to "CH"; one without ranges maps its bare name.
std::string StoreWith(const std::vector<VirtualName>& names) {
    return qmdc_test::StoreXml("PSU", "PsuSession",
                               "<Simulate>true</Simulate>\n" + qmdc_test::VirtualNames(names));
}

// count names, each with the same ranges.
std::vector<VirtualName> Repeated(int count, std::vector<Range> ranges) {
    std::vector<VirtualName> names;
    for (int i = 0; i < count; ++i) names.push_back({"V" + std::to_string(i) + "_", "CH", ranges});
    return names;
}

std::vector<Range> Consecutive(int count, long long size) {
    std::vector<Range> ranges;
    for (int i = 0; i < count; ++i) ranges.push_back({i * size, i * size + size - 1});
    return ranges;
}

const char* const kRangeTooLarge =
    "Failure cannot recover.  The virtual range of 'V0_' names more than 1000 channels.";
const char* const kSessionTooLarge =
    "Failure cannot recover.  The virtual names of 'PSU' name more than 1000 channels in all.";

struct BudgetCase {
    const char* name;
    std::vector<VirtualName> names;
    ViStatus status;
    const char* description;  // nullptr: init succeeds
    size_t entries;           // virtual names entered when it succeeds
};

const BudgetCase kCases[] = {
    {"one name, 60 ranges of 100000", Repeated(1, Consecutive(60, 100000)),
     QMDC_ERROR_CANNOT_RECOVER, kRangeTooLarge, 0},
    {"20 names, one range of 100000 each", Repeated(20, Consecutive(1, 100000)),
     QMDC_ERROR_CANNOT_RECOVER, kRangeTooLarge, 0},
    {"one name, 60 ranges of 900", Repeated(1, Consecutive(60, 900)), QMDC_ERROR_CANNOT_RECOVER,
     kSessionTooLarge, 0},
    {"20 names, one range of 100 each", Repeated(20, Consecutive(1, 100)),
     QMDC_ERROR_CANNOT_RECOVER, kSessionTooLarge, 0},
    {"10 names of 100 and one plain name",
     [] {
         auto names = Repeated(10, Consecutive(1, 100));
         names.push_back({"Main", "CH"});
         return names;
     }(),
     QMDC_ERROR_CANNOT_RECOVER, kSessionTooLarge, 0},
    {"1001 plain names", Repeated(1001, {}), QMDC_ERROR_CANNOT_RECOVER, kSessionTooLarge, 0},
    {"10 names of 100: exactly the budget", Repeated(10, Consecutive(1, 100)), VI_SUCCESS, nullptr,
     1000},
    {"empty ranges name nothing", Repeated(50, {{5, 4}, {100, -100000}}), VI_SUCCESS, nullptr, 0},
    {"a range of the whole 32-bit span", Repeated(1, {{-2147483647 - 1, 2147483647}}),
     QMDC_ERROR_CANNOT_RECOVER, kRangeTooLarge, 0},
};

TEST(VirtualNameBudget, SessionMayNameAtMost1000Channels) {
    for (const BudgetCase& c : kCases) {
        SCOPED_TRACE(c.name);
        qmdc_test::TempStoreFile store(StoreWith(c.names));
        Session session("PSU");
        EXPECT_EQ(session.status(), c.status);
        if (c.description != nullptr) {
            EXPECT_EQ(session.vi(), VI_NULL);
            EXPECT_EQ(ErrorDescription(VI_NULL), c.description);
            continue;
        }
        ASSERT_NE(session.vi(), VI_NULL) << ErrorDescription(VI_NULL);
        kiln::DriverSession& s = *kiln::FindSession(session.vi());
        EXPECT_EQ(s.VirtualNameTable().size(), c.entries);
        if (c.entries > 0) {
            EXPECT_EQ(s.MapVirtualName("V9_99"), "CH99");
            EXPECT_EQ(s.MapVirtualName("V0_0"), "CH0");
        }
    }
}

}  // namespace
