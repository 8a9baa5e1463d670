#include "scpi_shell.h"

#include <cstdlib>
#include <vector>

#include "standard_output.h"
#include "visa.h"

namespace qmdc::cli {
namespace {

// An instrument whose queue never empties must not keep the shell reading.
constexpr int kMaxQueuedErrors = 32;
constexpr size_t kAnswerSize = 65536;

// The code at the start of an error queue entry: "-113,\"Undefined header\"".
long ErrorCode(const std::string& entry) {
    return std::strtol(entry.c_str(), nullptr, 10);
}

// Statuses after which the connection cannot carry another line.
bool IsConnectionLost(ViStatus status) {
    return status == VI_ERROR_CONN_LOST || status == VI_ERROR_IO || status == VI_ERROR_INV_OBJECT;
}

}  // namespace

ScpiShell::ScpiShell(const DriverSession& session, std::ostream& out, std::ostream& err)
    : session_(session), out_(out), err_(err) {}

bool ScpiShell::IsQuery(const std::string& line) {
    return line.find('?') != std::string::npos;
}

bool ScpiShell::Execute(const std::string& line) {
    ViStatus status = Send(line);
    if (status >= 0 && IsQuery(line)) {
        std::string answer;
        status = Receive(answer);
        if (status >= 0) {
            out_ << answer << '\n';
            FlushChecked(out_, kStandardOutputName);
        }
    }
    // A line the instrument refused gets no answer; its queue says why, and
    // is read now so that the error is reported against this line.
    if (status < 0 && !ReportFailure(status, line)) return false;
    status = ReportErrors(line);
    return status >= 0 || ReportFailure(status, "SYST:ERR?");
}

ViStatus ScpiShell::Send(const std::string& line) {
    std::string message = line + "\n";
    ViInt64 written = 0;
    return QmDC_viWrite(session_.vi(), static_cast<ViInt64>(message.size()),
                        reinterpret_cast<ViByte*>(message.data()), &written);
}

ViStatus ScpiShell::Receive(std::string& answer) {
    std::vector<ViByte> buffer(kAnswerSize);
    ViInt64 count = 0;
    const ViStatus status =
        QmDC_viRead(session_.vi(), static_cast<ViInt64>(buffer.size()), buffer.data(), &count);
    answer.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(count));
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
    return status;
}

ViStatus ScpiShell::ReportErrors(const std::string& line) {
    for (int i = 0; i < kMaxQueuedErrors; ++i) {
        std::string entry;
        ViStatus status = Send("SYST:ERR?");
        if (status >= 0) status = Receive(entry);
        if (status < 0) return status;
        if (ErrorCode(entry) == 0) return VI_SUCCESS;
        anyFailed_ = true;
        err_ << line << ": error " << entry << std::endl;
    }
    return VI_SUCCESS;
}

bool ScpiShell::ReportFailure(ViStatus status, const std::string& line) {
    anyFailed_ = true;
    if (IsConnectionLost(status)) {
        err_ << "qmdc: the connection to the instrument was lost (" << line
             << "): " << DescribeStatus(session_.vi(), status) << std::endl;
        return false;
    }
    if (status == VI_ERROR_TMO) {
        ViInt32 timeout = 0;
        QmDC_GetAttributeViInt32(session_.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, &timeout);
        err_ << line << ": timeout: no answer within " << timeout << " ms" << std::endl;
        return true;
    }
    err_ << line << ": " << DescribeStatus(session_.vi(), status) << std::endl;
    return true;
}

}  // namespace qmdc::cli
