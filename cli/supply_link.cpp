#include "supply_link.h"

#include "failure.h"

namespace qmdc::cli {

SupplyLink::SupplyLink(std::string name, ConnectionOptions connection)
    : name_(std::move(name)), connection_(std::move(connection)) {}

const DriverSession& SupplyLink::Session() {
    if (!session_) session_.emplace(connection_);
    return *session_;
}

SupplySample SupplyLink::Sample() {
    try {
        const DriverSession& session = Session();
        SupplySample sample;
        sample.reading = MeasureOutput(session);
        sample.state = QueryOutputState(session);
        return sample;
    } catch (const Failure&) {
        Drop();
        throw;
    }
}

std::string SupplyName(const ConnectionOptions& connection) {
    return connection.resource.empty() ? std::string("simulated") : connection.resource;
}

}  // namespace qmdc::cli
