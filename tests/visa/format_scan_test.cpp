// The viScanf parser on its own, over an in-memory input.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "fmt_scan.h"

namespace {

using qmdc::visa::scanFormat;
using qmdc::visa::ScanInput;

// Bytes of one message; with `end` the message ends (END) after the last
// byte, otherwise running out is a timeout.
class StringInput final : public ScanInput {
  public:
    explicit StringInput(std::string data, bool end = true) : data_(std::move(data)), end_(end) {}
    int peek() override {
        if (pos_ < data_.size()) return static_cast<unsigned char>(data_[pos_]);
        return end_ ? kEnd : kFail;
    }
    void advance() override { ++pos_; }
    ViStatus failure() const override { return VI_ERROR_TMO; }
    std::string rest() const { return data_.substr(pos_); }

  private:
    std::string data_;
    size_t pos_ = 0;
    bool end_;
};

ViStatus scan(StringInput& in, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const ViStatus status = scanFormat(in, fmt, &ap);
    va_end(ap);
    return status;
}

// A value followed by guard bytes that must survive every store.
template <class T>
struct Guarded {
    T value;
    unsigned char guard[8];
    Guarded() { std::memset(static_cast<void*>(this), 0xA5, sizeof *this); }
    bool intact() const {
        for (unsigned char g : guard)
            if (g != 0xA5) return false;
        return true;
    }
};

TEST(VisaScan, StatusAndCountAnswers) {
    StringInput esr("+17\n");
    Guarded<ViInt32> v;
    EXPECT_EQ(scan(esr, "%ld%*T", &v.value), VI_SUCCESS);
    EXPECT_EQ(v.value, 17);
    EXPECT_TRUE(v.intact());
    EXPECT_EQ(esr.rest(), "");

    StringInput tst("-3\n");
    Guarded<ViInt16> h;
    EXPECT_EQ(scan(tst, "%hd%*T", &h.value), VI_SUCCESS);
    EXPECT_EQ(h.value, -3);
    EXPECT_TRUE(h.intact());

    StringInput count("  2048\n");
    ViInt32 n = 0;
    EXPECT_EQ(scan(count, "%ld%*t", &n), VI_SUCCESS);
    EXPECT_EQ(n, 2048);
    EXPECT_EQ(count.rest(), "");
}

TEST(VisaScan, RealAnswer) {
    StringInput in("+1.23400E+01\n");
    Guarded<ViReal64> d;
    EXPECT_EQ(scan(in, "%lf%*t", &d.value), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(d.value, 12.34);
    EXPECT_TRUE(d.intact());
    StringInput f("-.5e-1 7");
    Guarded<ViReal32> r;
    ViReal64 e = 0;
    EXPECT_EQ(scan(f, "%f%le", &r.value, &e), VI_SUCCESS);
    EXPECT_FLOAT_EQ(r.value, -0.05f);
    EXPECT_DOUBLE_EQ(e, 7.0);
    EXPECT_TRUE(r.intact());
}

TEST(VisaScan, IdentityAnswerInFourFields) {
    StringInput in("Orvane,DC1000-60,SN4711,1.02.7\n");
    char f[4][257];
    EXPECT_EQ(scan(in, "%256[^,],%256[^,],%256[^,],%256[^,]%*T", f[0], f[1], f[2], f[3]),
              VI_SUCCESS);
    EXPECT_STREQ(f[0], "Orvane");
    EXPECT_STREQ(f[1], "DC1000-60");
    EXPECT_STREQ(f[2], "SN4711");
    // "[^,]" also takes the linefeed; the last field ends at END.
    EXPECT_STREQ(f[3], "1.02.7\n");
}

TEST(VisaScan, ErrorQueueLineKeepsItsLinefeed) {
    StringInput in("-113,\"Undefined header\"\nmore");
    char line[64];
    EXPECT_EQ(scan(in, "%T", line), VI_SUCCESS);
    EXPECT_STREQ(line, "-113,\"Undefined header\"\n");
    EXPECT_EQ(in.rest(), "more");
}

TEST(VisaScan, TextAnswersWithSizeArgument) {
    StringInput line("CURR\n");
    ViInt32 size = 256;
    char buf[256];
    EXPECT_EQ(scan(line, "%#[^\n]%*t", &size, buf), VI_SUCCESS);
    EXPECT_STREQ(buf, "CURR");
    EXPECT_EQ(size, 4);
    EXPECT_EQ(line.rest(), "");

    StringInput first("ON,5.0\n");
    size = 256;
    EXPECT_EQ(scan(first, "%#[^,],%*t", &size, buf), VI_SUCCESS);
    EXPECT_STREQ(buf, "ON");
    EXPECT_EQ(size, 2);

    StringInput second("ON,5.0\n");
    size = 256;
    EXPECT_EQ(scan(second, "%*[^,],%#[^\n]%*t", &size, buf), VI_SUCCESS);
    EXPECT_STREQ(buf, "5.0");
    EXPECT_EQ(size, 3);
}

// With "#" the field is consumed whole, but only size-1 characters and the
// NUL are stored; the rest of the format still matches.
TEST(VisaScan, SizeArgumentNeverOverruns) {
    struct {
        char buf[4];
        unsigned char guard[8];
    } g;
    std::memset(&g, 0xA5, sizeof g);
    StringInput in("abcdefgh,tail\n");
    ViInt32 size = 4;
    char tail[16];
    EXPECT_EQ(scan(in, "%#[^,],%s", &size, g.buf, tail), VI_SUCCESS);
    EXPECT_STREQ(g.buf, "abc");
    EXPECT_EQ(size, 3);
    EXPECT_STREQ(tail, "tail");
    for (unsigned char c : g.guard) EXPECT_EQ(c, 0xA5);

    StringInput one("xyz\n");
    size = 1;
    g.buf[0] = 'Q';
    EXPECT_EQ(scan(one, "%#s", &size, g.buf), VI_SUCCESS);
    EXPECT_EQ(g.buf[0], '\0');
    EXPECT_EQ(size, 0);

    StringInput zero("xyz\n");
    size = 0;
    g.buf[0] = 'Q';
    EXPECT_EQ(scan(zero, "%#t", &size, g.buf), VI_SUCCESS);
    EXPECT_EQ(g.buf[0], 'Q');  // no room even for the NUL
    EXPECT_EQ(size, 0);
}

// A numeric width stops the field, as in C; the rest stays for what follows.
TEST(VisaScan, WidthNeverOverruns) {
    struct {
        char buf[6];
        unsigned char guard[8];
    } g;
    std::memset(&g, 0xA5, sizeof g);
    StringInput in("abcdefghij\n");
    char rest[16];
    EXPECT_EQ(scan(in, "%5[^\n]%s", g.buf, rest), VI_SUCCESS);
    EXPECT_STREQ(g.buf, "abcde");
    EXPECT_STREQ(rest, "fghij");
    for (unsigned char c : g.guard) EXPECT_EQ(c, 0xA5);

    StringInput digits("123456");
    ViInt32 a = 0, b = 0;
    EXPECT_EQ(scan(digits, "%2ld%3ld", &a, &b), VI_SUCCESS);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 345);
    EXPECT_EQ(digits.rest(), "6");
}

TEST(VisaScan, StoresExactlyTheTargetSize) {
    Guarded<ViInt32> l;
    Guarded<short> h;
    Guarded<signed char> hh;
    Guarded<ViInt64> ll;
    Guarded<ViReal32> f;
    StringInput in("-1 -2 -3 -4 5.5");
    EXPECT_EQ(scan(in, "%ld %hd %hhd %lld %f", &l.value, &h.value, &hh.value, &ll.value, &f.value),
              VI_SUCCESS);
    EXPECT_EQ(l.value, -1);
    EXPECT_EQ(h.value, -2);
    EXPECT_EQ(hh.value, -3);
    EXPECT_EQ(ll.value, -4);
    EXPECT_FLOAT_EQ(f.value, 5.5f);
    EXPECT_TRUE(l.intact() && h.intact() && hh.intact() && ll.intact() && f.intact());
}

TEST(VisaScan, IntegerBases) {
    StringInput in("0x1A 017 -9 ff 17 42 0XbeeF");
    int a, b, c;
    ViUInt32 x, o, u, y;
    EXPECT_EQ(scan(in, "%i %i %i %lx %lo %lu %lX", &a, &b, &c, &x, &o, &u, &y), VI_SUCCESS);
    EXPECT_EQ(a, 26);
    EXPECT_EQ(b, 15);
    EXPECT_EQ(c, -9);
    EXPECT_EQ(x, 0xFFu);
    EXPECT_EQ(o, 15u);
    EXPECT_EQ(u, 42u);
    EXPECT_EQ(y, 0xBEEFu);
}

TEST(VisaScan, CharactersAndCount) {
    StringInput in(" ab cdef\n");
    char one = 0, three[3];
    char four[4];
    ViInt32 size = 2;
    ViInt32 n = 0;
    EXPECT_EQ(scan(in, "%c%3c%#c%ln", &one, three, &size, four, &n), VI_SUCCESS);
    EXPECT_EQ(one, ' ');  // %c does not skip whitespace
    EXPECT_EQ(std::string(three, 3), "ab ");
    EXPECT_EQ(std::string(four, 2), "cd");
    EXPECT_EQ(size, 2);
    EXPECT_EQ(n, 6);
}

TEST(VisaScan, ScanSets) {
    StringInput in("ab12z]x]y-q");
    char a[16], b[16], c[16];
    EXPECT_EQ(scan(in, "%[a-c0-9]%*c%[]x]%[^-]", a, b, c), VI_SUCCESS);
    EXPECT_STREQ(a, "ab12");
    EXPECT_STREQ(b, "]x]");
    EXPECT_STREQ(c, "y");
    EXPECT_EQ(in.rest(), "-q");
    StringInput dash("--a+");
    EXPECT_EQ(scan(dash, "%[-a]", a), VI_SUCCESS);
    EXPECT_STREQ(a, "--a");
}

TEST(VisaScan, WhitespaceAndLiterals) {
    StringInput in("  1 ,\t  2%\n");
    ViInt32 a = 0, b = 0;
    EXPECT_EQ(scan(in, " %ld , %ld%%", &a, &b), VI_SUCCESS);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(in.rest(), "\n");
}

// A conversion that finds no number, or a literal that does not match,
// ends the scan successfully; later arguments are left alone.
TEST(VisaScan, MismatchEndsTheScanAndLeavesArgumentsAlone) {
    StringInput words("abc\n");
    ViInt32 a = 111, b = 222;
    EXPECT_EQ(scan(words, "%ld,%ld", &a, &b), VI_SUCCESS);
    EXPECT_EQ(a, 111);
    EXPECT_EQ(b, 222);
    EXPECT_EQ(words.rest(), "abc\n");

    StringInput literal("5;6");
    EXPECT_EQ(scan(literal, "%ld,%ld", &a, &b), VI_SUCCESS);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 222);
    EXPECT_EQ(literal.rest(), ";6");

