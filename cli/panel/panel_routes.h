// The panel's addresses: the page and its script, the state, the history for
// the chart, the CSV log, and the changes. Each request is first checked by
// the access policy; a change's value is checked before anything is sent.
//
//   GET  /                          the page          GET /panel.js   its script
//   GET  /api/state                 all supplies      GET /api/history/N
//   GET  /api/log/N.csv             supply N's log
//   GET  /metrics                   the supplies as Prometheus metrics
//   POST /api/supplies/N/COMMAND    {"value": ...}; COMMAND is voltage, current, ovp,
//                                   ocp, output, reset-protection or read-errors
#pragma once

#include "panel/access_policy.h"
#include "panel/panel_backend.h"

namespace qmdc::cli::panel {

class PanelRoutes {
  public:
    PanelRoutes(const AccessPolicy& policy, PanelBackend& backend)
        : policy_(policy), backend_(backend) {}

    HttpResponse Handle(const HttpRequest& request) const;

  private:
    HttpResponse Command(const HttpRequest& request, size_t supply, const std::string& name) const;

    const AccessPolicy& policy_;
    PanelBackend& backend_;
};

// The supply index in "N" (decimal, below count), or count when it is none.
size_t SupplyIndex(const std::string& text, size_t count);

// Headers every answer carries: not cached, not framed, no referrer (the
// address holds the token).
void AddSafetyHeaders(HttpResponse& response);

}  // namespace qmdc::cli::panel
