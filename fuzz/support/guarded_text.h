// A caller's text buffer with guard bytes on both sides: a callee that writes
// outside the size it was given, or leaves no terminator inside it, is caught
// even where the write stays inside one allocation (which ASan cannot see).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"

namespace qmdc_fuzz {

class GuardedText {
  public:
    static constexpr size_t kGuard = 16;
    static constexpr unsigned char kFill = 0xA5;

    explicit GuardedText(size_t size) : size_(size), bytes_(size + 2 * kGuard, kFill) {}

    char* data() { return reinterpret_cast<char*>(bytes_.data() + kGuard); }
    size_t size() const { return size_; }

    // Aborts when a byte outside the buffer changed.
    void CheckGuards(const char* what) const {
        for (size_t i = 0; i < kGuard; ++i) {
            FUZZ_CHECK(bytes_[i] == kFill, "%s wrote before its buffer", what);
            FUZZ_CHECK(bytes_[kGuard + size_ + i] == kFill, "%s wrote past its buffer of %zu", what,
                       size_);
        }
    }
    // The text's length; aborts when it has no terminator within the buffer.
    size_t CheckTerminated(const char* what) const {
        CheckGuards(what);
        const void* end = std::memchr(bytes_.data() + kGuard, '\0', size_);
        FUZZ_CHECK(end != nullptr, "%s left no terminator within %zu bytes", what, size_);
        return static_cast<size_t>(static_cast<const unsigned char*>(end) - bytes_.data() - kGuard);
    }
    // True when nothing was written into the buffer.
    bool Untouched() const {
        for (size_t i = 0; i < size_; ++i)
            if (bytes_[kGuard + i] != kFill) return false;
        return true;
    }
    std::string Text() const {
        return std::string(bytes_.data() + kGuard,
                           bytes_.data() + kGuard + CheckTerminated("text"));
    }

  private:
    size_t size_;
    std::vector<unsigned char> bytes_;
};

}  // namespace qmdc_fuzz
