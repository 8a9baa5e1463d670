// Recording an error on a session: the message-table text, an optional
// additional text, formatted with text arguments, stored with
// IviSession_SetError.
#pragma once

#include <initializer_list>
#include <string>

#include "visatype.h"

namespace kiln {

// Longest description stored, terminator not counted.
constexpr size_t kMaxDescriptionLength = 1023;

// One argument of a report. "%s" takes its text; "%d" takes the integer (or
// the text, when the argument was given as text).
class ErrorArg {
  public:
    ErrorArg(const char* text) : text_(text ? text : "") {}
    ErrorArg(std::string text) : text_(std::move(text)) {}
    ErrorArg(int value) : text_(std::to_string(value)) {}
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

using ErrorArgs = std::initializer_list<ErrorArg>;

// Fills "%s" and "%d" in order from args ("%%" gives "%"); a placeholder
// without an argument stays empty and surplus arguments are ignored. The
// result is cut to kMaxDescriptionLength characters. Caller-supplied texts are
// never interpreted as formats.
std::string FormatDescription(const std::string& format, ErrorArgs args);

// Records code on vi; returns code, or the failure of IviSession_SetError.
ViStatus ReportError(ViSession vi, ViStatus code, ErrorArgs args = {});
ViStatus ReportErrorWithText(ViSession vi, ViStatus code, const std::string& additionalText,
                             ErrorArgs args = {});

}  // namespace kiln
