// fmt_scan.cpp - viScanf conversions. Input is read one byte ahead only, so
// a scan never consumes more than the conversions accept.
#include "fmt_scan.h"

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fmt_conversion.h"

namespace qmdc::visa {

namespace {

// Longest number a conversion takes: a longer one is read to its end and
// matches nothing (cut, it would read as another number).
constexpr size_t kMaxToken = 127;

enum class Step { Next, Stop, Fail };

bool isDigitOf(int c, int base) {
    if (base == 16) return std::isxdigit(c) != 0;
    if (base == 8) return c >= '0' && c <= '7';
    return c >= '0' && c <= '9';
}

template <class T>
ViStatus put(va_list* ap, T value) {
    T* p = va_arg(*ap, T*);
    if (p == nullptr) return VI_ERROR_USER_BUF;
    *p = value;
    return VI_SUCCESS;
}

// "l" means ViInt32 here, whatever the size of "long" (see visa.h).
ViStatus storeInteger(va_list* ap, LengthMod len, unsigned long long v) {
    switch (len) {
        case LengthMod::HH:
            return put(ap, static_cast<signed char>(v));
        case LengthMod::H:
            return put(ap, static_cast<short>(v));
        case LengthMod::L:
            return put(ap, static_cast<ViInt32>(v));
        case LengthMod::LL:
            return put(ap, static_cast<ViInt64>(v));
        default:
            return put(ap, static_cast<int>(v));
    }
}

// The bits of the integer a length modifier stores ("l" is ViInt32).
unsigned integerBits(LengthMod len) {
    switch (len) {
        case LengthMod::HH:
            return 8;
        case LengthMod::H:
            return 16;
        case LengthMod::L:
            return 32;
        case LengthMod::LL:
            return 64;
        default:
            return sizeof(int) * 8;
    }
}

// The integer of a token (sign, "0x" in base 16, digits) as the two's
// complement bits to store; false when it does not fit the type: a signed
// one's range, or for an unsigned one a magnitude beyond its bits (a minus
// sign negates, as in C).
bool integerValue(const char* tok, int base, bool isSigned, LengthMod len,
                  unsigned long long* bits) {
    const bool negative = *tok == '-';
    if (*tok == '-' || *tok == '+') ++tok;
    if (base == 16 && tok[0] == '0' && (tok[1] == 'x' || tok[1] == 'X')) tok += 2;
    const unsigned width = integerBits(len);
    const unsigned long long all = width == 64 ? ~0ULL : (1ULL << width) - 1;
    const unsigned long long limit = !isSigned ? all : all / 2 + (negative ? 1 : 0);
    unsigned long long magnitude = 0;
    for (; *tok != '\0'; ++tok) {
        const int c = static_cast<unsigned char>(*tok);
        const unsigned digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (magnitude > (limit - digit) / static_cast<unsigned>(base)) return false;
        magnitude = magnitude * static_cast<unsigned>(base) + digit;
    }
    *bits = negative ? 0ULL - magnitude : magnitude;
    return true;
}

class Scanner {
  public:
    Scanner(ScanInput& in, va_list* ap) : in_(in), ap_(ap) {}

    ViStatus run(const char* fmt) {
        for (const char* p = fmt; *p != '\0';) {
            Step step;
            if (std::isspace(static_cast<unsigned char>(*p))) {
                while (std::isspace(static_cast<unsigned char>(*p))) ++p;
                step = skipSpace();
            } else if (*p != '%') {
                step = literal(*p++);
            } else {
                Conversion cv;
                parseConversion(p + 1, FmtMode::Scan, &cv, &p);
                step = convert(cv);
            }
            if (step == Step::Stop) return VI_SUCCESS;
            if (step == Step::Fail) return status_;
        }
        return VI_SUCCESS;
    }

  private:
    // Next byte, or kEnd / kFail (recording the failure).
    int peek() {
        const int c = in_.peek();
        if (c == ScanInput::kFail) status_ = in_.failure();
        return c;
    }
    void take() {
        in_.advance();
        ++consumed_;
    }
    Step fail(ViStatus status) {
        status_ = status;
        return Step::Fail;
    }

    Step skipSpace() {
        int c;
        while ((c = peek()) >= 0 && std::isspace(c)) take();
        return c == ScanInput::kFail ? Step::Fail : Step::Next;
    }

    Step literal(char expected) {
        const int c = peek();
        if (c == ScanInput::kFail) return Step::Fail;
        if (c != static_cast<unsigned char>(expected)) return Step::Stop;
        take();
        return Step::Next;
    }

    Step convert(const Conversion& s) {
        switch (s.cls) {
            case ArgClass::Percent: {
                const Step step = skipSpace();
                return step == Step::Next ? literal('%') : step;
            }
            case ArgClass::Count: {
                const ViStatus status = storeInteger(ap_, s.len, consumed_);
                return status == VI_SUCCESS ? Step::Next : fail(status);
            }
            case ArgClass::SignedInt:
            case ArgClass::UnsignedInt:
            case ArgClass::Real:
            case ArgClass::String: {
                const Step step = skipSpace();
                if (step != Step::Next) return step;
                return s.cls == ArgClass::String ? text(s) : number(s);
            }
            default:
                return text(s);
        }
    }

    // Takes the next byte into the token if `accept` takes it; the token
    // keeps kMaxToken bytes, *n counts them all.
    template <class Pred>
    bool accept(char* tok, size_t* n, size_t limit, Pred pred) {
        const int c = peek();
        if (c < 0 || *n >= limit || !pred(c)) return false;
        if (*n < kMaxToken) tok[*n] = static_cast<char>(c);
        ++*n;
        take();
        return true;
    }

