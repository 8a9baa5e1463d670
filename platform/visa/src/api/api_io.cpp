// api_io.cpp - the status byte, the trigger, remote/local control, buffers,
// files, formatting to memory and viTerminate.
#include "api_exports.h"  // first: the exports keep default visibility
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "api_guard.h"
#include "fmt_print.h"
#include "fmt_scan.h"

using namespace qmdc::visa;

namespace {

// A NUL-terminated string as scan input: the NUL is END.
class StringInput final : public ScanInput {
  public:
    explicit StringInput(const ViByte* text) : p_(text) {}
    int peek() override { return *p_ == 0 ? kEnd : *p_; }
    void advance() override { ++p_; }
    ViStatus failure() const override { return VI_SUCCESS; }

  private:
    const ViByte* p_;
};

ViStatus printToMemory(ViSession vi, ViPBuf buf, ViConstString fmt, va_list* ap) {
    return withAnySession(vi, [&](Session&) -> ViStatus {
        if (buf == nullptr) return VI_ERROR_USER_BUF;
        std::string out;
        const ViStatus status = printFormat(out, fmt, ap);
        if (status != VI_SUCCESS) return status;
        std::memcpy(buf, out.c_str(), out.size() + 1);  // as large as the caller made it
        return VI_SUCCESS;
    });
}

ViStatus scanFromMemory(ViSession vi, ViConstBuf buf, ViConstString fmt, va_list* ap) {
    return withAnySession(vi, [&](Session&) -> ViStatus {
        if (buf == nullptr) return VI_ERROR_USER_BUF;
        StringInput input(buf);
        return scanFormat(input, fmt, ap);
    });
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool appends(Session& s) {
    std::lock_guard<std::mutex> guard(s.services.mutex);
    return s.services.fileAppend;
}

}  // namespace

extern "C" {

ViStatus _VI_FUNC viReadSTB(ViSession vi, ViPUInt16 status) {
    return withSession(vi, [&](Session& s) -> ViStatus {
        if (status == nullptr) return VI_ERROR_USER_BUF;
        return s.readStatusByte(status);
    });
}

ViStatus _VI_FUNC viAssertTrigger(ViSession vi, ViUInt16 protocol) {
    return withSession(vi, [&](Session& s) -> ViStatus {
        if (protocol != VI_TRIG_PROT_DEFAULT) return VI_ERROR_INV_PROT;
        return s.assertTrigger();
    });
}

ViStatus _VI_FUNC viGpibControlREN(ViSession vi, ViUInt16 mode) {
    return withSession(vi, [&](Session& s) -> ViStatus {
        if (mode > VI_GPIB_REN_ADDRESS_GTL) return VI_ERROR_INV_MODE;
        return s.remoteLocal(mode);
    });
}

ViStatus _VI_FUNC viTerminate(ViObject vi, ViUInt16 degree, ViJobId jobId) {
    // No operation of this library runs asynchronously, so there is never a
    // job to end: VI_NULL (all of them) ends nothing.
    return withAnySession(vi, [&](Session&) -> ViStatus {
        if (degree != VI_NULL) return VI_ERROR_INV_DEGREE;
        return jobId == VI_NULL ? VI_SUCCESS : VI_ERROR_INV_JOB_ID;
    });
}

ViStatus _VI_FUNC viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size) {
    return withSession(vi, [&](Session& s) { return s.setBuf(mask, size); });
}

ViStatus _VI_FUNC viBufRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    return withSession(vi, [&](Session& s) { return s.bufRead(buf, cnt, retCnt); });
}

ViStatus _VI_FUNC viBufWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    return withSession(vi, [&](Session& s) { return s.bufWrite(buf, cnt, retCnt); });
}

ViStatus _VI_FUNC viReadToFile(ViSession vi, ViConstString filename, ViUInt32 cnt,
                               ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    return withSession(vi, [&](Session& s) -> ViStatus {
        if (filename == nullptr) return VI_ERROR_USER_BUF;
        const File file(std::fopen(filename, appends(s) ? "ab" : "wb"));
        if (!file) return VI_ERROR_FILE_ACCESS;
        // viRead's rules, a buffer at a time, until END, the count or an error.
        ViByte chunk[4096];
        ViUInt32 total = 0;
        ViStatus status = VI_SUCCESS_MAX_CNT;
        while (status == VI_SUCCESS_MAX_CNT && total < cnt) {
            ViUInt32 got = 0;
            const ViUInt32 want = cnt - total < sizeof chunk ? cnt - total : sizeof chunk;
            status = s.read(chunk, want, &got);
            if (std::fwrite(chunk, 1, got, file.get()) != got) return VI_ERROR_FILE_IO;
            total += got;
            if (retCnt != nullptr) *retCnt = total;
        }
        return std::fflush(file.get()) == 0 ? status : VI_ERROR_FILE_IO;
    });
}

ViStatus _VI_FUNC viWriteFromFile(ViSession vi, ViConstString filename, ViUInt32 cnt,
                                  ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    return withSession(vi, [&](Session& s) -> ViStatus {
        if (filename == nullptr) return VI_ERROR_USER_BUF;
        const File file(std::fopen(filename, "rb"));
        if (!file) return VI_ERROR_FILE_ACCESS;
        // The whole transfer is one message: END goes with its last byte.
        std::string data;
        ViByte chunk[4096];
        while (data.size() < cnt) {
            const size_t want = cnt - data.size() < sizeof chunk ? cnt - data.size() : sizeof chunk;
            const size_t got = std::fread(chunk, 1, want, file.get());
            data.append(reinterpret_cast<const char*>(chunk), got);
            if (got < want) break;
        }
        if (std::ferror(file.get())) return VI_ERROR_FILE_IO;
        return s.write(reinterpret_cast<const ViByte*>(data.data()),
                       static_cast<ViUInt32>(data.size()), retCnt);
    });
}

ViStatus _VI_FUNC viVSPrintf(ViSession vi, ViPBuf buf, ViConstString writeFmt, ViVAList parms) {
    va_list ap;
    va_copy(ap, parms);
    const ViStatus status = printToMemory(vi, buf, writeFmt, &ap);
    va_end(ap);
    return status;
}

ViStatus _VI_FUNCC viSPrintf(ViSession vi, ViPBuf buf, ViConstString writeFmt, ...) {
    va_list ap;
    va_start(ap, writeFmt);
    const ViStatus status = printToMemory(vi, buf, writeFmt, &ap);
    va_end(ap);
    return status;
}

ViStatus _VI_FUNC viVSScanf(ViSession vi, ViConstBuf buf, ViConstString readFmt, ViVAList parms) {
    va_list ap;
    va_copy(ap, parms);
    const ViStatus status = scanFromMemory(vi, buf, readFmt, &ap);
    va_end(ap);
    return status;
}

ViStatus _VI_FUNCC viSScanf(ViSession vi, ViConstBuf buf, ViConstString readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    const ViStatus status = scanFromMemory(vi, buf, readFmt, &ap);
    va_end(ap);
    return status;
}

}  // extern "C"
