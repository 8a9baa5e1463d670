// A caller's text buffer with guard bytes on both sides: a callee that writes
// outside the size it was given, or leaves no terminator inside it, is seen
// even where the write stays inside one allocation (which ASan cannot see).
// The checks return what they found; the fuzz targets abort on it.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace qmdc_test {

class GuardedText {
  public:
    static constexpr size_t kGuard = 16;
    static constexpr unsigned char kFill = 0xA5;

    explicit GuardedText(size_t size) : size_(size), bytes_(size + 2 * kGuard, kFill) {}

    char* data() { return reinterpret_cast<char*>(bytes_.data() + kGuard); }
    size_t size() const { return size_; }

    // Empty when no byte outside the buffer changed, else where one did.
    std::string Overrun() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (bytes_[i] != kFill) return "wrote before its buffer";
            if (bytes_[kGuard + size_ + i] != kFill)
                return "wrote past its buffer of " + std::to_string(size_);
        }
        return "";
    }
    // The text's length; none when it has no terminator within the buffer.
    std::optional<size_t> Length() const {
        const void* end = std::memchr(bytes_.data() + kGuard, '\0', size_);
        if (end == nullptr) return std::nullopt;
        return static_cast<size_t>(static_cast<const unsigned char*>(end) - bytes_.data() - kGuard);
    }
    // True when nothing was written into the buffer from offset on.
    bool Untouched(size_t offset = 0) const {
        for (size_t i = offset; i < size_; ++i)
            if (bytes_[kGuard + i] != kFill) return false;
        return true;
    }
    // The text up to its terminator (the whole buffer when it has none).
    std::string Text() const {
        const char* begin = reinterpret_cast<const char*>(bytes_.data() + kGuard);
        return std::string(begin, Length().value_or(size_));
    }
    // Empty when the buffer holds exactly the text (terminated, nothing
    // written after the terminator, nothing outside the buffer), or when
    // text is null and nothing was written at all; else what differs.
    std::string Mismatch(const char* text) const {
        std::string overrun = Overrun();
        if (!overrun.empty()) return overrun;
        if (text == nullptr) return Untouched() ? "" : "wrote into the buffer: '" + Text() + "'";
        const std::optional<size_t> length = Length();
        if (!length) return "no terminator within " + std::to_string(size_) + " bytes";
        if (Text() != text) return "holds '" + Text() + "', not '" + text + "'";
        if (!Untouched(*length + 1)) return "wrote past the terminator of '" + Text() + "'";
        return "";
    }

  private:
    size_t size_;
    std::vector<unsigned char> bytes_;
};

}  // namespace qmdc_test
