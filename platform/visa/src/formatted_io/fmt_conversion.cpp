// fmt_conversion.cpp - the conversion table and the parser of one conversion.
#include "fmt_conversion.h"

#include <cstring>

namespace qmdc::visa {

namespace {

constexpr unsigned char bit(LengthMod m) {
    return static_cast<unsigned char>(1u << static_cast<int>(m));
}
constexpr unsigned char kPlain = bit(LengthMod::None);
constexpr unsigned char kIntLens =
    kPlain | bit(LengthMod::HH) | bit(LengthMod::H) | bit(LengthMod::L) | bit(LengthMod::LL);
constexpr unsigned char kRealLens = kPlain | bit(LengthMod::L);

enum Modes : unsigned char { kPrint = 1, kScan = 2, kBoth = 3 };

struct ConvRow {
    char conv;
    ArgClass cls;
    unsigned char lengths;  // allowed length modifiers
    unsigned char modes;
    bool sizeArg;  // scan "#" allowed
    int base;
};

constexpr ConvRow kConversions[] = {
    {'d', ArgClass::SignedInt, kIntLens, kBoth, false, 10},
    {'i', ArgClass::SignedInt, kIntLens, kBoth, false, 0},
    {'u', ArgClass::UnsignedInt, kIntLens, kBoth, false, 10},
    {'o', ArgClass::UnsignedInt, kIntLens, kBoth, false, 8},
    {'x', ArgClass::UnsignedInt, kIntLens, kBoth, false, 16},
    {'X', ArgClass::UnsignedInt, kIntLens, kBoth, false, 16},
    {'f', ArgClass::Real, kRealLens, kBoth, false, 10},
    {'e', ArgClass::Real, kRealLens, kBoth, false, 10},
    {'E', ArgClass::Real, kRealLens, kBoth, false, 10},
    {'g', ArgClass::Real, kRealLens, kBoth, false, 10},
    {'G', ArgClass::Real, kRealLens, kBoth, false, 10},
    {'c', ArgClass::Char, kPlain, kBoth, true, 10},
    {'s', ArgClass::String, kPlain, kBoth, true, 10},
    {'[', ArgClass::Set, kPlain, kScan, true, 10},
    {'t', ArgClass::ToEnd, kPlain, kScan, true, 10},
    {'T', ArgClass::ToLinefeed, kPlain, kScan, true, 10},
    {'n', ArgClass::Count, kIntLens, kBoth, false, 10},
    {'%', ArgClass::Percent, kPlain, kBoth, false, 10},
};

// Valid VISA or C, but not implemented here: binary blocks, IEEE 488.2
// number forms and array modifiers, pointers, hexadecimal floating point.
constexpr const char kUnsupported[] = "bBy@,pFaA";

const ConvRow* findConversion(char c) {
    for (const ConvRow& row : kConversions)
        if (row.conv == c) return &row;
    return nullptr;
}

// Reads decimal digits; false (with *status) above kMaxFieldWidth.
bool readNumber(const char** p, int* out, ViStatus* status) {
    long v = 0;
    while (**p >= '0' && **p <= '9') {
        v = v * 10 + (**p - '0');
        ++*p;
        if (v > kMaxFieldWidth) {
            *status = VI_ERROR_NSUP_FMT;
            return false;
        }
    }
    *out = static_cast<int>(v);
    return true;
}

void addToSet(Conversion* cv, unsigned char lo, unsigned char hi) {
    for (unsigned c = lo; c <= hi; ++c) cv->set[c >> 5] |= 1u << (c & 31);
}

// Parses the scan set after '['; *p is left after the closing ']'.
ViStatus parseSet(const char** p, Conversion* cv) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(*p);
    if (*s == '^') {
        cv->negatedSet = true;
        ++s;
    }
    if (*s == ']') {  // a leading ']' is a member
        addToSet(cv, ']', ']');
        ++s;
    }
    while (*s != '\0' && *s != ']') {
        if (s[1] == '-' && s[2] != '\0' && s[2] != ']') {
            if (s[2] < s[0]) return VI_ERROR_INV_FMT;
            addToSet(cv, s[0], s[2]);
            s += 3;
        } else {
            addToSet(cv, *s, *s);
            ++s;
        }
    }
    if (*s != ']') return VI_ERROR_INV_FMT;
    *p = reinterpret_cast<const char*>(s + 1);
    return VI_SUCCESS;
}

LengthMod parseLength(const char** p) {
    const char c = **p;
    if (c != 'h' && c != 'l' && c != 'L') return LengthMod::None;
    ++*p;
    if (c == 'L') return LengthMod::LongDouble;
    if (**p == c) {
        ++*p;
        return c == 'h' ? LengthMod::HH : LengthMod::LL;
    }
    return c == 'h' ? LengthMod::H : LengthMod::L;
}

ViStatus parsePrintPrefix(const char** p, Conversion* cv) {
    for (;; ++*p) {
        switch (**p) {
            case '-':
                cv->leftAlign = true;
                continue;
            case '+':
                cv->plus = true;
                continue;
            case ' ':
                cv->space = true;
                continue;
            case '0':
                cv->zeroPad = true;
                continue;
            case '#':
                cv->alternate = true;
                continue;
            default:
                break;
        }
        break;
    }
    ViStatus status = VI_SUCCESS;
    if (**p == '*') {
        cv->widthFrom = WidthFrom::Argument;
        ++*p;
    } else if (**p >= '1' && **p <= '9') {
        cv->widthFrom = WidthFrom::Format;
        if (!readNumber(p, &cv->width, &status)) return status;
    }
    if (**p == '.') {
        ++*p;
        if (**p == '*') {
            cv->precisionFromArg = true;
            ++*p;
        } else if (!readNumber(p, &cv->precision, &status)) {
            return status;
        }
    }
    return VI_SUCCESS;
}

ViStatus parseScanPrefix(const char** p, Conversion* cv) {
    if (**p == '*') {
        cv->suppress = true;
        ++*p;
    }
    ViStatus status = VI_SUCCESS;
    if (**p == '#') {
        if (cv->suppress) return VI_ERROR_INV_FMT;
        cv->widthFrom = WidthFrom::SizeArgument;
        ++*p;
    } else if (**p >= '0' && **p <= '9') {
        cv->widthFrom = WidthFrom::Format;
        if (!readNumber(p, &cv->width, &status)) return status;
        if (cv->width == 0) return VI_ERROR_INV_FMT;
    }
    return VI_SUCCESS;
}

// Flags and widths that C leaves undefined for a conversion are refused.
ViStatus checkPrintFlags(const Conversion& s) {
    const bool numeric =
        s.cls == ArgClass::SignedInt || s.cls == ArgClass::UnsignedInt || s.cls == ArgClass::Real;
    const bool anyFlag = s.leftAlign || s.plus || s.space || s.zeroPad || s.alternate;
    if (s.cls == ArgClass::Percent || s.cls == ArgClass::Count)
        return anyFlag || s.widthFrom != WidthFrom::None || s.precision >= 0 || s.precisionFromArg
                   ? VI_ERROR_INV_FMT
                   : VI_SUCCESS;
    if (!numeric && (s.plus || s.space || s.zeroPad || s.alternate)) return VI_ERROR_INV_FMT;
    if (s.alternate && (s.cls == ArgClass::SignedInt || s.code == 'u')) return VI_ERROR_INV_FMT;
    if (s.cls == ArgClass::Char && (s.precision >= 0 || s.precisionFromArg))
        return VI_ERROR_INV_FMT;
    return VI_SUCCESS;
}

}  // namespace

