// Handle validation, the last-error text and its buffer rules, and use from
// several threads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "iviconfig_test_support.h"

using namespace iviconfig_test;

namespace {

const char kStore[] = R"(<IviConfigStore>
  <SoftwareModules><IviSoftwareModule id="m"><Name>QmDC</Name>
    <PhysicalNames><IviPhysicalName><Name>CH1</Name></IviPhysicalName></PhysicalNames>
  </IviSoftwareModule></SoftwareModules>
  <DriverSessions><IviDriverSession id="s"><Name>sess</Name><IviSoftwareModuleRef idref="m"/>
    <DriverSetup>Model=Rack 30-70 QM</DriverSetup></IviDriverSession></DriverSessions>
</IviConfigStore>)";

class Handles : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.Write("store.xml", kStore);
        ASSERT_EQ(IviConfig_Deserialize(store_, path_.c_str()), VI_SUCCESS) << LastError();
    }
    TempDir dir_;
    std::string path_;
    StoreHandle store_;
};

TEST_F(Handles, AllHandlesDieWithTheirStore) {
    IviConfigHandle session = Get(IviConfig_GetDriverSession, store_.handle, "sess");
    IviConfigHandle module = Get(IviConfig_GetSessionSoftwareModuleReference, session);
    IviConfigHandle names = Get(IviConfig_GetSoftwareModulePhysicalNameCollection, module);
    IviConfigHandle name = Get(IviConfig_GetPhysicalNameItemByIndex, names, 1);
    ASSERT_EQ(IviConfig_Close(store_), VI_SUCCESS);

    char text[64];
    ViInt32 count;
    EXPECT_EQ(IviConfig_GetDriverSessionPropertyViString(session, 1, sizeof text, text),
              IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_EQ(IviConfig_GetPhysicalNameCount(names, &count), IVICONFIG_ERROR_INVALID_HANDLE);
    for (IviConfigHandle h : {session, module, names, name})
        EXPECT_EQ(IviConfig_DisposeHandle(h), IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_EQ(IviConfig_Close(store_), IVICONFIG_ERROR_INVALID_HANDLE);
    store_.handle = nullptr;
}

TEST_F(Handles, DisposedAndMadeUpHandlesAreRefused) {
    IviConfigHandle session = Get(IviConfig_GetDriverSession, store_.handle, "sess");
    ASSERT_EQ(IviConfig_DisposeHandle(session), VI_SUCCESS);
    EXPECT_EQ(IviConfig_DisposeHandle(session), IVICONFIG_ERROR_INVALID_HANDLE);
    IviConfigHandle again = Get(IviConfig_GetDriverSession, store_.handle, "sess");
    EXPECT_NE(again, session) << "handles are never reused";

    int local = 0;
    char text[64];
    for (IviConfigHandle garbage : {static_cast<void*>(nullptr), static_cast<void*>(&local),
                                    reinterpret_cast<void*>(1), session}) {
        EXPECT_EQ(IviConfig_GetDriverSessionPropertyViString(garbage, 1, sizeof text, text),
                  IVICONFIG_ERROR_INVALID_HANDLE);
        EXPECT_EQ(IviConfig_Close(garbage), IVICONFIG_ERROR_INVALID_HANDLE);
    }
}

TEST_F(Handles, HandleOfAnotherKindIsRefused) {
    IviConfigHandle session = Get(IviConfig_GetDriverSession, store_.handle, "sess");
    IviConfigHandle modules = Get(IviConfig_GetConfigStoreSoftwareModuleCollection, store_.handle);
    char text[64];
    ViInt32 count;
    EXPECT_EQ(IviConfig_GetSoftwareModulePropertyViString(session, 1, sizeof text, text),
              IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_NE(LastError().find("IviDriverSession"), std::string::npos) << LastError();
    EXPECT_EQ(IviConfig_GetDriverSessionCount(modules, &count), IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_EQ(IviConfig_GetVirtualNameCount(store_, &count), IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_EQ(IviConfig_Close(session), IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_EQ(IviConfig_DisposeHandle(modules), VI_SUCCESS);
}

TEST_F(Handles, NullPointersAreRefused) {
    EXPECT_EQ(IviConfig_Initialize(nullptr), IVICONFIG_ERROR_NULL_POINTER);
    EXPECT_EQ(IviConfig_GetDriverSession(store_, "sess", nullptr), IVICONFIG_ERROR_NULL_POINTER);
    IviConfigHandle out;
    EXPECT_EQ(IviConfig_GetDriverSession(store_, nullptr, &out), IVICONFIG_ERROR_NULL_POINTER);
    EXPECT_EQ(IviConfig_GetConfigStorePropertyViString(store_, 1, 10, nullptr),
              IVICONFIG_ERROR_NULL_POINTER);
    EXPECT_EQ(IviConfig_Deserialize(store_, nullptr), IVICONFIG_ERROR_NULL_POINTER);
}

TEST_F(Handles, DisposingTheStoreHandleClosesIt) {
    IviConfigHandle session = Get(IviConfig_GetDriverSession, store_.handle, "sess");
    EXPECT_EQ(IviConfig_DisposeHandle(store_), VI_SUCCESS);
    EXPECT_EQ(IviConfig_DisposeHandle(session), IVICONFIG_ERROR_INVALID_HANDLE);
    EXPECT_EQ(IviConfig_Close(store_), IVICONFIG_ERROR_INVALID_HANDLE);
    store_.handle = nullptr;
}

TEST_F(Handles, LongTextIsTruncatedAndTheSizeNeededReturned) {
    IviConfigHandle session = Get(IviConfig_GetDriverSession, store_.handle, "sess");
    const std::string setup = "Model=Rack 30-70 QM";
    const ViStatus needed = static_cast<ViStatus>(setup.size() + 1);
    EXPECT_EQ(IviConfig_GetDriverSessionPropertyViString(session, 10, 0, nullptr), needed);
    char text[8];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(IviConfig_GetDriverSessionPropertyViString(session, 10, sizeof text, text), needed);
    EXPECT_STREQ(text, "Model=R");
}

TEST(Errors, GetErrorBufferRules) {
    IviConfig_ClearError();
    EXPECT_EQ(IviConfig_GetError(0, nullptr), 1) << "empty text: only the terminator";
    EXPECT_EQ(IviConfig_Close(nullptr), IVICONFIG_ERROR_INVALID_HANDLE);
    const std::string full = LastError();
    ASSERT_FALSE(full.empty());
    const ViStatus needed = static_cast<ViStatus>(full.size() + 1);

    EXPECT_EQ(IviConfig_GetError(0, nullptr), needed);
    EXPECT_EQ(IviConfig_GetError(-5, nullptr), needed);
    char small[6];
    EXPECT_EQ(IviConfig_GetError(sizeof small, small), needed);
    EXPECT_EQ(std::string(small), full.substr(0, 5));
    std::vector<char> exact(full.size() + 1, 'x');
    EXPECT_EQ(IviConfig_GetError(needed, exact.data()), VI_SUCCESS);
    EXPECT_EQ(std::string(exact.data()), full);

    // Successful calls leave the text alone; ClearError empties it.
    StoreHandle store;
    EXPECT_EQ(IviConfig_SetConfigStorePropertyViString(store, 5, "/x"), VI_SUCCESS);
    EXPECT_EQ(LastError(), full);
    EXPECT_EQ(IviConfig_ClearError(), VI_SUCCESS);
    EXPECT_EQ(LastError(), "");
}

TEST(Errors, SerializeIsNotSupported) {
    StoreHandle store;
    EXPECT_EQ(IviConfig_Serialize(store, "/tmp/out.xml"), IVICONFIG_ERROR_NOT_SUPPORTED);
    EXPECT_NE(LastError().find("Serialize"), std::string::npos);
}

TEST(Threads, ErrorsArePerThreadAndStoresIndependent) {
    TempDir dir;
    const std::string path = dir.Write("store.xml", kStore);
    IviConfig_ClearError();
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            EXPECT_EQ(LastError(), "");
            for (int i = 0; i < 25; ++i) {
                StoreHandle store;
                IviConfigHandle session = nullptr;
                if (IviConfig_Deserialize(store, path.c_str()) == VI_SUCCESS &&
                    IviConfig_GetDriverSession(store, "sess", &session) == VI_SUCCESS &&
                    Text(IviConfig_GetDriverSessionPropertyViString, session, 1) == "sess")
                    ++good[t];
                EXPECT_EQ(IviConfig_GetDriverSession(store, "none", &session),
                          IVICONFIG_ERROR_SESSION_NOT_FOUND);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(good, std::vector<int>(4, 25));
    EXPECT_EQ(LastError(), "") << "the workers' failures stay in their threads";
}

}  // namespace
