// The panel's page and its script, served as they are.
#pragma once

namespace qmdc::cli::panel {

extern const char* const kPanelPage;
extern const char* const kPanelScript;

}  // namespace qmdc::cli::panel
