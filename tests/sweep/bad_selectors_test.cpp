// Channel names a caller can get wrong beyond the selector tests: a range
// whose first index does not fit 32 bits, selectors whose ranges and levels
// name millions of channels, and virtual names that grow a selector by more
// than 64 KiB. Each is refused with its status, through the public API.
#include <gtest/gtest.h>

#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "store_xml.h"
#include "temp_store.h"

namespace {

using qmdc_test::ErrorDescription;
using qmdc_test::kSimulatedResource;
using qmdc_test::Session;

// "a1-a<n>"
std::string Range(const char* base, int n) {
    return std::string(base) + "1-" + base + std::to_string(n);
}

TEST(BadSelectors, RangeStartBeyond32Bits) {
    Session session(kSimulatedResource, "Simulate=1", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS);
    EXPECT_EQ(QmDC_ConfigureVoltageLevel(session.vi(), "CH99999999999-CH1", 1.0),
              QMDC_ERROR_INVALID_RANGE_IN_SELECTOR);
    EXPECT_EQ(ErrorDescription(session.vi()),
              "The range 'CH99999999999-CH1' is not valid for the repeated capability "
              "'OutputChannel'.  The index '99999999999' does not fit in 32 bits.");
}

// However many names ranges and levels multiply into, the answer is the
// first name's: one joining two levels, or one that is no channel.
TEST(BadSelectors, ManyNamesAnswerAtTheFirstThatFails) {
    Session session(kSimulatedResource, "Simulate=1", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS);
    const std::string product = "[" + Range("a", 101) + "]:[" + Range("b", 100) + "]";
    const std::string sum =
        Range("a", 9840) + "," + Range("y", 2) + ":" + Range("b", 60) + "," + Range("c", 50);
    const std::string names = "CH1,CH2-CH2000000000";
    const std::pair<std::string, std::string> cases[] = {
        {product,
         "The number of levels in the selector is not valid for the 'OutputChannel' repeated "
         "capability."},
        {sum,
         "Unknown physical repeated capability selector.  The identifier 'a1' is not defined for "
         "repeated capability 'OutputChannel'."},
        {names,
         "Unknown physical repeated capability selector.  The identifier 'CH2' is not defined "
         "for repeated capability 'OutputChannel'."},
    };
    for (const auto& [selector, description] : cases) {
        EXPECT_LT(QmDC_ConfigureOutputEnabled(session.vi(), selector.c_str(), VI_TRUE), 0)
            << selector.substr(0, 40);
        EXPECT_EQ(ErrorDescription(session.vi()), description) << selector.substr(0, 40);
    }
}

// A virtual name of 1000 characters, named 70 times.
TEST(BadSelectors, VirtualNamesGrowTheSelectorTooMuch) {
    const std::string store = qmdc_test::StoreXml(
        "LongNames", "Long",
        qmdc_test::VirtualNames({{"Big", std::string(1000, 'X')}}) + "\n<Simulate>true</Simulate>");
    qmdc_test::TempStoreFile file(store);
    Session session("LongNames", "Simulate=1", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    std::string selector = "Big";
    for (int i = 1; i < 70; ++i) selector += ",Big";
    EXPECT_EQ(QmDC_ConfigureOutputEnabled(session.vi(), selector.c_str(), VI_TRUE),
              QMDC_ERROR_BADLY_FORMED_SELECTOR);
    EXPECT_EQ(ErrorDescription(session.vi()),
              "The repeated capability selector is badly-formed.  Its virtual names make the "
              "selector more than 65536 characters longer.");
}

}  // namespace