    Step number(const Conversion& s) {
        char tok[kMaxToken + 1];
        size_t n = 0;
        const size_t limit =
            s.widthFrom == WidthFrom::Format ? static_cast<size_t>(s.width) : SIZE_MAX;
        auto is = [](char want) { return [want](int c) { return c == want; }; };
        auto sign = [](int c) { return c == '+' || c == '-'; };
        size_t digits = 0;
        accept(tok, &n, limit, sign);
        int base = s.base;
        if (s.cls == ArgClass::Real) {
            auto dec = [](int c) { return c >= '0' && c <= '9'; };
            while (accept(tok, &n, limit, dec)) ++digits;
            if (accept(tok, &n, limit, is('.')))
                while (accept(tok, &n, limit, dec)) ++digits;
            if (digits > 0 && accept(tok, &n, limit, [](int c) { return c == 'e' || c == 'E'; })) {
                accept(tok, &n, limit, sign);
                while (accept(tok, &n, limit, dec)) {
                }
            }
        } else {
            if ((base == 0 || base == 16) && accept(tok, &n, limit, is('0'))) {
                digits = 1;
                if (accept(tok, &n, limit, [](int c) { return c == 'x' || c == 'X'; }))
                    base = 16;
                else if (base == 0)
                    base = 8;
            }
            if (base == 0) base = 10;
            while (accept(tok, &n, limit, [base](int c) { return isDigitOf(c, base); })) ++digits;
        }
        if (status_ != VI_SUCCESS) return Step::Fail;
        if (digits == 0) return Step::Stop;  // no number here: the scan ends
        if (s.suppress) return Step::Next;
        // A number too long to take, or one its type cannot hold, is no
        // number of that type: the scan ends as on a mismatch, storing nothing.
        if (n > kMaxToken) return Step::Stop;
        tok[n] = '\0';
        ViStatus status;
        if (s.cls == ArgClass::Real) {
            const double v = toDouble(tok);
            const bool isDouble = s.len == LengthMod::L;
            if (!std::isfinite(isDouble ? v : static_cast<float>(v))) return Step::Stop;
            status = isDouble ? put(ap_, v) : put(ap_, static_cast<float>(v));
        } else {
            unsigned long long bits = 0;
            if (!integerValue(tok, base, s.cls == ArgClass::SignedInt, s.len, &bits))
                return Step::Stop;
            status = storeInteger(ap_, s.len, bits);
        }
        return status == VI_SUCCESS ? Step::Next : fail(status);
    }

    // The token has a '.'; strtod wants the C locale's decimal point.
    static double toDouble(char* tok) {
        const char point = *std::localeconv()->decimal_point;
        if (point != '.' && point != '\0')
            if (char* dot = std::strchr(tok, '.')) *dot = point;
        return std::strtod(tok, nullptr);
    }

    bool accepts(const Conversion& s, int c) const {
        switch (s.cls) {
            case ArgClass::String:
                return !std::isspace(c);
            case ArgClass::Set:
                return s.inSet(static_cast<unsigned char>(c));
            default:
                return true;
        }
    }

    // %c %s %[ %t %T: copies bytes, never more than the width or "#" size.
    Step text(const Conversion& s) {
        size_t limit = s.widthFrom == WidthFrom::Format ? static_cast<size_t>(s.width)
                       : s.cls == ArgClass::Char        ? 1
                                                        : SIZE_MAX;
        size_t cap = SIZE_MAX;  // characters that may be stored, NUL not counted
        bool nulFits = true;
        ViInt32* size = nullptr;
        char* dest = nullptr;
        if (!s.suppress) {
            if (s.widthFrom == WidthFrom::SizeArgument) {
                size = va_arg(*ap_, ViInt32*);
                if (size == nullptr) return fail(VI_ERROR_USER_BUF);
                const size_t room = *size > 0 ? static_cast<size_t>(*size) : 0;
                if (s.cls == ArgClass::Char) {
                    limit = cap = room;
                } else {
                    nulFits = room > 0;
                    cap = nulFits ? room - 1 : 0;
                }
            }
            dest = va_arg(*ap_, char*);
            if (dest == nullptr) return fail(VI_ERROR_USER_BUF);
            if (s.widthFrom == WidthFrom::Format) cap = limit;
        }
        size_t count = 0, stored = 0;
        while (count < limit) {
            const int c = peek();
            if (c == ScanInput::kFail) return Step::Fail;
            if (c == ScanInput::kEnd || !accepts(s, c)) break;
            if (dest != nullptr && stored < cap) dest[stored++] = static_cast<char>(c);
            take();
            ++count;
            if (s.cls == ArgClass::ToLinefeed && c == '\n') break;
        }
        if (count == 0) return Step::Stop;  // nothing matched (or END): the scan ends
        if (dest != nullptr) {
            if (s.cls != ArgClass::Char && nulFits) dest[stored] = '\0';
            if (size != nullptr) *size = static_cast<ViInt32>(stored);
        }
        return Step::Next;
    }

    ScanInput& in_;
    va_list* ap_;
    size_t consumed_ = 0;
    ViStatus status_ = VI_SUCCESS;
};

}  // namespace

ViStatus scanFormat(ScanInput& in, const char* fmt, va_list* ap) {
    const ViStatus status = checkFormat(fmt, FmtMode::Scan);
    if (status != VI_SUCCESS) return status;
    return Scanner(in, ap).run(fmt);
}

}  // namespace qmdc::visa
