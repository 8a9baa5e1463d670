// Configuration stores of N driver sessions (N = 25 ... 400), generated here:
// each session has a hardware asset, one virtual name, the six options and a
// logical name. Timed per N:
//  - init + close of a simulated session by the last logical name, with the
//    parsed store kept from the previous init (the file unchanged);
//  - the same while the file is fresh, so each init reads it again and
//    compares it with the store kept;
//  - loading the file into a new store handle with nothing kept (the parse).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "IviConfigServer.h"
#include "QmDC.h"
#include "latency.h"

namespace {

constexpr int kBatch = 10;
// More copies of one store than the server keeps parsed, so that each load
// of a copy in turn parses it.
constexpr int kCopies = 12;
// After this long a file's times vouch for it and it is not read again.
constexpr auto kSettle = std::chrono::milliseconds(3200);

std::string SessionXml(int i) {
    const std::string n = std::to_string(i);
    return "    <IviDriverSession id=\"s" + n + "\"><Name>Session" + n +
           "</Name>\n"
           "      <IviHardwareAsset idref=\"h" +
           n +
           "\"/><IviSoftwareModuleRef idref=\"m\"/>\n"
           "      <VirtualNames><IviVirtualName><Name>Out</Name><MapTo>CH1</MapTo>"
           "</IviVirtualName></VirtualNames>\n"
           "      <Cache>true</Cache><InterchangeCheck>false</InterchangeCheck>"
           "<QueryInstrStatus>false</QueryInstrStatus>\n"
           "      <RangeCheck>true</RangeCheck><RecordCoercions>false</RecordCoercions>"
           "<Simulate>true</Simulate>\n"
           "      <DriverSetup>Model:Rack 30-70 QM</DriverSetup>\n"
           "    </IviDriverSession>\n";
}

std::string StoreXml(int sessions) {
    std::string assets, drivers, logical;
    for (int i = 0; i < sessions; ++i) {
        const std::string n = std::to_string(i);
        assets += "    <IviHardwareAsset id=\"h" + n + "\"><Name>Asset" + n +
                  "</Name><IOResourceDescriptor>TCPIP0::10.0.0." + std::to_string(i % 250) +
                  "::5025::SOCKET</IOResourceDescriptor></IviHardwareAsset>\n";
        drivers += SessionXml(i);
        logical += "    <IviLogicalName><Name>PSU" + n + "</Name><IviDriverSession idref=\"s" + n +
                   "\"/></IviLogicalName>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IviConfigStore>\n"
           "  <Name>IVI Configuration Server</Name>\n"
           "  <SoftwareModules>\n    <IviSoftwareModule id=\"m\"><Name>QmDC</Name>"
           "<Prefix>QmDC</Prefix></IviSoftwareModule>\n  </SoftwareModules>\n"
           "  <HardwareAssets>\n" +
           assets + "  </HardwareAssets>\n  <DriverSessions>\n" + drivers +
           "  </DriverSessions>\n  <LogicalNames>\n" + logical +
           "  </LogicalNames>\n</IviConfigStore>\n";
}

constexpr int kSizes[] = {25, 50, 100, 200, 400};
// Copy numbers: the settled store, the fresh one, then those loaded in turn.
constexpr int kSettled = 0;
constexpr int kFresh = 1;
constexpr int kFirstUncached = 2;

// The generated files, in a folder removed at exit.
class StoreFiles {
  public:
    static StoreFiles& instance() {
        static StoreFiles files;
        return files;
    }

    // Copy `copy` of the store of `sessions` sessions, written on first use.
    const std::string& Path(int sessions, int copy) {
        std::string& path = paths_[{sessions, copy}];
        if (path.empty()) {
            path =
                dir_ + "/store-" + std::to_string(sessions) + "-" + std::to_string(copy) + ".xml";
            Write(path, sessions);
        }
        return path;
    }

    // Rewrites a copy, so that its times are fresh again.
    void Touch(int sessions, int copy) { Write(Path(sessions, copy), sessions); }

    // Writes the settled stores of every size once, and waits until their
    // times vouch for them.
    void Settle() {
        if (settled_) return;
        for (int sessions : kSizes) Path(sessions, kSettled);
        std::this_thread::sleep_for(kSettle);
        settled_ = true;
    }

    ~StoreFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

  private:
    StoreFiles() {
        char pattern[] = "/tmp/qmdc-store-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) dir_ = pattern;
    }

    static void Write(const std::string& path, int sessions) {
        std::ofstream(path) << StoreXml(sessions);
    }

    std::string dir_;
    std::map<std::pair<int, int>, std::string> paths_;
    bool settled_ = false;
};

bool InitClose(const std::string& logicalName) {
    ViSession vi = VI_NULL;
    if (QmDC_InitWithOptions(const_cast<ViChar*>(logicalName.c_str()), VI_FALSE, VI_FALSE, "",
                             &vi) < 0) {
        return false;
    }
    return QmDC_close(vi) >= 0;
}

// Init + close by the last logical name of the store in copy `copy`.
void TimeInitClose(benchmark::State& state, int copy) {
    const int sessions = static_cast<int>(state.range(0));
    setenv("IVICONFIGSERVERDEFAULT", StoreFiles::instance().Path(sessions, copy).c_str(), 1);
    const std::string name = "PSU" + std::to_string(sessions - 1);
    qmdc_bench::MedianPerCall(state, kBatch, [&] { return InitClose(name); });
}

void BM_InitCloseByLogicalName(benchmark::State& state) {
    StoreFiles::instance().Settle();
    TimeInitClose(state, kSettled);
}

void BM_InitCloseByLogicalNameFreshFile(benchmark::State& state) {
    StoreFiles::instance().Touch(static_cast<int>(state.range(0)), kFresh);
    TimeInitClose(state, kFresh);
}

void BM_LoadStoreUncached(benchmark::State& state) {
    const int sessions = static_cast<int>(state.range(0));
    int copy = 0;
    qmdc_bench::MedianPerCall(state, 1, [&] {
        const std::string& path = StoreFiles::instance().Path(sessions, kFirstUncached + copy);
        copy = (copy + 1) % kCopies;
        IviConfigStoreHandle store = nullptr;
        const bool ok = IviConfig_Initialize(&store) == VI_SUCCESS &&
                        IviConfig_Deserialize(store, path.c_str()) == VI_SUCCESS;
        if (store != nullptr) IviConfig_Close(store);
        return ok;
    });
}

void Sizes(benchmark::internal::Benchmark* bench) {
    for (int sessions : kSizes) bench->Arg(sessions);
}

}  // namespace

BENCHMARK(BM_InitCloseByLogicalName)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InitCloseByLogicalNameFreshFile)
    ->Apply(Sizes)
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.3);
BENCHMARK(BM_LoadStoreUncached)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
