// Selectors to physical channels: every accepted and refused form with its
// status and text, virtual names and ranges from a configuration store, the
// combination of levels against the design's recursive description, and the
// shortcut for common selectors against the full resolution.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>

#include "QmDC.h"
#include "driver_test_support.h"
#include "kiln/attributes/split_list.h"
#include "kiln/repcap/resolve_selector.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"
#include "small_stack.h"
#include "store_xml.h"
#include "temp_store.h"

using qmdc_test::ErrorDescription;
using qmdc_test::Session;

namespace {

const std::string kStore =
    qmdc_test::StoreXml("PSU", "PsuSession",
                        qmdc_test::VirtualNames({{"Main", "CH1"},
                                                 {"Qualified", "OutputChannel!!CH1"},
                                                 {"ch1", "CH1"},
                                                 {"Pair", "CH1,CH2"},
                                                 {"Nothing", ""},
                                                 {"Deep", "CH1:CH1"},
                                                 {"Out", "CH", {{1, 3, 0}}}}) +
                            R"(
<Cache>true</Cache><InterchangeCheck>false</InterchangeCheck>
<QueryInstrStatus>false</QueryInstrStatus><RangeCheck>true</RangeCheck>
<RecordCoercions>false</RecordCoercions><Simulate>true</Simulate>
<DriverSetup></DriverSetup>)");

// A simulated session opened on a logical name with the virtual names above.
class StoreSession : public ::testing::Test {
  protected:
    void SetUp() override {
        session_ = std::make_unique<Session>("PSU");
        ASSERT_EQ(session_->status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    }
    ViSession vi() const { return session_->vi(); }
    kiln::DriverSession& session() const { return *kiln::FindSession(vi()); }

    qmdc_test::TempStoreFile store_{kStore};
    std::unique_ptr<Session> session_;
};

const char* const kBadlyFormed = "The repeated capability selector is badly-formed.";
const char* const kNamesNothing =
    "The repeated capability selector is badly-formed.  The selector names no channel.";
const char* const kLevels =
    "The number of levels in the selector is not valid for the 'OutputChannel' repeated "
    "capability.";

const char* const kOverlap = "An identifier in the range overlaps with another range.";

std::string Unknown(const std::string& name) {
    return "Unknown physical repeated capability selector.  The identifier '" + name +
           "' is not defined for repeated capability 'OutputChannel'.";
}

std::string BadRange(const std::string& item, const std::string& why) {
    return "The range '" + item + "' is not valid for the repeated capability 'OutputChannel'.  " +
           why;
}

struct SelectorCase {
    const char* selector;
    ViStatus status;
    std::string description;  // for failures
};

// The only test that sees the range bounds (a start not below its end, an
// index too large) and the overlap codes (0xBFFA0064 where a range meets
// another item, 0xBFFA0066 for a name given twice): keep every row.
TEST_F(StoreSession, EverySelectorFormResolvesOrFailsWithItsText) {
    const std::string range = "The start index must be less than the end index.";
    const SelectorCase cases[] = {
        {nullptr, VI_SUCCESS, ""},
        {"", VI_SUCCESS, ""},
        {"   ", VI_SUCCESS, ""},
        {"\t\r\n", VI_SUCCESS, ""},
        {"\v\f", VI_SUCCESS, ""},
        {"CH1", VI_SUCCESS, ""},
        {" CH1 ", VI_SUCCESS, ""},
        {"[CH1]", VI_SUCCESS, ""},
        {"OutputChannel!!CH1", VI_SUCCESS, ""},
        {"Main", VI_SUCCESS, ""},
        {"MAIN", VI_SUCCESS, ""},  // virtual names ignore case
        {"Qualified", VI_SUCCESS, ""},
        {"ch1", VI_SUCCESS, ""},  // a virtual name here
        {"Out2", VI_SUCCESS, ""},
        {"[Main]", VI_SUCCESS, ""},
        {"Out1", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH0")},
        {"Out", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("Out")},
        {"Pair", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"Nothing", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"Deep", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels},
        {"CH2", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"\vCH1", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("\vCH1")},
        {"CH1,CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"Main,CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"CH1,CH1-CH2", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR, BadRange("CH1-CH2", kOverlap)},
        {"CH1-CH2,CH2", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR, BadRange("CH2", kOverlap)},
        {"CH1-CH1", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR, BadRange("CH1-CH1", range)},
        {"CH3-CH1", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR, BadRange("CH3-CH1", range)},
        {"CH1-DC2", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH1-DC2", "The base names do not match.")},
        {"CH1-CH2", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"CH1-ch2", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"ch01-ch03", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("ch1")},
        {"CH1:CH1", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels},
        {"[CH1]:CH1", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels},
        {"x,b:c", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("x")},
        {"CH 1", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"CH1;", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"CH1-", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"-CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"CH1,,CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"[CH1] ", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed},
        {"[CH1", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH")},
        {"CH1]", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH1]")},
        {"CH1-CH99999999999", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH1-CH99999999999", "The index '99999999999' does not fit in 32 bits.")},
        {"CH2147483647-CH2147483648", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH2147483647-CH2147483648", "The index '2147483648' does not fit in 32 bits.")},
        // However many names a range or list has, the first that is not a
        // channel is the answer.
        {"CH1-CH20000", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"CH1-CH2147483647", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"CH1-CH2147483647,CH7", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR, BadRange("CH7", kOverlap)},
        {"CH7,CH1-CH2147483647", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH1-CH2147483647", kOverlap)},
        {"CH5-CH9,CH1-CH2147483647", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH1-CH2147483647", kOverlap)},
        {"CH1-CH4,CH5-CH2147483647,CH07", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        {"CH1-CH2147483647,DC1", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")},
        // A bracket that loses its only name leaves a level with none.
        {"[A:CH1", VI_SUCCESS, ""},
        {"CH1:[A:CH1", VI_SUCCESS, ""},
        {"[A", QMDC_ERROR_BADLY_FORMED_SELECTOR, kNamesNothing},
    };
    for (const SelectorCase& c : cases) {
        const std::string label = c.selector ? "'" + std::string(c.selector) + "'" : "null";
        QmDC_ClearError(vi());
        kiln::ChannelList channels = {kiln::MakeChannelRef("stale")};
        EXPECT_EQ(kiln::ResolveSelector(&session(), c.selector, channels, true), c.status) << label;
        if (c.status == VI_SUCCESS) {
            ASSERT_EQ(channels.size(), 1u) << label;
            EXPECT_EQ(channels[0].name, "CH1") << label;
            EXPECT_EQ(channels[0].qualifiedName, "OutputChannel!!CH1") << label;
        } else {
            EXPECT_TRUE(channels.empty()) << label;
            EXPECT_EQ(ErrorDescription(vi()), c.description) << label;
        }
    }
}

TEST_F(StoreSession, WithoutTheVirtualNamePhysicalNamesAreCaseSensitive) {
    auto plain = qmdc_test::Simulated();
    kiln::ChannelList channels;
    EXPECT_EQ(kiln::ResolveSelector(kiln::FindSession(plain->vi()), "ch1", channels, true),
              QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER);
    EXPECT_EQ(ErrorDescription(plain->vi()), Unknown("ch1"));
}

// A table of more names, for what one physical name cannot show.
TEST_F(StoreSession, MoreThanOnePhysicalName) {
    kiln::DriverSession& s = session();
    s.PhysicalNameTableReference() = std::make_shared<const kiln::ChannelList>(kiln::ChannelList{
        kiln::MakeChannelRef("CH1"), kiln::MakeChannelRef("CH2"), kiln::MakeChannelRef("CH3")});
    kiln::ChannelList channels;
    EXPECT_EQ(kiln::ResolveSelector(&s, "", channels, true), QMDC_ERROR_CHANNEL_NAME_REQUIRED);
    EXPECT_EQ(ErrorDescription(vi()),
              "A channel name is required.  No selector was specified for repeated capability "
              "'OutputChannel'.  The repeated capability identifier can be null or empty only "
              "when there is exactly one physical name defined.  Repeated capability "
              "'OutputChannel' has 3 physical names defined.");
    auto names = [&](const char* selector) {
        std::vector<std::string> resolved;
        EXPECT_EQ(kiln::ResolveSelector(&s, selector, channels, true), VI_SUCCESS) << selector;
        for (const auto& channel : channels) resolved.push_back(channel.name);
        return resolved;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(names("CH3, CH1"), (V{"CH3", "CH1"}));
    EXPECT_EQ(names("Pair"), (V{"CH1", "CH2"}));  // a list, bracketed into a level of its own
    EXPECT_EQ(names("CH1-CH3"), (V{"CH1", "CH2", "CH3"}));
    EXPECT_EQ(names("Out2-Out3"), (V{"CH1", "CH2"}));  // each name of the range is mapped
    EXPECT_EQ(kiln::ResolveSelector(&s, "CH3, Pair", channels, true),
              QMDC_ERROR_BADLY_FORMED_SELECTOR);  // a bracket inside a level

    kiln::ChannelRef one;
    EXPECT_EQ(kiln::ResolveSingleChannel(s, "CH2", one), VI_SUCCESS);
    EXPECT_EQ(one.name, "CH2");
    EXPECT_EQ(kiln::ResolveSingleChannel(s, "CH1,CH2", one), QMDC_ERROR_BADLY_FORMED_SELECTOR);
    EXPECT_EQ(ErrorDescription(vi()),
              "The repeated capability selector is badly-formed.  Only a single repeated "
              "capability identifier can be specified for the current operation.");

    s.PhysicalNameTableReference() = std::make_shared<const kiln::ChannelList>();
    EXPECT_EQ(kiln::ResolveSelector(&s, " ", channels, true), QMDC_ERROR_CHANNEL_NAME_REQUIRED);
}

// The resolution written out as its steps describe it, recursively and with
// every name spelled out, for small selectors without virtual names: the
// levels (a bracket's first and last characters dropped, so "[A" is a level
// with no items), each item's identifiers (a range written out), no
// identifier twice in a level, the names the levels combine into, and their
// check one by one. It shares nothing with the resolver but SplitList.
struct Outcome {
    ViStatus status = VI_SUCCESS;
    std::vector<std::string> names;  // on success
    std::string description;         // on failure
};

struct ReferenceItem {
    std::string text;
    bool isRange = false;
    std::vector<std::string> identifiers;
};

struct ReferenceLevel {
    bool bracketed = false;
    std::vector<ReferenceItem> items;
};

Outcome Failure(ViStatus status, const std::string& description) {
    return {status, {}, description};
}

std::optional<Outcome> ReferenceItems(const std::string& text,
                                      std::vector<ReferenceLevel>& levels) {
    static const std::regex range("^\\s*([a-z_!]+)([0-9]+)\\s*-\\s*\\1([0-9]+)$",
                                  std::regex::ECMAScript | std::regex::icase);
    for (std::string levelText : kiln::SplitList(text, ':', true)) {
        ReferenceLevel level;
        level.bracketed = !levelText.empty() && levelText[0] == '[';
        if (level.bracketed) levelText = levelText.substr(1, levelText.size() - 2);
        for (const std::string& itemText : kiln::SplitList(levelText, ',', true)) {
            ReferenceItem item{itemText, itemText.find('-') != std::string::npos, {}};
            std::smatch parts;
            if (!item.isRange) {
                item.identifiers = {itemText};
            } else if (!std::regex_match(itemText, parts, range)) {
                return Failure(QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
                               BadRange(itemText, "The base names do not match."));
            } else if (std::stol(parts[2]) >= std::stol(parts[3])) {
                return Failure(
                    QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
                    BadRange(itemText, "The start index must be less than the end index."));
            } else {
                for (long i = std::stol(parts[2]); i <= std::stol(parts[3]); ++i) {
                    item.identifiers.push_back(parts[1].str() + std::to_string(i));
                }
            }
            for (const ReferenceItem& earlier : level.items) {
                for (const std::string& x : item.identifiers) {
                    for (const std::string& y : earlier.identifiers) {
                        if (x != y) continue;
                        if (item.isRange || earlier.isRange) {
                            return Failure(QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
                                           BadRange(itemText, kOverlap));
                        }
                        return Failure(QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed);
                    }
                }
            }
            level.items.push_back(item);
        }
        levels.push_back(level);
    }
    return std::nullopt;
}

Outcome ReferenceResolve(const std::string& text, const std::set<std::string>& physical) {
    std::vector<ReferenceLevel> levels;
    if (auto failure = ReferenceItems(text, levels)) return *failure;
    std::set<std::pair<size_t, size_t>> consumed;
    std::function<std::vector<std::string>(size_t, size_t)> combine;
    // What level j offers the level before: every item when bracketed, else
    // its first item; a level with no items offers nothing.
    std::function<std::vector<std::string>(size_t)> next = [&](size_t j) {
        std::vector<std::string> out;
        const size_t count = levels[j].bracketed ? levels[j].items.size()
                                                 : std::min<size_t>(1, levels[j].items.size());
        for (size_t i = 0; i < count; ++i) {
            consumed.insert({j, i});
            for (const auto& name : combine(j, i)) out.push_back(name);
        }
        return out;
    };
    combine = [&](size_t k, size_t i) -> std::vector<std::string> {
        const auto& level = levels[k];
        const auto& identifiers = level.items[i].identifiers;
        if (k + 1 == levels.size() || (!level.bracketed && i + 1 != level.items.size())) {
            return identifiers;
        }
        std::vector<std::string> out;
        for (const auto& x : identifiers) {
            for (const auto& y : next(k + 1)) out.push_back(x + ":" + y);
        }
        return out;
    };
    Outcome outcome;
    for (size_t k = 0; k < levels.size(); ++k) {
        for (size_t i = 0; i < levels[k].items.size(); ++i) {
            if (consumed.count({k, i})) continue;
            for (const auto& name : combine(k, i)) {
                if (name.find(':') != std::string::npos) {
                    return Failure(QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels);
                }
                if (physical.count(name) == 0) {
                    return Failure(QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown(name));
                }
                outcome.names.push_back(name);
            }
        }
    }
    // No names at all: nothing to act on, refused rather than done.
    if (outcome.names.empty()) return Failure(QMDC_ERROR_BADLY_FORMED_SELECTOR, kNamesNothing);
    return outcome;
}

Outcome Resolve(kiln::DriverSession& session, const std::string& selector) {
    QmDC_ClearError(session.GetHandle());
    kiln::ChannelList channels;
    Outcome outcome;
    outcome.status = kiln::ResolveSelector(&session, selector.c_str(), channels, true);
    for (const auto& channel : channels) outcome.names.push_back(channel.name);
    if (outcome.status < 0) outcome.description = ErrorDescription(session.GetHandle());
    return outcome;
}

void ExpectSame(const Outcome& got, const Outcome& expected, const std::string& selector) {
    EXPECT_EQ(got.status, expected.status) << "'" << selector << "'";
    EXPECT_EQ(got.names, expected.names) << "'" << selector << "'";
    EXPECT_EQ(got.description, expected.description) << "'" << selector << "'";
}

// Levels of 0 to 3 items, bracketed or not, brackets closed or left open (an
// open one loses its last character: "[a" is a level with no items), with
// names and ranges that meet, against physical names CH1 to CH3.
TEST_F(StoreSession, ResolvesAsTheStepsDescribeIt) {
    kiln::DriverSession& s = session();
    s.PhysicalNameTableReference() = std::make_shared<const kiln::ChannelList>(kiln::ChannelList{
        kiln::MakeChannelRef("CH1"), kiln::MakeChannelRef("CH2"), kiln::MakeChannelRef("CH3")});
    const std::set<std::string> physical = {"CH1", "CH2", "CH3"};
    using V = std::vector<std::string>;
    const std::pair<const char*, Outcome> known[] = {
        {"[A:CH1", {VI_SUCCESS, V{"CH1"}, ""}},  // an empty level offers nothing
        {"CH1,CH2:[A:CH3", {VI_SUCCESS, V{"CH1", "CH3"}, ""}},
        {"[A:[B:CH1,CH2", {VI_SUCCESS, V{"CH1", "CH2"}, ""}},
        {"CH1:[A", Failure(QMDC_ERROR_BADLY_FORMED_SELECTOR, kNamesNothing)},
        {"CH3,CH1:[A", {VI_SUCCESS, V{"CH3"}, ""}},
    };
    for (const auto& [text, expected] : known) {
        ExpectSame(ReferenceResolve(text, physical), expected, text);
        ExpectSame(Resolve(s, text), expected, text);
    }
    const char* const items[] = {"CH1",     "CH2",     "CH3",     "CH4",     "x",
                                 "CH1-CH2", "CH2-CH3", "CH1-CH3", "CH3-CH2", "CH1-DC2"};
    std::mt19937 random(41);
    size_t resolved = 0;
    for (int n = 0; n < 30000; ++n) {
        std::string text;
        const int levels = std::uniform_int_distribution<int>(1, 4)(random);
        for (int k = 0; k < levels; ++k) {
            const bool bracketed = random() % 2;
            const int count = std::uniform_int_distribution<int>(bracketed ? 0 : 1, 3)(random);
            if (k > 0) text += ':';
            if (bracketed) text += '[';
            for (int j = 0; j < count; ++j)
                text += (j ? "," : "") + std::string(items[random() % 10]);
            if (bracketed) text += count == 0 ? "A" : random() % 3 ? "]" : "";
        }
        const Outcome expected = ReferenceResolve(text, physical);
        resolved += expected.status == VI_SUCCESS;
        ExpectSame(Resolve(s, text), expected, text);
    }
    EXPECT_GT(resolved, 1000u);
}

TEST_F(StoreSession, TheShortcutGivesWhatTheFullResolutionGives) {
    const char* const pieces[] = {
        "",     " ",  "CH1", "ch1", "Main",   "Qualified", "Out2", "Out1",
        "Pair", "[",  "]",   ",",   ":",      "-",         "CH2",  "OutputChannel!!CH1",
        "\t",   "\v", "!",   "_",   "Nothing"};
    std::mt19937 random(99);
    size_t shortcuts = 0;
    for (int i = 0; i < 50000; ++i) {
        std::string selector;
        const int count = std::uniform_int_distribution<int>(0, 4)(random);
        for (int j = 0; j < count; ++j) selector += pieces[random() % std::size(pieces)];
        kiln::ChannelList fast, full;
        if (!kiln::ResolveCommonSelector(session(), selector.c_str(), fast)) continue;
        ++shortcuts;
        ASSERT_EQ(kiln::ResolveSelectorFully(&session(), selector.c_str(), full, true), VI_SUCCESS)
            << "'" << selector << "'";
        EXPECT_EQ(fast, full) << "'" << selector << "'";
    }
    EXPECT_GT(shortcuts, 1000u);
    kiln::ChannelList out;
    for (const char* common : {"", "CH1", " CH1\t", "Main", "Out2", "OutputChannel!!CH1"}) {
        EXPECT_TRUE(kiln::ResolveCommonSelector(session(), common, out)) << common;
    }
    EXPECT_TRUE(kiln::ResolveCommonSelector(session(), nullptr, out));
    for (const char* other : {"[CH1]", "CH2", "Pair", "CH1,CH1", "\vCH1", "Nothing"}) {
        EXPECT_FALSE(kiln::ResolveCommonSelector(session(), other, out)) << other;
    }
}

// Nothing is written out that the answer does not need: the first name
// that is no channel, or joins two levels, decides at once however many
// names follow; only what virtual names add is bounded.
TEST_F(StoreSession, HugeSelectorsFailQuicklyOnASmallStack) {
    struct Run {
        kiln::DriverSession* session;
        std::vector<std::tuple<std::string, ViStatus, std::string>> cases;
    } run{&session(), {}};
    std::string levels;
    for (int i = 0; i < 5000; ++i) levels += "a:";
    run.cases.push_back({levels + "a", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels});
    for (int i = 0; i < 100000; ++i) levels += "a:";
    run.cases.push_back({levels + "a", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels});
    std::string empties;  // every other level empty: one name per level left
    for (int i = 0; i < 50000; ++i) empties += "CH1:[A:";
    run.cases.push_back({empties + "CH2", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")});
    std::string brackets;
    for (int i = 0; i < 30; ++i) brackets += "[a" + std::to_string(i) + ",b]:";
    run.cases.push_back(
        {brackets + "c", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR, kLevels});  // 2^30 names
    std::string list;
    for (int i = 0; i < 100000; ++i) list += "CH" + std::to_string(i + 2) + ",";
    run.cases.push_back({list + "CH1", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")});
    std::string names;
    for (int i = 1; i <= 10001; ++i) names += (i > 1 ? ",a" : "a") + std::to_string(i);
    run.cases.push_back({names, QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("a1")});
    run.cases.push_back({"CH1-CH10001", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")});
    run.cases.push_back(
        {"CH1-CH10000,CH10001-CH20000", QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, Unknown("CH2")});
    run.cases.push_back({std::string(1 << 20, 'x'), QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER,
                         Unknown(std::string(1 << 20, 'x')).substr(0, 1023)});
    std::string virtualNames;
    for (int i = 0; i < 20000; ++i) virtualNames += "Qualified,";
    run.cases.push_back({virtualNames + "CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR, kBadlyFormed});
    std::string pairs;  // each "Pair" grows by two brackets and three characters
    for (int i = 0; i < 20000; ++i) pairs += "Pair:";
    run.cases.push_back({pairs + "CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR,
                         std::string(kBadlyFormed) +
                             "  Its virtual names make the selector more than 65536 characters "
                             "longer."});

    ASSERT_TRUE(qmdc_test::OnSmallStack([&] {
        for (const auto& [selector, status, description] : run.cases) {
            kiln::ChannelList channels;
            EXPECT_EQ(kiln::ResolveSelector(run.session, selector.c_str(), channels, true), status)
                << selector.substr(0, 40);
            EXPECT_EQ(ErrorDescription(run.session->GetHandle()), description)
                << selector.substr(0, 40);
        }
    }));
}

}  // namespace
