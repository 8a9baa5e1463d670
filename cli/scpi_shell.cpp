#include "scpi_shell.h"

#include <cstdlib>
#include <vector>

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

}  // namespace

ScpiShell::ScpiShell(const DriverSession& session, std::ostream& out, std::ostream& err)
    : session_(session), out_(out), err_(err) {}

bool ScpiShell::IsQuery(const std::string& line) {
    return line.find('?') != std::string::npos;
}

void ScpiShell::Execute(const std::string& line) {
    ViStatus status = Send(line);
    if (status < 0) return ReportFailure(status, line);
    if (!IsQuery(line)) return ReportErrors();
    std::string answer;
    status = Receive(answer);
    if (status < 0) {
        ReportFailure(status, line);
        // A query the instrument refused gets no answer; its queue says why.
        if (status == VI_ERROR_TMO) ReportErrors();
        return;
    }
    out_ << answer << std::endl;
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

void ScpiShell::ReportErrors() {
    for (int i = 0; i < kMaxQueuedErrors; ++i) {
        std::string entry;
        ViStatus status = Send("SYST:ERR?");
        if (status >= 0) status = Receive(entry);
        if (status < 0) return ReportFailure(status, "SYST:ERR?");
        if (ErrorCode(entry) == 0) return;
        err_ << "error " << entry << std::endl;
    }
}

void ScpiShell::ReportFailure(ViStatus status, const std::string& line) {
    if (status == VI_ERROR_TMO) {
        ViInt32 timeout = 0;
        QmDC_GetAttributeViInt32(session_.vi(), "", QMDC_ATTR_SYSTEM_IO_TIMEOUT, &timeout);
        err_ << "timeout: no answer to " << line << " within " << timeout << " ms" << std::endl;
        return;
    }
    err_ << line << ": " << DescribeStatus(session_.vi(), status) << std::endl;
}

}  // namespace qmdc::cli
