#include "driver_session.h"

#include <cstdio>
#include <cstdlib>

#include "failure.h"
#include "resource_kinds.h"
#include "visa.h"

namespace qmdc::cli {
namespace {

// A supply whose queue never empties must not keep the tool reading.
constexpr int kMaxQueuedErrors = 32;

std::string HexStatus(ViStatus status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(ViUInt32(status)));
    return text;
}

}  // namespace

std::string DescribeStatus(ViSession vi, ViStatus status, const std::string& subject) {
    ViStatus recorded = 0;
    ViChar description[1024] = "";
    QmDC_GetError(vi, &recorded, sizeof description, description);
    if (recorded != status || description[0] == '\0') {
        // VISA statuses pass through the driver without a record of their own.
        // Asked without the session, the driver records nothing on it when the
        // code is not its own.
        ViChar message[256] = "";
        if (QmDC_error_message(VI_NULL, status, message) < 0 || message[0] == '\0') {
            viStatusDesc(VI_NULL, status, message);
        }
        std::snprintf(description, sizeof description, "%s", message);
    }
    // Some texts leave a place for what they are about ("attribute '%s'")
    // that the driver, having no name at hand, leaves unfilled. Only a text
    // with one such place is filled: with more, which one is the subject's is
    // a guess (the Python package keeps the same rule).
    std::string text = description;
    const std::string blank = "%s";
    const size_t at = text.find(blank);
    if (!subject.empty() && at != std::string::npos &&
        text.find(blank, at + blank.size()) == std::string::npos) {
        text.replace(at, blank.size(), subject);
    }
    return text + " (" + HexStatus(status) + ")";
}

DriverSession::DriverSession(const ConnectionOptions& connection) {
    // The identity query refuses an instrument the driver does not know; the
    // supply is never reset: the tool works with it as it is.
    // Our VISA library reads the variable when it opens its first session.
    if (connection.trace) setenv("QMDC_VISA_TRACE", "stderr", 1);
    const std::string options = InitOptionString(connection);
    const ViStatus status = QmDC_InitWithOptions(const_cast<ViChar*>(connection.resource.c_str()),
                                                 VI_TRUE, VI_FALSE, options.c_str(), &vi_);
    if (status < 0) {
        const std::string where =
            connection.resource.empty() ? "the simulated instrument" : connection.resource;
        throw Failure(OpenFailureMessage(where, status, DescribeStatus(VI_NULL, status)));
    }
    // A logical name may turn simulation on in the configuration store.
    ViBoolean simulate = VI_FALSE;
    const ViStatus query = QmDC_GetAttributeViBoolean(vi_, "", QMDC_ATTR_SIMULATE, &simulate);
    if (query < 0) {
        const std::string description = DescribeStatus(vi_, query);
        QmDC_close(vi_);
        throw Failure("simulation state: " + description);
    }
    simulated_ = simulate == VI_TRUE;
}

DriverSession::~DriverSession() {
    QmDC_close(vi_);
}

ViStatus DriverSession::Check(ViStatus status, const std::string& what,
                              const std::string& subject) const {
    if (status >= 0) return status;
    std::string message = what + ": " + DescribeStatus(vi_, status, subject);
    if (status == QMDC_ERROR_INSTRUMENT_STATUS) {
        const std::vector<std::string> errors = TakeErrorQueue();
        for (size_t i = 0; i < errors.size(); ++i) {
            message += (i == 0 ? "; instrument: " : "; ") + errors[i];
        }
    }
    throw Failure(message);
}

std::string DriverSession::SerialNumber() const {
    if (simulated_) return "simulated";
    std::string query = "*IDN?\n";
    ViInt64 count = 0;
    Check(QmDC_viWrite(vi_, static_cast<ViInt64>(query.size()),
                       reinterpret_cast<ViByte*>(query.data()), &count),
          "serial number");
    ViChar answer[256] = "";
    Check(QmDC_viRead(vi_, sizeof answer - 1, reinterpret_cast<ViByte*>(answer), &count),
          "serial number");
    std::string fields(answer, static_cast<size_t>(count));
    for (int skip = 0; skip < 2; ++skip) {
        const size_t comma = fields.find(',');
        fields = comma == std::string::npos ? "" : fields.substr(comma + 1);
    }
    const std::string serial = fields.substr(0, fields.find(','));
    return serial.empty() ? "unknown" : serial;
}

std::string DriverSession::Text(ViAttr id, const std::string& what) const {
    ViChar text[256] = "";
    Check(QmDC_GetAttributeViString(vi_, "", id, sizeof text, text), what);
    return text;
}

double DriverSession::Real(ViAttr id, const std::string& what) const {
    ViReal64 value = 0.0;
    Check(QmDC_GetAttributeViReal64(vi_, "", id, &value), what);
    return value;
}

bool DriverSession::Boolean(ViAttr id, const std::string& what) const {
    ViBoolean value = VI_FALSE;
    Check(QmDC_GetAttributeViBoolean(vi_, "", id, &value), what);
    return value == VI_TRUE;
}

std::vector<std::string> DriverSession::TakeErrorQueue() const {
    std::vector<std::string> errors;
    for (int i = 0; i < kMaxQueuedErrors; ++i) {
        ViInt32 code = 0;
        ViChar message[256] = "";
        if (QmDC_error_query(vi_, &code, message) < 0 || code == 0) break;
        errors.push_back(std::to_string(code) + " " + message);
    }
    return errors;
}

}  // namespace qmdc::cli
