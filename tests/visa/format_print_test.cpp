// The viPrintf formatter on its own (no I/O).
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "fmt_print.h"

namespace {

using qmdc::visa::printFormat;

struct Printed {
    ViStatus status;
    std::string text;
};

Printed print(const char* fmt, ...) {
    Printed p{VI_SUCCESS, "prefix:"};
    va_list ap;
    va_start(ap, fmt);
    p.status = printFormat(p.text, fmt, &ap);
    va_end(ap);
    return p;
}

std::string text(const Printed& p) {
    EXPECT_EQ(p.status, VI_SUCCESS);
    return p.text.substr(7);
}

TEST(VisaPrint, DriverConversions) {
    EXPECT_EQ(text(print("%ld", static_cast<ViInt32>(-2147483647 - 1))), "-2147483648");
    EXPECT_EQ(text(print("%0.15lg", 1.1)), "1.1");
    EXPECT_EQ(text(print("%0.15lg", 0.1 + 0.2)), "0.3");
    EXPECT_EQ(text(print("%0.15lg", 1e-20)), "1e-20");
    EXPECT_EQ(text(print("%0.15lg", 123456789012345678.0)), "1.23456789012346e+17");
    EXPECT_EQ(text(print("%s", "VOLT")), "VOLT");
    EXPECT_EQ(text(print("CAL:CALC:CURR:PAR %0.15lg,%0.15lg,%0.15lg,%0.15lg\n", 1.0, -2.5, 3e9,
                         0.000125)),
              "CAL:CALC:CURR:PAR 1,-2.5,3000000000,0.000125\n");
}

// Reals take a faster path than printf where they can; the text must be
// printf's, byte for byte, for every value and every form.
TEST(VisaPrint, RealsAreWhatPrintfWrites) {
    const char* const formats[] = {"%0.15lg", "%g",   "%.3g",  "%.0g",  "%lf",   "%.10f", "%.0f",
                                   "%e",      "%.0e", "%.17e", "%.15g", "%G",    "%+g",   "%8.3f",
                                   "%-9e",    "%#g",  "% f",   "%.60f", "%.61g", "%E"};
    std::mt19937_64 random(11);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  0.1,
                                  1e-5,
                                  1e-4,
                                  123456789012345678.0,
                                  1e300,
                                  -1e300,
                                  5e-324,
                                  2.5,
                                  -2.5,
                                  0.5,
                                  1500000.0,
                                  HUGE_VAL,
                                  -HUGE_VAL,
                                  std::nan(""),
                                  9.999999999999995e14};
    for (int i = 0; i < 2000; ++i) {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
        values.push_back(std::ldexp(static_cast<double>(random() % 1000000),
                                    static_cast<int>(random() % 80) - 40));
    }
    for (const char* format : formats) {
        for (double value : values) {
            char expected[1024];
            std::snprintf(expected, sizeof expected, format, value);
            EXPECT_EQ(text(print(format, value)), expected) << format << " " << value;
        }
    }
}

// "%ld" takes a 4-byte ViInt32 even where long is 8 bytes: the arguments
// that follow must still line up.
TEST(VisaPrint, LongModifierTakesViInt32) {
    EXPECT_EQ(text(print("%ld %s %ld %lu", static_cast<ViInt32>(1), "x", static_cast<ViInt32>(-2),
                         static_cast<ViUInt32>(0xFFFFFFFFu))),
              "1 x -2 4294967295");
    EXPECT_EQ(text(print("%lld %llx", static_cast<ViInt64>(-5000000000LL),
                         static_cast<ViUInt64>(0x123456789ULL))),
              "-5000000000 123456789");
}

