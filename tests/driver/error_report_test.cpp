// The message table, the formatting of descriptions and QmDC_error_message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "kiln/session/error_messages.h"
#include "kiln/session/error_report.h"

using kiln::FormatDescription;
using qmdc_test::ErrorDescription;

TEST(ErrorFormat, FillsPlaceholdersInOrderAndIgnoresSurplus) {
    EXPECT_EQ(FormatDescription("a '%s' b '%s'", {"x", "y", "z"}), "a 'x' b 'y'");
    EXPECT_EQ(FormatDescription("%s has %d names", {"Out", 3}), "Out has 3 names");
    EXPECT_EQ(FormatDescription("100%% of '%s'", {"it"}), "100% of 'it'");
}

TEST(ErrorFormat, MissingArgumentsLeaveEmptyPlaceholders) {
    EXPECT_EQ(FormatDescription("'%s' and '%s'", {"one"}), "'one' and ''");
}

TEST(ErrorFormat, CallerTextIsNeverTakenAsFormat) {
    EXPECT_EQ(FormatDescription("model %s", {"%s%d%n%%"}), "model %s%d%n%%");
}

TEST(ErrorFormat, LongDescriptionsAreCutAt1023Characters) {
    const std::string huge(5000, 'x');
    const std::string text = FormatDescription("Invalid value '%s' for '%s'.", {huge, "f"});
    ASSERT_EQ(text.size(), kiln::kMaxDescriptionLength);
    EXPECT_EQ(text.substr(0, 15), "Invalid value '");
}

TEST(ErrorMessage, TableHoldsEveryCodeWithItsExactText) {
    struct Row {
        ViStatus code;
        const char* text;
    };
    const Row rows[] = {
        {QMDC_ERROR_INSTRUMENT_STATUS,
         "Instrument error detected.  Use ErrorQuery() to determine the error(s)."},
        {QMDC_ERROR_FUNCTION_NOT_SUPPORTED,
         "Does not support this class-compliant feature: function '%s'"},
        {QMDC_ERROR_VALUE_NOT_SUPPORTED,
         "Does not support this class-compliant feature:  Enumeration value '%s' passed as the "
         "value for parameter '%s' in function '%s'."},
        {QMDC_ERROR_NULL_POINTER, "Null pointer passed for function '%s', parameter '%s'."},
        {QMDC_ERROR_IO_TIMEOUT, "I/O timeout error."},
        {QMDC_SUCCESS, "Success."},
        {QMDC_WARN_NSUP_REV_QUERY, "Firmware revision query is not supported by this instrument."},
    };
    for (const Row& row : rows) {
        ViChar buffer[256];
        ASSERT_EQ(QmDC_error_message(VI_NULL, row.code, buffer), VI_SUCCESS);
        EXPECT_STREQ(buffer, row.text);
    }
    // 49 codes, each text shorter than the 256-byte buffer.
    int known = 0;
    for (ViStatus code : {0x00000000, 0x3FFA0065, 0x3FFA0066, 0x3FFA0067, 0x3FFA0068, 0x3FFA0069}) {
        known += kiln::IsDriverStatus(code);
    }
    for (long long code = 0xBFFA0000; code <= 0xBFFA4215; ++code) {
        const ViStatus status = static_cast<ViStatus>(code);
        if (!kiln::IsDriverStatus(status)) continue;
        ++known;
        EXPECT_LT(kiln::MessageText(status).size(), 256u);
    }
    EXPECT_EQ(known, 49);
}

TEST(ErrorMessage, UnknownCodeWithoutSessionLeavesBufferAlone) {
    ViChar buffer[256] = "untouched";
    EXPECT_EQ(QmDC_error_message(VI_NULL, 1, buffer), QMDC_ERROR_INVALID_VALUE);
    EXPECT_STREQ(buffer, "untouched");
}

TEST(ErrorMessage, UnknownCodeIsReportedOnTheSession) {
    auto session = qmdc_test::Simulated();
    ViChar buffer[256] = "untouched";
    const ViStatus visaTimeout = static_cast<ViStatus>(0xBFFF0015);
    EXPECT_EQ(QmDC_error_message(session->vi(), visaTimeout, buffer), QMDC_ERROR_INVALID_VALUE);
    EXPECT_STREQ(buffer, "untouched");
    ViStatus code = 0;
    EXPECT_EQ(ErrorDescription(session->vi(), &code),
              "Invalid value '-1073807339' for function 'error_message', parameter 'ErrorCode'."
              "  The error code supplied is not defined by the driver.");
    EXPECT_EQ(code, QMDC_ERROR_INVALID_VALUE);
}

TEST(ErrorMessage, NullBufferIsReported) {
    EXPECT_EQ(QmDC_error_message(VI_NULL, 0, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(VI_NULL),
              "Null pointer passed for function 'QmDC_error_message', parameter 'ErrorMessage'.");
}
