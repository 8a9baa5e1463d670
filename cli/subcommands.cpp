#include "subcommands.h"

namespace qmdc::cli {

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> subcommands = {
        {"info",
         "identity, serial number, output state, levels, protection, ratings and error queue of a "
         "supply",
         DefineInfo},
        {"attributes",
         "list the driver's attributes with their type, access, unit, description and values",
         DefineAttributes},
        {"get", "read an attribute", DefineGet},
        {"set", "write an attribute", DefineSet},
        {"measure", "measure the output voltage, current and power", DefineMeasure},
        {"sweep", "step the voltage, measure each step, write CSV and plot the V-I curve",
         DefineSweep},
        {"shell", "an interactive SCPI prompt on the supply", DefineShell},
        {"list", "list the instruments the VISA library finds (--identify: ask each)", DefineList},
        {"log", "read supplies at an interval for hours into CSV or JSON Lines", DefineLog},
        {"panel", "a soft front panel in the browser for one supply or a rack", DefinePanel},
        {"exporter", "serve the readings of supplies as Prometheus metrics (GET /metrics)",
         DefineExporter},
    };
    return subcommands;
}

}  // namespace qmdc::cli
