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
    // hosts: the Host header values answered ("127.0.0.1:8080"; see
    // http::AnsweredHosts). A request must name one of them.
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

}  // namespace qmdc::cli::panel
