// The refusals the sweep asks for, one by one and with their descriptions:
// sizes that cannot describe the caller's buffer, a read of no bytes, and
// calls that refuse a null pointer and so write nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "QmDC.h"
#include "emulator_process.h"
#include "driver_test_support.h"
#include "visa.h"

namespace {

using qmdc_test::ErrorDescription;
using qmdc_test::kSimulatedResource;
using qmdc_test::Session;

class OnTheEmulator : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(QmDC_InitWithOptions(const_cast<ViChar*>(emulator_.resource().c_str()), VI_FALSE,
                                       VI_FALSE, "", &vi_),
                  VI_SUCCESS)
            << ErrorDescription(VI_NULL);
        ASSERT_EQ(QmDC_SetAttributeViInt32(vi_, "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, 2000), VI_SUCCESS);
    }
    void TearDown() override {
        if (vi_ != VI_NULL) QmDC_close(vi_);
    }
    ViStatus Write(const char* line) {
        return QmDC_viWrite(vi_, static_cast<ViInt64>(std::strlen(line)),
                            reinterpret_cast<ViByte*>(const_cast<char*>(line)), nullptr);
    }

    qmdc::testing::EmulatorProcess emulator_;
    ViSession vi_ = VI_NULL;
};

// The low 32 bits of 2^32 + 6 are 6: the command would go out cut short
// and the call would report success.
TEST_F(OnTheEmulator, DirectIoRefusesCountsBeyond32Bits) {
    ViByte line[] = "*IDN?\n";
    ViInt64 count = -7;
    const ViInt64 beyond = (ViInt64{1} << 32) + 6;
    EXPECT_EQ(QmDC_viWrite(vi_, beyond, line, &count), QMDC_ERROR_INVALID_VALUE);
    EXPECT_EQ(count, -7);
    EXPECT_EQ(ErrorDescription(vi_),
              "Invalid value '4294967302' for function 'viWrite', parameter 'BufferSize'.");
    EXPECT_EQ(QmDC_viRead(vi_, -1, line, &count), QMDC_ERROR_INVALID_VALUE);
    EXPECT_EQ(ErrorDescription(vi_),
              "Invalid value '-1' for function 'viRead', parameter 'BufferSize'.");
    EXPECT_STREQ(reinterpret_cast<char*>(line), "*IDN?\n");
    // Nothing reached the instrument: its first answer is to the next query.
    ViChar model[256] = {};
    EXPECT_EQ(QmDC_GetAttributeViString(vi_, "", QMDC_ATTR_INSTRUMENT_MODEL, sizeof model, model),
              VI_SUCCESS);
    EXPECT_STREQ(model, "Rack 30-70 QM");
}

// A read of no bytes returns at once and leaves a waiting answer for the
// next read, instead of dropping it or waiting out the I/O timeout.
TEST_F(OnTheEmulator, ReadingNoBytesLeavesTheAnswerWaiting) {
    ASSERT_EQ(Write("*IDN?\n"), VI_SUCCESS);
    ViByte buffer[256] = {};
    ViInt64 count = -1;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(QmDC_viRead(vi_, 0, buffer, &count), VI_SUCCESS_MAX_CNT);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(QmDC_viRead(vi_, sizeof buffer - 1, buffer, &count), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)).rfind("Orvane,Rack 30-70 QM,", 0), 0u);
}

// IVI lets a negative size mean "the buffer is large enough": the value is
// read as into 4096 bytes and the getter's status returned.
TEST(Refusals, TextAttributeWithANegativeSizeIsReadAsInto4096Bytes) {
    Session session(kSimulatedResource, "Simulate=1", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS);
    const ViSession vi = session.vi();
    std::string buffer(4096 + 16, '#');
    EXPECT_EQ(QmDC_GetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_MODEL, -1, &buffer[0]),
              VI_SUCCESS);
    EXPECT_STREQ(buffer.c_str(), "Rack 30-70 QM");
    EXPECT_EQ(buffer.substr(4096), std::string(16, '#'));
    // Where the choice is the driver's, a negative size is refused.
    ViChar small[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(QmDC_GetChannelName(vi, 1, -1, small), QMDC_ERROR_INVALID_VALUE);
    EXPECT_EQ(std::string(small, sizeof small), "####");
}

// A refused GetError leaves the code where the caller had it.
TEST(Refusals, GetErrorWithoutItsBufferWritesNoCode) {
    Session session(kSimulatedResource, "Simulate=1", VI_FALSE);
    ASSERT_EQ(session.status(), VI_SUCCESS);
    const ViSession vi = session.vi();
    ASSERT_EQ(QmDC_Initiate(vi), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
    ASSERT_EQ(QmDC_ClearInterchangeWarnings(vi), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
    ViStatus code = 12345;
    EXPECT_EQ(QmDC_GetError(vi, &code, 16, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(code, 12345);
    EXPECT_GT(QmDC_GetError(vi, &code, 0, nullptr), 1);  // the size needed
    EXPECT_EQ(code, QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
}

}  // namespace
