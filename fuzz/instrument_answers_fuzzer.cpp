// Instrument answers: a scripted instrument on a loopback port answers the
// driver's queries with the input, line by line, through init, the utility
// functions (error query, GetNextError, self test, revision query, reset),
// the class functions that read, and every attribute getter of the table. A getter that succeeds
// on an answer must have read a value from it: a number holds a digit, an
// enumerated value is one of its map, a Boolean is 0 or 1.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "QmDC.h"
#include "driver/attribute_table.h"
#include "kiln/attributes/enum_command_map.h"
#include "support/driver_checks.h"
#include "support/fuzz_check.h"
#include "support/guarded_text.h"
#include "support/scripted_instrument.h"

using namespace qmdc_fuzz;

namespace {

ScriptedInstrument* instrument = nullptr;

// The input's first two bytes choose the session and where the getters
// start; each following line is one answer.
struct Plan {
    bool idQuery, reset, queryStatus, cache;
    ViInt32 errorSize, textSize;
    size_t firstRow;
    std::vector<std::string> answers;
};

Plan ReadPlan(const uint8_t* data, size_t size) {
    static const ViInt32 kSizes[] = {256, 1, 0, -1};
    Plan plan{};
    const uint8_t flags = size > 0 ? data[0] : 0;
    plan.idQuery = flags & 1;
    plan.reset = flags & 2;
    plan.queryStatus = flags & 4;
    plan.cache = flags & 8;
    plan.errorSize = kSizes[(flags >> 4) & 3];
    plan.textSize = kSizes[(flags >> 6) & 3];
    plan.firstRow = size > 1 ? data[1] : 0;
    const char* text = reinterpret_cast<const char*>(data) + std::min<size_t>(size, 2);
    const char* end = reinterpret_cast<const char*>(data) + size;
    while (text < end) {
        const char* line = std::find(text, end, '\n');
        plan.answers.emplace_back(text, line);
        plan.answers.back() += '\n';
        text = line + (line < end ? 1 : 0);
    }
    return plan;
}

bool HasDigit(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The answer the instrument gave to a query ("CURR?\n") during the last call.
std::optional<std::string> AnswerTo(const std::map<std::string, std::string>& answers,
                                    const char* query) {
    if (query == nullptr) return std::nullopt;
    std::string line(query);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    const auto found = answers.find(line);
    if (found == answers.end()) return std::nullopt;
    return found->second;
}

void CheckRow(ViSession vi, const kiln::AttributeRow& row, ViInt32 textSize) {
    const char* channel = row.channel == kiln::ChannelRule::PerChannel ? "CH1" : "";
    instrument->TakeAnswers();
    ViStatus status = VI_SUCCESS;
    ViInt32 integer = 0;
    ViReal64 real = 0.0;
    ViBoolean boolean = 0;
    ViSession session = 0;
    switch (row.type) {
        case kiln::ValueType::Int32:
            status = QmDC_GetAttributeViInt32(vi, channel, row.id, &integer);
            break;
        case kiln::ValueType::Real64:
            status = QmDC_GetAttributeViReal64(vi, channel, row.id, &real);
            break;
        case kiln::ValueType::Boolean:
            status = QmDC_GetAttributeViBoolean(vi, channel, row.id, &boolean);
            if (status >= 0)
                FUZZ_CHECK(boolean == VI_TRUE || boolean == VI_FALSE, "%s read as %d", row.name,
                           boolean);
            break;
        case kiln::ValueType::Session:
            status = QmDC_GetAttributeViSession(vi, channel, row.id, &session);
            break;
        case kiln::ValueType::String:
            CheckStringAttribute(vi, channel, row.id, textSize);
            return;
    }
    if (status < 0 || row.behaviour.kind != kiln::BehaviourKind::Instrument) return;
    const std::optional<std::string> answer =
        AnswerTo(instrument->TakeAnswers(), row.behaviour.query);
    if (!answer) return;  // served from the cache
    if (row.behaviour.map != nullptr) {
        if (row.type != kiln::ValueType::Int32) return;
        const auto& entries = row.behaviour.map().Entries();
        FUZZ_CHECK(std::any_of(entries.begin(), entries.end(),
                               [&](const kiln::EnumCommandInfo& e) { return e.Value == integer; }),
                   "%s read %ld, none of its values, from \"%s\"", row.name,
                   static_cast<long>(integer), answer->c_str());
    } else if (row.type != kiln::ValueType::String) {
        FUZZ_CHECK(HasDigit(*answer), "%s succeeded on \"%s\", which holds no number", row.name,
                   answer->c_str());
    }
}

// A utility that reads a number and a text of 256 characters (error_query,
// self_test): on success the text is terminated and the answer held a number.
template <class Call>
void CheckNumberAndText(const char* what, const char* query, Call call) {
    GuardedText message(256);
    instrument->TakeAnswers();
    if (call(message.data()) >= 0) {
        message.CheckTerminated(what);
        const std::optional<std::string> answer = AnswerTo(instrument->TakeAnswers(), query);
        FUZZ_CHECK(!answer || HasDigit(*answer), "%s succeeded on \"%s\", which holds no number",
                   what, answer->c_str());
    }
    message.CheckGuards(what);
}

void CheckUtilities(ViSession vi, const Plan& plan) {
    ViInt32 code = 0;
    CheckNumberAndText("error_query", ":SYST:ERR?\n",
                       [&](ViChar* message) { return QmDC_error_query(vi, &code, message); });
    ViInt16 result = 0;
    CheckNumberAndText("self_test", "*TST?\n",
                       [&](ViChar* message) { return QmDC_self_test(vi, &result, message); });
    {
        GuardedText value(plan.errorSize < 0 ? 0 : static_cast<size_t>(plan.errorSize));
        if (QmDC_GetNextError(vi, plan.errorSize, value.data()) >= 0 && plan.errorSize > 0)
            value.CheckTerminated("GetNextError");
        value.CheckGuards("GetNextError");
    }
    {
        GuardedText driver(256), firmware(256);
        if (QmDC_revision_query(vi, driver.data(), firmware.data()) >= 0) {
            driver.CheckTerminated("revision_query driver");
            firmware.CheckTerminated("revision_query firmware");
        }
        driver.CheckGuards("revision_query driver");
        firmware.CheckGuards("revision_query firmware");
    }
    QmDC_reset(vi);
    CheckErrorText(vi, plan.textSize);
}

// The class functions that read the instrument or the ratings its identity
// gave: a measurement read a number, a state is a Boolean, a limit is a
// finite, non-negative number.
void CheckClassFunctions(ViSession vi) {
    const struct {
        ViInt32 type;
        const char* query;
    } kMeasurements[] = {{QMDC_VAL_MEASURE_VOLTAGE, "MEAS:VOLT?\n"},
                         {QMDC_VAL_MEASURE_CURRENT, "MEAS:CURR?\n"}};
    for (const auto& measurement : kMeasurements) {
        ViReal64 value = 0.0;
        instrument->TakeAnswers();
        if (QmDC_Measure(vi, "", measurement.type, &value) < 0) continue;
        const std::optional<std::string> answer =
            AnswerTo(instrument->TakeAnswers(), measurement.query);
        FUZZ_CHECK(!answer || HasDigit(*answer), "Measure succeeded on \"%s\"", answer->c_str());
    }
    for (ViInt32 state = QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE; state <= QMDC_VAL_OUTPUT_UNREGULATED;
         ++state) {
        ViBoolean inState = 7;
        if (QmDC_QueryOutputState(vi, "", state, &inState) >= 0)
            FUZZ_CHECK(inState == VI_TRUE || inState == VI_FALSE, "output state %ld read as %d",
                       static_cast<long>(state), inState);
    }
    ViReal64 limit = 0.0;
    if (QmDC_QueryMaxCurrentLimit(vi, "", 10.0, &limit) >= 0)
        FUZZ_CHECK(std::isfinite(limit) && limit >= 0.0, "the largest current limit is %g", limit);
    if (QmDC_QueryMaxVoltageLevel(vi, "", 1.0, &limit) >= 0)
        FUZZ_CHECK(std::isfinite(limit) && limit >= 0.0, "the largest voltage level is %g", limit);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    instrument = new ScriptedInstrument();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Plan plan = ReadPlan(data, size);
    instrument->SetScript(plan.answers);
    const std::string options = std::string("Cache=") + (plan.cache ? "1" : "0") +
                                ", QueryInstrStatus=" + (plan.queryStatus ? "1" : "0");
    std::string resource = instrument->Resource();
    ViSession vi = 0x5A5A;
    const ViStatus status =
        QmDC_InitWithOptions(resource.data(), plan.idQuery, plan.reset, options.c_str(), &vi);
    if (status < 0) {
        CheckFailedInit(status, vi, plan.reset);
        return 0;
    }
    CheckUtilities(vi, plan);
    CheckClassFunctions(vi);
    const auto& rows = qmdc::AttributeTable();
    for (size_t i = 0; i < rows.size(); ++i)
        CheckRow(vi, rows[(plan.firstRow + i) % rows.size()], plan.textSize);
    CheckClose(vi);
    return 0;
}
