// Our VISA formatted I/O engines, called directly: the input gives a format
// and the data. Arguments are built from the parsed format, each of the C
// type its conversion takes, so every valid format runs:
//   - print: up to four arguments in one call (every type combination is a
//     template instance); longer formats run one conversion at a time;
//   - scan: every argument is a pointer to a buffer of exactly the size the
//     conversion may fill, with guard bytes around it.
// A format the checker refuses must fail before any argument or input byte
// is used, and a failed print must leave the output as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "fmt_conversion.h"
#include "fmt_print.h"
#include "fmt_scan.h"
#include "support/guarded_text.h"

using namespace qmdc::visa;
using qmdc_fuzz::GuardedText;

namespace {

// ---- print ----------------------------------------------------------------

enum class Kind { Int, Int64, Double, Pointer };

// Argument values for one print, taken from the input as the format needs them.
struct PrintArgs {
    std::vector<Kind> kinds;
    std::vector<long long> integers;
    std::vector<double> reals;
    std::vector<const char*> pointers;
    std::deque<std::string> texts;                     // stable: pointers point into them
    std::vector<std::unique_ptr<GuardedText>> counts;  // %n targets
};

void AddKind(PrintArgs& args, Kind kind, FuzzedDataProvider& in) {
    args.kinds.push_back(kind);
    switch (kind) {
        case Kind::Int:
            args.integers.push_back(in.ConsumeIntegral<int>());
            break;
        case Kind::Int64:
            args.integers.push_back(in.ConsumeIntegral<long long>());
            break;
        case Kind::Double:
            args.reals.push_back(in.ConsumeFloatingPoint<double>());
            break;
        case Kind::Pointer:
            break;  // filled by the caller
    }
}

// The arguments of one conversion, in the order it takes them.
void AddConversion(PrintArgs& args, const Conversion& cv, FuzzedDataProvider& in) {
    if (cv.widthFrom == WidthFrom::Argument) AddKind(args, Kind::Int, in);
    if (cv.precisionFromArg) AddKind(args, Kind::Int, in);
    switch (cv.cls) {
        case ArgClass::SignedInt:
        case ArgClass::UnsignedInt:
            AddKind(args, cv.len == LengthMod::LL ? Kind::Int64 : Kind::Int, in);
            break;
        case ArgClass::Real:
            AddKind(args, Kind::Double, in);
            break;
        case ArgClass::Char:
            AddKind(args, Kind::Int, in);
            break;
        case ArgClass::String:
            args.texts.push_back(in.ConsumeRandomLengthString(64));
            args.pointers.push_back(args.texts.back().c_str());
            AddKind(args, Kind::Pointer, in);
            break;
        case ArgClass::Count:
            args.counts.push_back(std::make_unique<GuardedText>(8));
            args.pointers.push_back(args.counts.back()->data());
            AddKind(args, Kind::Pointer, in);
            break;
        default:
            break;
    }
}

ViStatus PrintWith(std::string& out, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const ViStatus status = printFormat(out, fmt, &ap);
    va_end(ap);
    return status;
}

constexpr size_t kMaxPrintArgs = 4;

// Calls PrintWith with the arguments in args.kinds, each of its own C type.
template <class... Values>
ViStatus Dispatch(std::string& out, const char* fmt, const PrintArgs& args, size_t next,
                  size_t integer, size_t real, size_t pointer, Values... values) {
    if constexpr (sizeof...(Values) < kMaxPrintArgs) {
        if (next < args.kinds.size()) {
            switch (args.kinds[next]) {
                case Kind::Int:
                    return Dispatch(out, fmt, args, next + 1, integer + 1, real, pointer, values...,
                                    static_cast<int>(args.integers[integer]));
                case Kind::Int64:
                    return Dispatch(out, fmt, args, next + 1, integer + 1, real, pointer, values...,
                                    static_cast<ViInt64>(args.integers[integer]));
                case Kind::Double:
                    return Dispatch(out, fmt, args, next + 1, integer, real + 1, pointer, values...,
                                    args.reals[real]);
                case Kind::Pointer:
                    return Dispatch(out, fmt, args, next + 1, integer, real, pointer + 1, values...,
                                    args.pointers[pointer]);
            }
        }
    }
    return PrintWith(out, fmt, values...);
}

void CheckPrint(const std::string& fmt, FuzzedDataProvider& in) {
    const std::string before = "prefix";
    std::string out = before;
    if (checkFormat(fmt.c_str(), FmtMode::Print) != VI_SUCCESS) {
        // Refused before any argument is taken: none is given.
        FUZZ_CHECK(PrintWith(out, fmt.c_str()) < 0, "a refused format printed");
        FUZZ_CHECK(out == before, "a refused format changed the output");
        return;
    }
    // One piece per conversion: the literal text before it and the conversion.
    std::vector<std::string> pieces;
    PrintArgs args;
    std::vector<size_t> argsAfterPiece;
    for (const char* p = fmt.c_str(); *p != '\0';) {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            pieces.emplace_back(p);
            argsAfterPiece.push_back(args.kinds.size());
            break;
        }
        Conversion cv;
        const char* next = nullptr;
        FUZZ_CHECK(parseConversion(percent + 1, FmtMode::Print, &cv, &next) == VI_SUCCESS,
                   "a conversion of a checked format does not parse");
        AddConversion(args, cv, in);
        pieces.emplace_back(p, next);
        argsAfterPiece.push_back(args.kinds.size());
        p = next;
    }

