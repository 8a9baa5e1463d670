// Channel selectors and enumerated answers on a simulated session opened by
// logical name (virtual names "Out", "Main", "Rng"). Each input is both:
//   - a selector, resolved with and without validation, through the shortcut
//     and through the full resolution, which must agree; a failure leaves no
//     channels, and a validated success names the physical channel, and
//     nothing else, at least once;
//   - an instrument answer, converted by every map of the driver: a failure
//     gives -1, a success a value whose entry accepts the answer.
#include <algorithm>
#include <string>

#include "QmDC.h"
#include "driver/enum_maps.h"
#include "kiln/repcap/resolve_selector.h"
#include "kiln/session/call_frame.h"
#include "support/driver_checks.h"
#include "support/fuzz_check.h"
#include "support/store_file.h"

using namespace qmdc_fuzz;

namespace {

ViSession vi = VI_NULL;
kiln::DriverSession* session = nullptr;

void CheckSelector(const char* selector, bool validate) {
    kiln::ChannelList shortcut{{"x", "y"}}, full{{"x", "y"}};
    const ViStatus status = kiln::ResolveSelector(session, selector, shortcut, validate);
    const ViStatus fullStatus = kiln::ResolveSelectorFully(session, selector, full, validate);
    FUZZ_CHECK(status == fullStatus, "\"%s\": the shortcut gave %ld, the full resolution %ld",
               selector, static_cast<long>(status), static_cast<long>(fullStatus));
    FUZZ_CHECK(shortcut == full, "\"%s\": the shortcut and the full resolution differ", selector);
    if (status < 0) {
        FUZZ_CHECK(full.empty(), "\"%s\" failed with %ld but left channels", selector,
                   static_cast<long>(status));
        CheckErrorText(vi, 1024);
        return;
    }
    if (!validate) {
        FUZZ_CHECK(full.size() <= kiln::kMaxSelectorNames, "\"%s\" gave %zu names", selector,
                   full.size());
        return;
    }
    FUZZ_CHECK(!full.empty(), "\"%s\" succeeded naming no channel", selector);
    for (const kiln::ChannelRef& channel : full)
        FUZZ_CHECK(channel.name == "CH1" || channel.name.empty(), "\"%s\" named \"%s\"", selector,
                   channel.name.c_str());
}

using MapSource = const kiln::EnumCommandMap& (*)();
const MapSource kMaps[] = {qmdc::AnalogOutputModeMap,  qmdc::AnalogScalingLevelMap,
                           qmdc::BooleanMap,           qmdc::ControlSourceMap,
                           qmdc::RemoteSenseStatusMap, qmdc::CurrentLimitBehaviorMap,
                           qmdc::MeasurementTypeMap,   qmdc::OutputStateMap};

void CheckAnswer(const std::string& answer) {
    for (MapSource source : kMaps) {
        const kiln::EnumCommandMap& map = source();
        ViInt32 value = 12345;
        const ViStatus status = kiln::ResponseToValue(*session, map, answer, value);
        if (status < 0) {
            FUZZ_CHECK(value == -1, "a refused answer left %ld", static_cast<long>(value));
            continue;
        }
        const auto& entries = map.Entries();
        FUZZ_CHECK(std::any_of(entries.begin(), entries.end(),
                               [&](const kiln::EnumCommandInfo& entry) {
                                   return entry.Value == value &&
                                          std::any_of(entry.Commands.begin(), entry.Commands.end(),
                                                      [&](const std::string& command) {
                                                          return kiln::TokenMatches(command,
                                                                                    answer);
                                                      });
                               }),
                   "\"%s\" gave %ld, whose entry does not accept it", answer.c_str(),
                   static_cast<long>(value));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteStoreFile(ExampleStore());
    char name[] = "PSU";
    const ViStatus status = QmDC_InitWithOptions(name, VI_FALSE, VI_FALSE, "Simulate=1", &vi);
    FUZZ_CHECK(status >= 0, "the simulated session did not open (%ld)", static_cast<long>(status));
    session = kiln::FindSession(vi);
    FUZZ_CHECK(session != nullptr, "no session behind the handle");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSelector(text.c_str(), true);
    CheckSelector(text.c_str(), false);
    CheckAnswer(text);
    return 0;
}