    StringInput sign("-x");
    EXPECT_EQ(scan(sign, "%ld", &b), VI_SUCCESS);
    EXPECT_EQ(b, 222);
}

TEST(VisaScan, EndOfMessageEndsTheScan) {
    StringInput in("5");
    ViInt32 a = 0, b = 222;
    char text[8] = "keep";
    EXPECT_EQ(scan(in, "%ld%ld%t", &a, &b, text), VI_SUCCESS);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 222);
    EXPECT_STREQ(text, "keep");
}

TEST(VisaScan, ToEndKeepsTheTerminator) {
    StringInput in("abc\n");
    char text[8];
    EXPECT_EQ(scan(in, "%t", text), VI_SUCCESS);
    EXPECT_STREQ(text, "abc\n");
    StringInput lines("a\nb\n");
    char l1[4], l2[4];
    EXPECT_EQ(scan(lines, "%T%T", l1, l2), VI_SUCCESS);
    EXPECT_STREQ(l1, "a\n");
    EXPECT_STREQ(l2, "b\n");
}

// A number the target cannot hold, or one longer than a number token, is
// read to its end and stores nothing: wrapped or cut it would be another
// number. "%n" after it shows whether the conversion took it.
TEST(VisaScan, NumbersThatDoNotFitStoreNothing) {
    struct Case {
        const char* fmt;
        std::string input;
        size_t bytes;     // stored; 0 when the conversion takes nothing
        long long value;  // whose low bytes are stored
    };
    const Case cases[] = {
        {"%ld", "2147483647", 4, 2147483647},
        {"%ld", "-2147483648", 4, -2147483647LL - 1},
        {"%ld", "2147483648", 0, 0},
        {"%ld", "-2147483649", 0, 0},
        {"%ld", "4294967297", 0, 0},
        {"%ld", "99999999999999999999", 0, 0},
        {"%hd", "-32768", 2, -32768},
        {"%hd", "32768", 0, 0},
        {"%hhd", "128", 0, 0},
        {"%lld", "9223372036854775808", 0, 0},
        {"%lu", "4294967295", 4, 4294967295LL},
        {"%lu", "4294967296", 0, 0},
        {"%lx", "1FFFFFFFF", 0, 0},
        {"%i", "0x80000000", 0, 0},
        {"%ld", std::string(126, '0') + "5", 4, 5},  // 127 characters
        {"%ld", std::string(127, '0') + "5", 0, 0},
        {"%lf", std::string(201, '9'), 0, 0},
        {"%lf", "1e999", 0, 0},
        {"%f", "1e39", 0, 0},
    };
    for (const Case& c : cases) {
        StringInput in(c.input + "x\n");
        ViInt32 count = -1;
        unsigned char target[8] = {};
        EXPECT_EQ(scan(in, (std::string(c.fmt) + "%ln").c_str(), target, &count), VI_SUCCESS);
        EXPECT_EQ(count >= 0, c.bytes > 0) << c.fmt << " " << c.input;
        EXPECT_EQ(in.rest(), "x\n") << "the whole number is read: " << c.input;
        unsigned char expected[8] = {};
        std::memcpy(expected, &c.value, c.bytes);  // little-endian
        EXPECT_EQ(std::memcmp(target, expected, sizeof target), 0) << c.fmt << " " << c.input;
    }
}

