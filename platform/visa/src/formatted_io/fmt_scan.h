// fmt_scan.h - the viScanf parser, over any source of input bytes.
#pragma once

#include <cstdarg>

#include "visa.h"

namespace qmdc::visa {

// Where a scan takes its bytes from. peek() may wait for more input.
class ScanInput {
  public:
    static constexpr int kEnd = -1;   // the message ended (END)
    static constexpr int kFail = -2;  // the input failed: see failure()

    virtual ~ScanInput() = default;
    // The next byte (0..255) without consuming it, kEnd or kFail.
    virtual int peek() = 0;
    // Consumes the byte that peek() returned.
    virtual void advance() = 0;
    virtual ViStatus failure() const = 0;
};

// Scans `fmt`, storing into the arguments taken from *ap (advanced). The
// format is checked first (VI_ERROR_INV_FMT / VI_ERROR_NSUP_FMT before any
// input is read). A mismatch or END ends the scan with VI_SUCCESS; a failing
// input returns its status; a null argument pointer VI_ERROR_USER_BUF.
ViStatus scanFormat(ScanInput& in, const char* fmt, va_list* ap);

}  // namespace qmdc::visa
