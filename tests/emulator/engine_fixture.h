// A core engine with helpers that talk to it the way a client would, line by line.
#ifndef QMDC_TESTS_EMULATOR_ENGINE_FIXTURE_H
#define QMDC_TESTS_EMULATOR_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/engine.h"

namespace qmdc::emu {

class EngineFixture : public ::testing::Test {
  protected:
    explicit EngineFixture(InstrumentConfig config = {}) : engine_(config) {}

    // The answer line of the given line without its linefeed ("" when nothing is answered).
    std::string Ask(const std::string& line) {
        std::vector<std::string> texts;
        for (const Response& response : engine_.Execute(line)) texts.push_back(response.text);
        if (texts.empty()) return "";
        const std::string joined = JoinResponses(texts);
        return joined.substr(0, joined.size() - 1);
    }
    double AskReal(const std::string& line) { return std::stod(Ask(line)); }
    long AskInt(const std::string& line) { return std::stol(Ask(line)); }
    void Send(const std::string& line) { EXPECT_EQ(Ask(line), "") << line; }

    Engine engine_;
};

}  // namespace qmdc::emu

#endif
