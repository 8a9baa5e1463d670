// Coercion records (never written past the caller's buffer) and the
// interchange functions the driver does not support.
#include <gtest/gtest.h>

#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "guarded_buffer.h"
#include "kiln/attributes/value_checks.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"

using qmdc_test::ErrorDescription;

namespace {

struct RecordCase {
    const char* queued;  // nullptr: the queue is empty
    ViInt32 size;
    bool nullBuffer;
    ViStatus status;
    const char* text;  // what the buffer holds (nullptr: untouched)
    size_t left;       // records left in the queue
};

TEST(CoercionRecords, SizesAndTheQueue) {
    constexpr size_t kLongestRecord = sizeof "coerced 7 to 5";
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    auto& queue = kiln::FindSession(vi)->CoercionQueue();
    const RecordCase cases[] = {
        {nullptr, 256, false, VI_SUCCESS, "", 0},
        {nullptr, 0, true, 1, nullptr, 0},
        {nullptr, 0, false, 1, nullptr, 0},
        {nullptr, 5, true, QMDC_ERROR_NULL_POINTER, nullptr, 0},
        {nullptr, -1, false, VI_SUCCESS, "", 0},
        {"coerced 7 to 5", 256, false, VI_SUCCESS, "coerced 7 to 5", 0},
        {"coerced 7 to 5", 0, false, 15, nullptr, 1},
        {"coerced 7 to 5", 8, false, 15, "coerced", 0},  // cut, and taken off the queue
        {"coerced 7 to 5", 15, false, VI_SUCCESS, "coerced 7 to 5", 0},
        {"coerced 7 to 5", -5, false, QMDC_ERROR_INVALID_VALUE, nullptr, 1},
    };
    for (const RecordCase& c : cases) {
        queue.clear();
        if (c.queued != nullptr) queue.push_back(c.queued);
        // As large as the size says; a negative size asks for the whole
        // record, whatever its length: room for the longest one here.
        qmdc_test::GuardedText buffer(c.size < 0 ? kLongestRecord : static_cast<size_t>(c.size));
        const ViStatus status =
            QmDC_GetNextCoercionRecord(vi, c.size, c.nullBuffer ? nullptr : buffer.data());
        const std::string label =
            std::string(c.queued ? c.queued : "empty") + " size " + std::to_string(c.size);
        EXPECT_EQ(status, c.status) << label;
        EXPECT_EQ(queue.size(), c.left) << label;
        EXPECT_EQ(buffer.Mismatch(c.text), "") << label;
    }
    queue.clear();
    EXPECT_EQ(QmDC_GetNextCoercionRecord(vi, 5, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'GetNextCoercionRecord', parameter "
              "'CoercionRecord'.");
    char buffer[8];
    EXPECT_EQ(QmDC_GetNextCoercionRecord(0x5151, sizeof buffer, buffer),
              QMDC_ERROR_INVALID_SESSION_HANDLE);
}

TEST(Interchange, TheThreeFunctionsAreNotSupported) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    ViChar warning[16] = "untouched";
    EXPECT_EQ(QmDC_GetNextInterchangeWarning(vi, sizeof warning, warning),
              QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(
        ErrorDescription(vi),
        "Does not support this class-compliant feature: function 'GetNextInterchangeWarning'");
    EXPECT_STREQ(warning, "untouched");
    EXPECT_EQ(QmDC_ClearInterchangeWarnings(vi), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(ErrorDescription(vi),
              "Does not support this class-compliant feature: function 'ClearInterchangeWarnings'");
    EXPECT_EQ(QmDC_ResetInterchangeCheck(vi), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(ErrorDescription(vi),
              "Does not support this class-compliant feature: function 'ResetInterchangeCheck'");
    EXPECT_EQ(QmDC_ResetInterchangeCheck(0x5151), QMDC_ERROR_INVALID_SESSION_HANDLE);
}

TEST(InvalidValues, IntegersInDecimalRealsWithSixDecimals) {
    auto session = qmdc_test::Simulated();
    kiln::DriverSession& s = *kiln::FindSession(session->vi());
    EXPECT_EQ(kiln::ReportInvalidValue(s, ViInt32{-2}, "ConfigureOutputRange", "RangeType"),
              QMDC_ERROR_INVALID_VALUE);
    EXPECT_EQ(ErrorDescription(session->vi()),
              "Invalid value '-2' for function 'ConfigureOutputRange', parameter 'RangeType'.");
    EXPECT_EQ(kiln::ReportInvalidValue(s, 7.5, "ConfigureOutputRange", "Range"),
              QMDC_ERROR_INVALID_VALUE);
    EXPECT_EQ(ErrorDescription(session->vi()),
              "Invalid value '7.500000' for function 'ConfigureOutputRange', parameter 'Range'.");
    kiln::ReportInvalidValue(s, -1e300, "F", "P");  // 301 digits before the point
    const std::string description = ErrorDescription(session->vi());
    EXPECT_EQ(description.rfind("Invalid value '-1000000000", 0), 0u);
    EXPECT_NE(description.find(".000000' for function 'F', parameter 'P'."), std::string::npos);
}

}  // namespace
