#include "core/ratings.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace qmdc::emu {

namespace {

constexpr Ratings kFallback{30.0, 70.0, 1500.0, false};

// A cursor over the model text for the grammar
//   ^\s*(Bench|Rack)\s+(\d+(\.\d+)?)\s*-\s*(\d+(\.\d+)?)\s*QM\s*$   (letters in any case)
class ModelCursor {
  public:
    explicit ModelCursor(std::string_view text) : text_(text) {}

    size_t SkipSpace() {
        const size_t start = pos_;
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return pos_ - start;
    }
    bool Word(std::string_view word) {
        if (text_.size() - pos_ < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(text_[pos_ + i])) != word[i]) return false;
        }
        pos_ += word.size();
        return true;
    }
    bool Char(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    // Digits, optionally a point and more digits (digits needed on both sides).
    bool Rating(double& value) {
        const size_t start = pos_;
        if (SkipDigits() == 0) return false;
        const size_t point = pos_;
        if (Char('.') && SkipDigits() == 0) pos_ = point;
        value = std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr);
        return true;
    }
    bool AtEnd() const { return pos_ == text_.size(); }

  private:
    size_t SkipDigits() {
        const size_t start = pos_;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return pos_ - start;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

Ratings RatingsFromModel(const std::string& model) {
    ModelCursor cursor(model);
    cursor.SkipSpace();
    const bool bench = cursor.Word("BENCH");
    if (!bench && !cursor.Word("RACK")) return kFallback;
    if (cursor.SkipSpace() == 0) return kFallback;
    double volts = 0.0;
    double amps = 0.0;
    if (!cursor.Rating(volts)) return kFallback;
    cursor.SkipSpace();
    if (!cursor.Char('-')) return kFallback;
    cursor.SkipSpace();
    if (!cursor.Rating(amps)) return kFallback;
    cursor.SkipSpace();
    if (!cursor.Word("QM")) return kFallback;
    cursor.SkipSpace();
    if (!cursor.AtEnd()) return kFallback;
    // A rating too long for a double cannot describe a real unit.
    if (!std::isfinite(volts) || !std::isfinite(amps)) return kFallback;
    return Ratings{volts, amps, bench ? 600.0 : 1500.0, true};
}

}  // namespace qmdc::emu
