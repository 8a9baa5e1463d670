#include "panel/panel_routes.h"

#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

#include "text_case.h"
#include "number_text.h"
#include "metrics/panel_metrics.h"
#include "panel/panel_page.h"

namespace qmdc::cli::panel {
namespace {

struct CommandRow {
    const char* name;
    CommandKind kind;
    enum { Level, OnOff, None } value;
};
constexpr CommandRow kCommands[] = {
    {"voltage", CommandKind::VoltageLevel, CommandRow::Level},
    {"current", CommandKind::CurrentLevel, CommandRow::Level},
    {"ovp", CommandKind::OvpLevel, CommandRow::Level},
    {"ocp", CommandKind::OcpLevel, CommandRow::Level},
    {"output", CommandKind::Output, CommandRow::OnOff},
    {"reset-protection", CommandKind::ResetProtection, CommandRow::None},
    {"read-errors", CommandKind::ReadErrors, CommandRow::None},
};

// The charting library, served from the system's copy.
struct LibraryFile {
    const char* path;
    const char* file;
    const char* type;
};
constexpr LibraryFile kLibraryFiles[] = {
    {"/dygraph.min.js", QMDC_DYGRAPHS_DIR "/dygraph.min.js", "text/javascript"},
    {"/dygraph.min.css", QMDC_DYGRAPHS_DIR "/dygraph.min.css", "text/css"},
};

HttpResponse Text(std::string body, const char* type) {
    HttpResponse response;
    response.contentType = type;
    response.body = std::move(body);
    return response;
}

HttpResponse Json(const nlohmann::json& value) {
    return Text(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                "application/json");
}

HttpResponse LibraryResponse(const LibraryFile& library) {
    std::ifstream in(library.file, std::ios::binary);
    if (!in) {
        return ErrorResponse(404, std::string("missing ") + library.file +
                                      " (on Debian: apt-get install libjs-dygraphs)");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Text(text.str(), library.type);
}

// A change's body is {"value": ...}: nothing nests deeper than this.
constexpr size_t kJsonDepth = 8;

// Whether no array or object in text (JSON or not) nests deeper than limit,
// looked at before the text is parsed: the parser's and the printer's
// recursion is bounded by what they are given.
bool NestingWithin(const std::string& text, size_t limit) {
    size_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

// The value of {"value": ...}: a decimal number, or a text that is one.
std::optional<double> LevelValue(const nlohmann::json& value, std::string& problem) {
    if (value.is_number()) {
        const double number = value.get<double>();
        if (std::isfinite(number) && (number == 0.0 || std::isnormal(number))) return number;
    } else if (value.is_string()) {
        if (const std::optional<double> number = ParseDecimal(value.get<std::string>())) {
            return number;
        }
    }
    problem = "'" +
              EchoText(value.is_string()
                           ? value.get<std::string>()
                           : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                       40) +
              "' is not a number";
    return std::nullopt;
}

std::optional<double> OnOffValue(const nlohmann::json& value, std::string& problem) {
    if (value.is_boolean()) return value.get<bool>() ? 1.0 : 0.0;
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (EqualsIgnoringCase(text, "on")) return 1.0;
        if (EqualsIgnoringCase(text, "off")) return 0.0;
    }
    problem = "the output is 'on' or 'off'";
    return std::nullopt;
}

}  // namespace

size_t SupplyIndex(const std::string& text, size_t count) {
    const std::optional<int64_t> index = ParseInteger(text, 0, 1 << 20);
    if (!index || text.find_first_not_of("0123456789") != std::string::npos ||
        static_cast<size_t>(*index) >= count) {
        return count;
    }
    return static_cast<size_t>(*index);
}

void AddSafetyHeaders(HttpResponse& response) {
    response.headers.emplace_back("Cache-Control", "no-store");
    response.headers.emplace_back("X-Frame-Options", "DENY");
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    response.headers.emplace_back("Referrer-Policy", "no-referrer");
    response.headers.emplace_back(
        "Content-Security-Policy",
        "default-src 'self'; style-src 'self' 'unsafe-inline'; frame-ancestors 'none'");
}

HttpResponse PanelRoutes::Handle(const HttpRequest& request) const {
    if (std::optional<HttpResponse> refusal = policy_.Check(request)) return *refusal;
    const std::string& path = request.path;
    const size_t count = backend_.SupplyCount();
    if (request.method == "POST") {
        const std::string prefix = "/api/supplies/";
        if (path.rfind(prefix, 0) == 0) {
            const size_t slash = path.find('/', prefix.size());
            if (slash != std::string::npos) {
                const size_t supply =
                    SupplyIndex(path.substr(prefix.size(), slash - prefix.size()), count);
                if (supply < count) return Command(request, supply, path.substr(slash + 1));
            }
        }
        return ErrorResponse(404, "no such change: " + EchoText(path));
    }
    if (path == "/metrics") {
        const metrics::MetricsPage page = metrics::RenderMetrics(
            metrics::PanelSnapshots(backend_.State()), request.Header("Accept"));
        return Text(page.body, page.contentType.c_str());
    }
    if (path == "/") {
        std::string page = kPanelPage;
        for (size_t at; (at = page.find("%TOKEN%")) != std::string::npos;) {
            page.replace(at, 7, policy_.token());
        }
        return Text(page, "text/html; charset=utf-8");
    }
    if (path == "/panel.js") return Text(kPanelScript, "text/javascript");
    for (const LibraryFile& library : kLibraryFiles) {
        if (path == library.path) return LibraryResponse(library);
    }
    if (path == "/api/state") return Json(backend_.State());
    const std::string history = "/api/history/";
    if (path.rfind(history, 0) == 0) {
        const size_t supply = SupplyIndex(path.substr(history.size()), count);
        if (supply < count) return Json(backend_.History(supply));
    }
    const std::string log = "/api/log/";
    if (path.rfind(log, 0) == 0 && path.size() > log.size() + 4 &&
        path.compare(path.size() - 4, 4, ".csv") == 0) {
        const size_t supply =
            SupplyIndex(path.substr(log.size(), path.size() - log.size() - 4), count);
        if (supply < count) {
            HttpResponse response = Text(backend_.Csv(supply), "text/csv");
            response.headers.emplace_back(
                "Content-Disposition",
                "attachment; filename=\"qmdc-supply-" + std::to_string(supply) + ".csv\"");
            return response;
        }
    }
    return ErrorResponse(404, "nothing at " + EchoText(path));
}

HttpResponse PanelRoutes::Command(const HttpRequest& request, size_t supply,
                                  const std::string& name) const {
    const CommandRow* row = nullptr;
    for (const CommandRow& candidate : kCommands) {
        if (name == candidate.name) row = &candidate;
    }
    if (row == nullptr) return ErrorResponse(404, "no such change: " + EchoText(name));
    PanelCommand command{row->kind};
    if (row->value != CommandRow::None) {
        if (!NestingWithin(request.body, kJsonDepth)) {
            return ErrorResponse(
                400, "the body nests more than " + std::to_string(kJsonDepth) + " levels deep");
        }
        const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
        if (!body.is_object() || !body.contains("value")) {
            return ErrorResponse(400, "the body must be JSON: {\"value\": ...}");
        }
        std::string problem;
        const std::optional<double> value = row->value == CommandRow::Level
                                                ? LevelValue(body["value"], problem)
                                                : OnOffValue(body["value"], problem);
        if (!value) return ErrorResponse(400, problem);
        command.value = *value;
    }
    const CommandOutcome outcome = backend_.Run(supply, command);
    if (!outcome.done) return ErrorResponse(422, outcome.message);
    return Json({{"done", true}});
}

}  // namespace qmdc::cli::panel
