// Helpers of the instrument tests: a session on a scripted instrument that
// tells what each call sent, and typed values for tables of attributes.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "QmDC.h"
#include "driver_test_support.h"
#include "fake_instrument.h"

namespace qmdc_test {

// A session on a scripted instrument; Sent() gives the lines received since
// the last call of Sent(), waiting for at least `wait` of them.
class ScriptedSession {
  public:
    explicit ScriptedSession(const std::string& options = "QueryInstrStatus=1");
    ViSession vi() const { return session_->vi(); }
    AnswerTable& answers() { return answers_; }
    std::vector<std::string> Sent(size_t wait = 0);

  private:
    AnswerTable answers_;
    FakeInstrument instrument_;
    std::unique_ptr<Session> session_;
    size_t seen_ = 0;
};

using Value = std::variant<ViInt32, ViReal64, ViBoolean, std::string>;

// Typed Get and Set of an attribute through the exported functions, with the
// value type taken from the value given (for Get: from like).
ViStatus GetValue(ViSession vi, ViAttr id, const Value& like, Value& value,
                  const char* channel = "");
ViStatus SetValue(ViSession vi, ViAttr id, const Value& value, const char* channel = "");

std::string Describe(const Value& value);

}  // namespace qmdc_test