    ViStatus status;
    if (args.kinds.size() <= kMaxPrintArgs) {
        status = Dispatch(out, fmt.c_str(), args, 0, 0, 0, 0);
    } else {
        // Piece by piece, each with the arguments it takes (at most three).
        PrintArgs one;
        status = VI_SUCCESS;
        size_t first = 0, integer = 0, real = 0, pointer = 0;
        for (size_t i = 0; i < pieces.size() && status == VI_SUCCESS; ++i) {
            one.kinds.assign(args.kinds.begin() + first, args.kinds.begin() + argsAfterPiece[i]);
            one.integers.assign(args.integers.begin() + integer, args.integers.end());
            one.reals.assign(args.reals.begin() + real, args.reals.end());
            one.pointers.assign(args.pointers.begin() + pointer, args.pointers.end());
            for (Kind kind : one.kinds) {
                integer += kind == Kind::Int || kind == Kind::Int64;
                real += kind == Kind::Double;
                pointer += kind == Kind::Pointer;
            }
            first = argsAfterPiece[i];
            status = Dispatch(out, pieces[i].c_str(), one, 0, 0, 0, 0);
        }
    }
    for (const auto& count : args.counts) count->CheckGuards("print %n");
    if (status < 0 && args.kinds.size() <= kMaxPrintArgs)
        FUZZ_CHECK(out == before, "a failed print changed the output");
    FUZZ_CHECK(out.compare(0, before.size(), before) == 0, "a print changed what was there");
}

// ---- scan -----------------------------------------------------------------

// Input bytes from the fuzz data; it ends in END or in a failure.
class DataInput : public ScanInput {
  public:
    DataInput(std::string bytes, bool fails) : bytes_(std::move(bytes)), fails_(fails) {}
    int peek() override {
        if (next_ < bytes_.size()) return static_cast<unsigned char>(bytes_[next_]);
        return fails_ ? kFail : kEnd;
    }
    void advance() override {
        FUZZ_CHECK(next_ < bytes_.size(), "advance past the input");
        ++next_;
    }
    ViStatus failure() const override { return VI_ERROR_TMO; }
    size_t consumed() const { return next_; }

  private:
    std::string bytes_;
    bool fails_;
    size_t next_ = 0;
};

constexpr size_t kMaxScanArgs = 24;