TEST(VisaPrint, GeneralConversions) {
    EXPECT_EQ(text(print("[%5d|%-5d|%05d|%+d|% d]", 42, 42, 42, 42, 42)),
              "[   42|42   |00042|+42| 42]");
    EXPECT_EQ(text(print("%x %X %o %#x %#o %u", 255, 255, 8, 255, 8, 7u)), "ff FF 10 0xff 010 7");
    EXPECT_EQ(text(print("%hd %hhd %hu", 70000, 300, 65537)), "4464 44 1");
    EXPECT_EQ(text(print("%i %.3d", -7, 5)), "-7 005");
    EXPECT_EQ(text(print("%e|%E|%f|%g|%G|%.3f", 1234.5, 0.5, 2.0, 1e-5, 1e20, 3.14159)),
              "1.234500e+03|5.000000E-01|2.000000|1e-05|1E+20|3.142");
    EXPECT_EQ(text(print("%#.3g|%+.1e", 1.0, 12345.0)), "1.00|+1.2e+04");
    EXPECT_EQ(text(print("%c%c%3c", 'O', 'K', '!')), "OK  !");
    EXPECT_EQ(text(print("[%10.3s|%-6s]", "abcdef", "ab")), "[       abc|ab    ]");
    EXPECT_EQ(text(print("[%*d|%-*d|%*d]", 4, 7, 3, 8, -3, 9)), "[   7|8  |9  ]");
    EXPECT_EQ(text(print("%.*f|%.*f", 2, 1.005, -1, 0.5)), "1.00|0.500000");
    EXPECT_EQ(text(print("100%%")), "100%");
}

TEST(VisaPrint, CountConversionCountsThisCallOnly) {
    ViInt32 n = -1;
    short h = -1;
    EXPECT_EQ(text(print("abc%ln de%hn", &n, &h)), "abc de");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(h, 6);
}

TEST(VisaPrint, MalformedFormatsAreRefusedAndAppendNothing) {
    struct Case {
        const char* fmt;
        ViStatus status;
    };
    const Case cases[] = {
        {"%", VI_ERROR_INV_FMT},        {"abc%", VI_ERROR_INV_FMT},
        {"%q", VI_ERROR_INV_FMT},       {"%5", VI_ERROR_INV_FMT},
        {"%t", VI_ERROR_INV_FMT},       {"%T", VI_ERROR_INV_FMT},
        {"%[a]", VI_ERROR_INV_FMT},     {"%#d", VI_ERROR_INV_FMT},
        {"%0s", VI_ERROR_INV_FMT},      {"%hf", VI_ERROR_INV_FMT},
        {"%.5c", VI_ERROR_INV_FMT},     {"%5%", VI_ERROR_INV_FMT},
        {"%-n", VI_ERROR_INV_FMT},      {"%Ld", VI_ERROR_INV_FMT},
        {"%hs", VI_ERROR_INV_FMT},      {"%ls", VI_ERROR_NSUP_FMT},
        {"%lc", VI_ERROR_NSUP_FMT},     {"%Lf", VI_ERROR_NSUP_FMT},
        {"%b", VI_ERROR_NSUP_FMT},      {"%y", VI_ERROR_NSUP_FMT},
        {"%@1d", VI_ERROR_NSUP_FMT},    {"%,3d", VI_ERROR_NSUP_FMT},
        {"%p", VI_ERROR_NSUP_FMT},      {"%a", VI_ERROR_NSUP_FMT},
        {"%99999d", VI_ERROR_NSUP_FMT}, {"%.70000f", VI_ERROR_NSUP_FMT},
    };
    for (const Case& c : cases) {
        // The valid first conversion must not be printed either.
        const std::string fmt = std::string("%d ") + c.fmt;
        const Printed p = print(fmt.c_str(), 1, 2, 3);
        EXPECT_EQ(p.status, c.status) << c.fmt;
        EXPECT_EQ(p.text, "prefix:") << c.fmt;
    }
}

TEST(VisaPrint, BadArgumentsGiveAStatus) {
    EXPECT_EQ(print("%s", static_cast<const char*>(nullptr)).status, VI_ERROR_USER_BUF);
    EXPECT_EQ(print("%n", static_cast<int*>(nullptr)).status, VI_ERROR_USER_BUF);
    EXPECT_EQ(print("%*d", 100000, 1).status, VI_ERROR_NSUP_FMT);
    EXPECT_EQ(print(nullptr).status, VI_ERROR_USER_BUF);
}

TEST(VisaPrint, DecimalPointIgnoresTheLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
        GTEST_SKIP() << "no German locale installed";
    const Printed p = print("%0.15lg", 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text(p), "1.5");
}

}  // namespace
