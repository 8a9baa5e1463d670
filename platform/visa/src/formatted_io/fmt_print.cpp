// fmt_print.cpp - viPrintf: the format is walked here; each conversion,
// once parsed and with its argument in a known C type, goes to vsnprintf.
#include "fmt_print.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fmt_conversion.h"

namespace qmdc::visa {

namespace {

// Appends one already-validated conversion with known argument types.
ViStatus appendf(std::string& out, const char* cfmt, ...) {
    va_list args, again;
    va_start(args, cfmt);
    va_copy(again, args);
    char small[128];
    const int n = std::vsnprintf(small, sizeof small, cfmt, args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        out.append(small, static_cast<size_t>(n));
    } else if (n >= 0) {
        const size_t old = out.size();
        out.resize(old + static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[old], static_cast<size_t>(n) + 1, cfmt, again);
        out.resize(old + static_cast<size_t>(n));
    }
    va_end(again);
    va_end(args);
    return n < 0 ? VI_ERROR_SYSTEM_ERROR : VI_SUCCESS;
}

// Instruments expect a '.', whatever LC_NUMERIC the application chose.
void fixDecimalPoint(std::string& out, size_t from) {
    const char point = *std::localeconv()->decimal_point;
    if (point == '.' || point == '\0') return;
    for (size_t i = from; i < out.size(); ++i)
        if (out[i] == point) out[i] = '.';
}

// "l" means ViInt32 here, whatever the size of "long" (see visa.h).
long long signedArg(va_list* ap, LengthMod len) {
    switch (len) {
        case LengthMod::HH:
            return static_cast<signed char>(va_arg(*ap, int));
        case LengthMod::H:
            return static_cast<short>(va_arg(*ap, int));
        case LengthMod::L:
            return va_arg(*ap, ViInt32);
        case LengthMod::LL:
            return va_arg(*ap, ViInt64);
        default:
            return va_arg(*ap, int);
    }
}

unsigned long long unsignedArg(va_list* ap, LengthMod len) {
    switch (len) {
        case LengthMod::HH:
            return static_cast<unsigned char>(va_arg(*ap, unsigned));
        case LengthMod::H:
            return static_cast<unsigned short>(va_arg(*ap, unsigned));
        case LengthMod::L:
            return va_arg(*ap, ViUInt32);
        case LengthMod::LL:
            return va_arg(*ap, ViUInt64);
        default:
            return va_arg(*ap, unsigned);
    }
}

ViStatus storeCount(va_list* ap, LengthMod len, size_t count) {
    void* p = va_arg(*ap, void*);
    if (p == nullptr) return VI_ERROR_USER_BUF;
    switch (len) {
        case LengthMod::HH:
            *static_cast<signed char*>(p) = static_cast<signed char>(count);
            break;
        case LengthMod::H:
            *static_cast<short*>(p) = static_cast<short>(count);
            break;
        case LengthMod::LL:
            *static_cast<ViInt64*>(p) = static_cast<ViInt64>(count);
            break;
        default:
            *static_cast<ViInt32*>(p) = static_cast<ViInt32>(count);
            break;
    }
    return VI_SUCCESS;
}

// Builds the C format "%<flags>*.*<ll><code>" for one conversion.
void cFormat(const Conversion& s, bool longLong, char* buf) {
    char* p = buf;
    *p++ = '%';
    if (s.leftAlign) *p++ = '-';
    if (s.plus) *p++ = '+';
    if (s.space) *p++ = ' ';
    if (s.zeroPad) *p++ = '0';
    if (s.alternate) *p++ = '#';
    *p++ = '*';
    if (s.cls != ArgClass::Char) p = std::strcpy(p, ".*") + 2;
    if (longLong) p = std::strcpy(p, "ll") + 2;
    *p++ = s.code;
    *p = '\0';
}

// The common real conversions ("%0.15lg" of every command the driver sends)
// without flags or width: std::to_chars gives what printf gives for them, in
// the C locale whatever the application chose, several times faster.
bool appendPlainReal(std::string& out, const Conversion& s, int width, int precision,
                     double value) {
    constexpr int kMaxFastPrecision = 60;
    if (s.leftAlign || s.plus || s.space || s.alternate || width != 0 ||
        precision > kMaxFastPrecision || !std::isfinite(value)) {
        return false;
    }
    std::chars_format format;
    switch (s.code) {
        case 'g':
            format = std::chars_format::general;
            break;
        case 'e':
            format = std::chars_format::scientific;
            break;
        case 'f':
            format = std::chars_format::fixed;
            break;
        default:
            return false;  // upper case and hexadecimal forms go to printf
    }
    char text[512];
    const auto result =
        std::to_chars(text, text + sizeof text, value, format, precision < 0 ? 6 : precision);
    if (result.ec != std::errc()) return false;
    out.append(text, result.ptr);
    return true;
}

ViStatus emit(std::string& out, const Conversion& s, va_list* ap, size_t start) {
    int width = s.widthFrom == WidthFrom::Argument ? va_arg(*ap, int) : s.width;
    int precision = s.precisionFromArg ? va_arg(*ap, int) : s.precision;
    if (width < -kMaxFieldWidth || width > kMaxFieldWidth || precision > kMaxFieldWidth)
        return VI_ERROR_NSUP_FMT;
    if (precision < 0) precision = -1;  // C: a negative precision counts as none
    char cfmt[16];
    switch (s.cls) {
        case ArgClass::SignedInt:
            cFormat(s, true, cfmt);
            return appendf(out, cfmt, width, precision, signedArg(ap, s.len));
        case ArgClass::UnsignedInt:
            cFormat(s, true, cfmt);
            return appendf(out, cfmt, width, precision, unsignedArg(ap, s.len));
        case ArgClass::Real: {
            const double value = va_arg(*ap, double);
            if (appendPlainReal(out, s, width, precision, value)) return VI_SUCCESS;
            cFormat(s, false, cfmt);
            const size_t from = out.size();
            const ViStatus status = appendf(out, cfmt, width, precision, value);
            fixDecimalPoint(out, from);
            return status;
        }
        case ArgClass::Char:
            cFormat(s, false, cfmt);
            return appendf(out, cfmt, width, va_arg(*ap, int));
        case ArgClass::String: {
            const char* text = va_arg(*ap, const char*);
            if (text == nullptr) return VI_ERROR_USER_BUF;
            cFormat(s, false, cfmt);
            return appendf(out, cfmt, width, precision, text);
        }
        case ArgClass::Count:
            return storeCount(ap, s.len, out.size() - start);
        case ArgClass::Percent:
            out += '%';
            return VI_SUCCESS;
        default:
            return VI_ERROR_INV_FMT;  // scan-only classes never pass the check
    }
}

}  // namespace

ViStatus printFormat(std::string& out, const char* fmt, va_list* ap) {
    ViStatus status = checkFormat(fmt, FmtMode::Print);
    if (status != VI_SUCCESS) return status;
    const size_t start = out.size();
    for (const char* p = fmt; *p != '\0';) {
        const char* percent = std::strchr(p, '%');
        if (percent != p) {
            const size_t n = percent ? static_cast<size_t>(percent - p) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        Conversion cv;
        parseConversion(p + 1, FmtMode::Print, &cv, &p);
        status = emit(out, cv, ap, start);
        if (status != VI_SUCCESS) {
            out.resize(start);
            return status;
        }
    }
    return VI_SUCCESS;
}

}  // namespace qmdc::visa