ViStatus ScanWith(ScanInput& in, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const ViStatus status = scanFormat(in, fmt, &ap);
    va_end(ap);
    return status;
}

// The bytes a conversion may store into its buffer.
size_t TargetSize(const Conversion& cv, size_t inputSize) {
    switch (cv.cls) {
        case ArgClass::SignedInt:
        case ArgClass::UnsignedInt:
        case ArgClass::Count:
            switch (cv.len) {
                case LengthMod::HH:
                    return 1;
                case LengthMod::H:
                    return 2;
                case LengthMod::LL:
                    return 8;
                default:
                    return 4;
            }
        case ArgClass::Real:
            return cv.len == LengthMod::L ? sizeof(double) : sizeof(float);
        case ArgClass::Char:
            return cv.widthFrom == WidthFrom::Format ? static_cast<size_t>(cv.width) : 1;
        default:  // texts: the width and a terminator, else all the input can give
            return cv.widthFrom == WidthFrom::Format ? static_cast<size_t>(cv.width) + 1
                                                     : inputSize + 1;
    }
}

void CheckScan(const std::string& fmt, FuzzedDataProvider& in) {
    const bool fails = in.ConsumeBool();
    std::vector<std::unique_ptr<GuardedText>> buffers;
    std::vector<std::unique_ptr<ViInt32>> sizes;
    std::vector<ViInt32> givenSizes;
    std::vector<void*> pointers;
    const bool valid = checkFormat(fmt.c_str(), FmtMode::Scan) == VI_SUCCESS;
    if (valid) {
        for (const char* p = fmt.c_str(); (p = std::strchr(p, '%')) != nullptr;) {
            Conversion cv;
            parseConversion(p + 1, FmtMode::Scan, &cv, &p);
            if (cv.suppress || cv.cls == ArgClass::Percent) continue;
            size_t size;
            if (cv.widthFrom == WidthFrom::SizeArgument) {
                sizes.push_back(std::make_unique<ViInt32>(in.ConsumeIntegralInRange(-2, 300)));
                pointers.push_back(sizes.back().get());
                givenSizes.push_back(*sizes.back());
                size = *sizes.back() > 0 ? static_cast<size_t>(*sizes.back()) : 0;
            } else {
                size = TargetSize(cv, in.remaining_bytes());
            }
            buffers.push_back(std::make_unique<GuardedText>(size));
            pointers.push_back(buffers.back()->data());
        }
        if (pointers.size() > kMaxScanArgs) return;
    }
    pointers.resize(kMaxScanArgs, nullptr);
    DataInput input(in.ConsumeRemainingBytesAsString(), fails);
    // Every argument is a pointer; each conversion reads its own as the type
    // it stores, which has the same representation.
    void** a = pointers.data();
    const ViStatus status = ScanWith(input, fmt.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6],
                                     a[7], a[8], a[9], a[10], a[11], a[12], a[13], a[14], a[15],
                                     a[16], a[17], a[18], a[19], a[20], a[21], a[22], a[23]);
    for (const auto& buffer : buffers) buffer->CheckGuards("scan");
    if (!valid) {
        FUZZ_CHECK(status < 0, "a refused format scanned");
        FUZZ_CHECK(input.consumed() == 0, "a refused format read input");
        return;
    }
    FUZZ_CHECK(status == VI_SUCCESS || status == VI_ERROR_TMO, "a scan gave %ld",
               static_cast<long>(status));
    for (size_t i = 0; i < sizes.size(); ++i)
        FUZZ_CHECK(*sizes[i] <= std::max(givenSizes[i], 0),
                   "a scan into %ld characters reported %ld", static_cast<long>(givenSizes[i]),
                   static_cast<long>(*sizes[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool scan = in.ConsumeBool();
    const std::string fmt = in.ConsumeRandomLengthString(256);
    if (scan)
        CheckScan(fmt, in);
    else
        CheckPrint(fmt, in);
    return 0;
}
