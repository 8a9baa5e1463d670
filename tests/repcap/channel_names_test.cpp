// The channel names as the caller sees them, and the life of a session's
// table of physical names.
#include <gtest/gtest.h>

#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "guarded_buffer.h"
#include "kiln/repcap/physical_names.h"

using qmdc_test::ErrorDescription;

namespace {

struct NameCase {
    ViInt32 index;
    ViInt32 size;
    bool nullName;
    ViStatus status;
    const char* text;  // the buffer afterwards (nullptr: untouched)
    const char* description;
};

TEST(ChannelNames, GetChannelName) {
    auto session = qmdc_test::Simulated();
    const NameCase cases[] = {
        {1, 16, false, VI_SUCCESS, "CH1", ""},
        {1, 4, false, VI_SUCCESS, "CH1", ""},
        {1, 3, false, VI_SUCCESS, "CH", ""},  // cut, and still success
        {1, 1, false, VI_SUCCESS, "", ""},
        {1, 0, false, 4, nullptr, ""},  // the size the name needs
        {1, -1, false, QMDC_ERROR_INVALID_VALUE, nullptr,
         "Invalid value '-1' for function 'GetOutputChannelName', parameter 'BufferSize'."},
        {0, 16, false, QMDC_ERROR_INVALID_VALUE, nullptr,
         "Invalid value '0' for function 'GetOutputChannelName', parameter 'Index'."},
        {2, 16, false, QMDC_ERROR_INVALID_VALUE, nullptr,
         "Invalid value '2' for function 'GetOutputChannelName', parameter 'Index'."},
        {-5, 16, false, QMDC_ERROR_INVALID_VALUE, nullptr,
         "Invalid value '-5' for function 'GetOutputChannelName', parameter 'Index'."},
        {1, 16, true, QMDC_ERROR_NULL_POINTER, nullptr,
         "Null pointer passed for function 'QmDC_GetChannelName', parameter 'Name'."},
        {1, 0, true, QMDC_ERROR_NULL_POINTER, nullptr,
         "Null pointer passed for function 'QmDC_GetChannelName', parameter 'Name'."},
    };
    for (const NameCase& c : cases) {
        // As large as the size says; a negative size describes no buffer.
        qmdc_test::GuardedText buffer(c.size < 0 ? 0 : static_cast<size_t>(c.size));
        const ViStatus status = QmDC_GetChannelName(session->vi(), c.index, c.size,
                                                    c.nullName ? nullptr : buffer.data());
        const std::string label = std::to_string(c.index) + "/" + std::to_string(c.size);
        EXPECT_EQ(status, c.status) << label;
        EXPECT_EQ(buffer.Mismatch(c.text), "") << label;
        if (status < 0) {
            EXPECT_EQ(ErrorDescription(session->vi()), c.description) << label;
        }
    }
    char buffer[8];
    EXPECT_EQ(QmDC_GetChannelName(0x4242, 1, sizeof buffer, buffer),
              QMDC_ERROR_INVALID_SESSION_HANDLE);
}

TEST(ChannelNames, EachSessionHasItsTableUntilItCloses) {
    const size_t before = kiln::PhysicalNameTableCount();
    ViSession vi = VI_NULL;
    ASSERT_EQ(QmDC_InitWithOptions(const_cast<ViChar*>("TCPIP0::sim::1::SOCKET"), VI_FALSE,
                                   VI_FALSE, "Simulate=1", &vi),
              VI_SUCCESS);
    EXPECT_EQ(kiln::PhysicalNameTableCount(), before);  // made on first need
    ViInt32 count = 0;
    EXPECT_EQ(QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_CHANNEL_COUNT, &count), VI_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(kiln::PhysicalNameTableCount(), before + 1);
    EXPECT_EQ(QmDC_close(vi), VI_SUCCESS);
    EXPECT_EQ(kiln::PhysicalNameTableCount(), before);
}

}  // namespace
