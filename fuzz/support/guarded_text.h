// The tests' guarded text buffer (tests/support/guarded_buffer.h), whose
// checks stop the run with a message instead of returning what they found.
#pragma once

#include <string>

#include "fuzz_check.h"
#include "guarded_buffer.h"

namespace qmdc_fuzz {

class GuardedText : public qmdc_test::GuardedText {
  public:
    using qmdc_test::GuardedText::GuardedText;

    // Aborts when a byte outside the buffer changed.
    void CheckGuards(const char* what) const {
        const std::string overrun = Overrun();
        FUZZ_CHECK(overrun.empty(), "%s %s", what, overrun.c_str());
    }
    // The text's length; aborts when it has no terminator within the buffer.
    size_t CheckTerminated(const char* what) const {
        CheckGuards(what);
        const auto length = Length();
        FUZZ_CHECK(length.has_value(), "%s left no terminator within %zu bytes", what, size());
        return *length;
    }
};

}  // namespace qmdc_fuzz