ViStatus parseConversion(const char* p, FmtMode mode, Conversion* cv, const char** next) {
    *cv = Conversion{};
    const ViStatus prefix =
        mode == FmtMode::Print ? parsePrintPrefix(&p, cv) : parseScanPrefix(&p, cv);
    if (prefix != VI_SUCCESS) return prefix;
    if (*p == '@' || *p == ',') return VI_ERROR_NSUP_FMT;
    cv->len = parseLength(&p);
    const char conv = *p;
    if (conv == '\0') return VI_ERROR_INV_FMT;
    const ConvRow* row = findConversion(conv);
    if (row == nullptr || !(row->modes & (mode == FmtMode::Print ? kPrint : kScan)))
        return std::strchr(kUnsupported, conv) ? VI_ERROR_NSUP_FMT : VI_ERROR_INV_FMT;
    cv->code = conv;
    cv->cls = row->cls;
    cv->base = row->base;
    ++p;
    if (!(row->lengths & bit(cv->len))) {
        // long double, and wide characters/strings ("%lc", "%ls"), are valid C
        const bool validC = (cv->len == LengthMod::LongDouble && row->cls == ArgClass::Real) ||
                            (cv->len == LengthMod::L && row->lengths == kPlain);
        return validC ? VI_ERROR_NSUP_FMT : VI_ERROR_INV_FMT;
    }
    if (mode == FmtMode::Scan) {
        if (cv->widthFrom == WidthFrom::SizeArgument && !row->sizeArg) return VI_ERROR_INV_FMT;
        if ((row->cls == ArgClass::Count || row->cls == ArgClass::Percent) &&
            (cv->suppress || cv->widthFrom != WidthFrom::None))
            return VI_ERROR_INV_FMT;
        if (row->cls == ArgClass::Set) {
            const ViStatus set = parseSet(&p, cv);
            if (set != VI_SUCCESS) return set;
        }
    } else {
        const ViStatus flags = checkPrintFlags(*cv);
        if (flags != VI_SUCCESS) return flags;
    }
    *next = p;
    return VI_SUCCESS;
}

ViStatus checkFormat(const char* fmt, FmtMode mode) {
    if (fmt == nullptr) return VI_ERROR_USER_BUF;
    for (const char* p = fmt; (p = std::strchr(p, '%')) != nullptr;) {
        Conversion cv;
        const ViStatus status = parseConversion(p + 1, mode, &cv, &p);
        if (status != VI_SUCCESS) return status;
    }
    return VI_SUCCESS;
}

}  // namespace qmdc::visa
