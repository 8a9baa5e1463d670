// fmt_conversion.h - parsing one conversion of a viPrintf / viScanf format.
//
// Pure functions: no I/O and no arguments are touched, so a whole format can
// be checked before anything is sent or stored.
#pragma once

#include <cstdint>

#include "visa.h"

namespace qmdc::visa {

enum class FmtMode : unsigned char { Print, Scan };

// What a conversion consumes or produces.
enum class ArgClass : unsigned char {
    SignedInt,    // d i
    UnsignedInt,  // u o x X
    Real,         // f e E g G
    Char,         // c
    String,       // s
    Set,          // [...]        (scan)
    ToEnd,        // t            (scan)
    ToLinefeed,   // T            (scan)
    Count,        // n
    Percent,      // %%
};

enum class LengthMod : unsigned char { None, HH, H, L, LL, LongDouble };

enum class WidthFrom : unsigned char {
    None,
    Format,       // digits in the format
    Argument,     // print "*": an int argument
    SizeArgument  // scan "#": a ViInt32* argument holding the buffer size
};

// Widths and precisions above this are refused (VI_ERROR_NSUP_FMT).
constexpr int kMaxFieldWidth = 65535;

struct Conversion {
    char code = 0;  // the conversion character
    ArgClass cls = ArgClass::Percent;
    LengthMod len = LengthMod::None;
    WidthFrom widthFrom = WidthFrom::None;
    int width = 0;
    int precision = -1;  // -1: none given
    bool precisionFromArg = false;
    bool suppress = false;  // scan "*"
    bool leftAlign = false, plus = false, space = false, zeroPad = false, alternate = false;
    int base = 10;            // integer conversions; 0 = from the prefix (%i)
    bool negatedSet = false;  // "[^...]"
    uint32_t set[8] = {};     // members of a scan set, one bit per byte value

    bool inSet(unsigned char c) const {
        const bool member = (set[c >> 5] >> (c & 31)) & 1u;
        return member != negatedSet;
    }
};

// Parses the conversion starting at `p`, just after its '%'. On VI_SUCCESS,
// *next points past it; otherwise VI_ERROR_INV_FMT or VI_ERROR_NSUP_FMT.
ViStatus parseConversion(const char* p, FmtMode mode, Conversion* cv, const char** next);

// Checks every conversion of a format.
ViStatus checkFormat(const char* fmt, FmtMode mode);

}  // namespace qmdc::visa