TEST(VisaScan, InputFailureIsReturned) {
    StringInput in("12", false);  // no END: the number may go on
    ViInt32 a = 111;
    EXPECT_EQ(scan(in, "%ld", &a), VI_ERROR_TMO);
    EXPECT_EQ(a, 111);
}

TEST(VisaScan, NullArgumentsGiveUserBuf) {
    StringInput in("1 abc");
    EXPECT_EQ(scan(in, "%ld", static_cast<ViInt32*>(nullptr)), VI_ERROR_USER_BUF);
    StringInput text("abc");
    ViInt32 size = 4;
    EXPECT_EQ(scan(text, "%#s", &size, static_cast<char*>(nullptr)), VI_ERROR_USER_BUF);
    EXPECT_EQ(scan(text, "%#s", static_cast<ViInt32*>(nullptr)), VI_ERROR_USER_BUF);
}

// A bad format is found before anything is read or stored.
TEST(VisaScan, MalformedFormatsAreRefusedUpFront) {
    struct Case {
        const char* fmt;
        ViStatus status;
    };
    const Case cases[] = {
        {"%", VI_ERROR_INV_FMT},     {"%q", VI_ERROR_INV_FMT},       {"%[abc", VI_ERROR_INV_FMT},
        {"%[^", VI_ERROR_INV_FMT},   {"%[]", VI_ERROR_INV_FMT},      {"%[z-a]", VI_ERROR_INV_FMT},
        {"%#d", VI_ERROR_INV_FMT},   {"%#lf", VI_ERROR_INV_FMT},     {"%*#s", VI_ERROR_INV_FMT},
        {"%0d", VI_ERROR_INV_FMT},   {"%5n", VI_ERROR_INV_FMT},      {"%*n", VI_ERROR_INV_FMT},
        {"%-d", VI_ERROR_INV_FMT},   {"%hf", VI_ERROR_INV_FMT},      {"%.2f", VI_ERROR_INV_FMT},
        {"%ls", VI_ERROR_NSUP_FMT},  {"%Lf", VI_ERROR_NSUP_FMT},     {"%b", VI_ERROR_NSUP_FMT},
        {"%,5d", VI_ERROR_NSUP_FMT}, {"%70000s", VI_ERROR_NSUP_FMT},
    };
    for (const Case& c : cases) {
        const std::string fmt = std::string("%ld ") + c.fmt;
        StringInput in("7 8 9");
        ViInt32 a = 111;
        char buf[16];
        EXPECT_EQ(scan(in, fmt.c_str(), &a, buf, buf), c.status) << c.fmt;
        EXPECT_EQ(a, 111) << c.fmt;
        EXPECT_EQ(in.rest(), "7 8 9") << c.fmt;
    }
}

TEST(VisaScan, DecimalPointIgnoresTheLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
        GTEST_SKIP() << "no German locale installed";
    StringInput in("1.25\n");
    ViReal64 v = 0;
    const ViStatus status = scan(in, "%lf", &v);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_DOUBLE_EQ(v, 1.25);
}

}  // namespace
