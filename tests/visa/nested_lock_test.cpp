// Nested exclusive locks as the instrument sees them: a session that locks twice holds the
// instrument's lock until its second unlock, over VXI-11 and HiSLIP. Another client, written
// from the protocol (tests/emulator/lan_client), asks the emulator itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator_process.h"
#include "lan_client.h"
#include "test_support.h"

namespace {

using namespace qmdc::emu::test;
using qmdc::hislip::Type;

TEST(VisaNestedLocks, TheInstrumentIsLockedUntilTheLastUnlock) {
    const struct {
        const char* what;
        const char* option;
    } rows[] = {{"VXI-11", "--vxi11"}, {"HiSLIP", "--hislip"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        qmdc::testing::EmulatorProcess emulator({row.option});
        const std::string resource = emulator.resource();
        const bool vxi11 = std::string(row.option) == "--vxi11";
        // Whether the instrument keeps another client out now.
        std::unique_ptr<Vxi11Client> link;
        Device_Link lid = 0;
        std::unique_ptr<HislipSession> session;
        if (vxi11) {
            link = std::make_unique<Vxi11Client>(AddressOf(resource));
            ASSERT_EQ(link->CreateLink("inst0", &lid), 0);
        } else {
            session = std::make_unique<HislipSession>(
                static_cast<uint16_t>(std::stoi(resource.substr(resource.find(',') + 1))));
            ASSERT_TRUE(session->ok());
        }
        const auto keptOut = [&] {
            if (vxi11) return link->Lock(lid, 0, 0) == 11;
            session->SendAsync(Type::AsyncLock, 1, 0, "");
            const auto answer = session->ReadAsync();
            if (answer && answer->header.control == 1) {
                session->SendAsync(Type::AsyncLock, 0, 0);
                session->ReadAsync();
            }
            return answer && answer->header.control == 0;
        };
        const auto releaseProbe = [&] {
            if (!vxi11) return;
            EXPECT_EQ(link->Unlock(lid), 0);  // the probe's own lock, when it got one
        };
        visatest::ResourceManager rm;
        ViSession vi = VI_NULL;
        ASSERT_EQ(rm.open(resource, &vi), VI_SUCCESS);
        ASSERT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
        ASSERT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS_NESTED_EXCLUSIVE);
        EXPECT_TRUE(keptOut()) << "locked twice";
        EXPECT_EQ(viUnlock(vi), VI_SUCCESS_NESTED_EXCLUSIVE);
        EXPECT_TRUE(keptOut()) << "after the first of two unlocks";
        EXPECT_EQ(viUnlock(vi), VI_SUCCESS);
        EXPECT_FALSE(keptOut()) << "after the second";
        releaseProbe();
        EXPECT_EQ(viClose(vi), VI_SUCCESS);
    }
}

}  // namespace
