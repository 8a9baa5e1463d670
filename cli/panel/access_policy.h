// Who may use the panel. Every request must carry the panel's token (in the
// URL, as the printed address has it, or in the X-Panel-Token header) and
// name a host the panel answers for; a change (POST) must also come from the
// panel's own page, as its Origin says. A page of another site cannot read
// the token, so it can neither watch nor drive a supply, and a name that
// resolves to the loopback address (DNS rebinding) is not a host the panel
// answers for.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "panel/panel_http.h"

namespace qmdc::cli::panel {

class AccessPolicy {
  public:
    // hosts: the Host header values answered ("127.0.0.1:8080"); empty: any
    // (a panel bound to every address cannot know the names it is reached by).
    AccessPolicy(std::string token, std::vector<std::string> hosts);

    // nullopt when allowed; otherwise the refusal to send.
    std::optional<HttpResponse> Check(const HttpRequest& request) const;

    const std::string& token() const { return token_; }

  private:
    std::string token_;
    std::vector<std::string> hosts_;
};

// 32 hexadecimal digits from the system's random source.
std::string RandomToken();

// The Host values a panel on that address and port answers for: the address
// itself, and for a loopback address also "localhost"; empty for a wildcard.
std::vector<std::string> HostsFor(const std::string& address, int port);

// A refusal: a JSON body {"error": message}.
HttpResponse ErrorResponse(int status, const std::string& message);

}  // namespace qmdc::cli::panel
