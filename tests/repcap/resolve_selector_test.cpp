// Selectors to physical channels: every accepted and refused form with its
// status and text, virtual names and ranges from a configuration store, the
// combination of levels against the design's recursive description, and the
// shortcut for common selectors against the full resolution.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>

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
const char* const kLevels =
    "The number of levels in the selector is not valid for the 'OutputChannel' repeated "
    "capability.";

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
        {"CH1,CH1-CH2", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH1-CH2", "An identifier in the range overlaps with another range.")},
        {"CH1-CH2,CH2", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH2", "An identifier in the range overlaps with another range.")},
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
        {"CH1-CH20000", QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
         BadRange("CH1-CH20000", "The range names more than 10000 identifiers.")},
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

// The design's description of step 6, recursive, for selectors without
// ranges or virtual names; the resolver must produce the same names.
struct ReferenceLevel {
    bool bracketed;
    std::vector<std::string> items;
};

std::vector<std::string> ReferenceNames(const std::string& text) {
    std::vector<ReferenceLevel> levels;
    for (std::string level : kiln::SplitList(text, ':', true)) {
        const bool bracketed = !level.empty() && level[0] == '[';
        if (bracketed) level = level.substr(1, level.size() - 2);
        levels.push_back({bracketed, kiln::SplitList(level, ',', true)});
    }
    std::set<std::pair<size_t, size_t>> consumed;
    std::function<std::vector<std::string>(size_t, size_t)> combine;
    std::function<std::vector<std::string>(size_t)> next = [&](size_t j) {
        std::vector<std::string> out;
        const size_t count = levels[j].bracketed ? levels[j].items.size() : 1;
        for (size_t i = 0; i < count; ++i) {
            consumed.insert({j, i});
            for (const auto& name : combine(j, i)) out.push_back(name);
        }
        return out;
    };
    combine = [&](size_t k, size_t i) -> std::vector<std::string> {
        const auto& level = levels[k];
        if (k + 1 == levels.size() || (!level.bracketed && i + 1 != level.items.size())) {
            return {level.items[i]};
        }
        std::vector<std::string> out;
        for (const auto& y : next(k + 1)) out.push_back(level.items[i] + ":" + y);
        return out;
    };
    std::vector<std::string> names;
    for (size_t k = 0; k < levels.size(); ++k) {
        for (size_t i = 0; i < levels[k].items.size(); ++i) {
            if (consumed.count({k, i})) continue;
            for (const auto& name : combine(k, i)) names.push_back(name);
        }
    }
    return names;
}

TEST(SelectorLevels, CombineAsTheRecursiveDescriptionDoes) {
    using V = std::vector<std::string>;
    const std::pair<const char*, V> known[] = {
        {"a,b:c", V{"a", "b:c"}},
        {"[a,b]:c", V{"a:c", "b:c"}},
        {"a:[b,c]", V{"a:b", "a:c"}},
        {"a,b:c,d", V{"a", "b:c", "d"}},
        {"[a,b]:[c,d]:e", V{"a:c:e", "a:d:e", "b:c:e", "b:d:e"}},
    };
    for (const auto& [text, expected] : known) {
        V names;
        ASSERT_EQ(kiln::SelectorNames(nullptr, text, names), VI_SUCCESS) << text;
        EXPECT_EQ(names, expected) << text;
        EXPECT_EQ(ReferenceNames(text), expected) << text;
    }
    // Every shape of 1 to 4 levels, each of 1 to 3 distinct one-letter items,
    // bracketed or not: 6 shapes of a level, 6 + 36 + 216 + 1296 in all.
    for (int levelCount = 1; levelCount <= 4; ++levelCount) {
        int shapes = 1;
        for (int k = 0; k < levelCount; ++k) shapes *= 6;
        for (int shape = 0; shape < shapes; ++shape) {
            std::string text;
            char letter = 'a';
            for (int k = 0, rest = shape; k < levelCount; ++k, rest /= 6) {
                const bool bracketed = rest % 2;
                const int items = rest / 2 % 3 + 1;
                if (k > 0) text += ':';
                if (bracketed) text += '[';
                for (int j = 0; j < items; ++j) text += (j ? "," : "") + std::string(1, letter++);
                if (bracketed) text += ']';
            }
            V names;
            ASSERT_EQ(kiln::SelectorNames(nullptr, text, names), VI_SUCCESS) << text;
            EXPECT_EQ(names, ReferenceNames(text)) << text;
        }
    }
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

TEST_F(StoreSession, HugeSelectorsFailQuicklyOnASmallStack) {
    struct Run {
        kiln::DriverSession* session;
        std::vector<std::pair<std::string, ViStatus>> cases;
    } run{&session(), {}};
    std::string levels;
    for (int i = 0; i < 5000; ++i) levels += "a:";
    run.cases.push_back({levels + "a", QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR});
    for (int i = 0; i < 100000; ++i) levels += "a:";
    run.cases.push_back({levels + "a", QMDC_ERROR_BADLY_FORMED_SELECTOR});  // over 10000 names
    std::string brackets;
    for (int i = 0; i < 30; ++i) brackets += "[a" + std::to_string(i) + ",b]:";
    run.cases.push_back({brackets + "c", QMDC_ERROR_BADLY_FORMED_SELECTOR});  // 2^30 names
    std::string list;
    for (int i = 0; i < 100000; ++i) list += "CH" + std::to_string(i + 2) + ",";
    run.cases.push_back({list + "CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR});  // over 10000 names
    run.cases.push_back({"CH1-CH10000,CH10001-CH20000", QMDC_ERROR_BADLY_FORMED_SELECTOR});
    run.cases.push_back({std::string(1 << 20, 'x'), QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER});
    std::string virtualNames;
    for (int i = 0; i < 20000; ++i) virtualNames += "Qualified,";
    run.cases.push_back({virtualNames + "CH1", QMDC_ERROR_BADLY_FORMED_SELECTOR});

    ASSERT_TRUE(qmdc_test::OnSmallStack([&] {
        for (const auto& [selector, status] : run.cases) {
            kiln::ChannelList channels;
            EXPECT_EQ(kiln::ResolveSelector(run.session, selector.c_str(), channels, true), status)
                << selector.substr(0, 40);
        }
    }));
}

}  // namespace
