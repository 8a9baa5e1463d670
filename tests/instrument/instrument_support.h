// Helpers of the instrument tests: a session on a scripted instrument that
// tells what each call sent, and typed values for tables of attributes.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "QmDC.h"
#include "scripted_session.h"

namespace qmdc_test {

using Value = std::variant<ViInt32, ViReal64, ViBoolean, std::string>;

// Typed Get and Set of an attribute through the exported functions, with the
// value type taken from the value given (for Get: from like).
ViStatus GetValue(ViSession vi, ViAttr id, const Value& like, Value& value,
                  const char* channel = "");
ViStatus SetValue(ViSession vi, ViAttr id, const Value& value, const char* channel = "");

std::string Describe(const Value& value);

}  // namespace qmdc_test
