// open_failure.cpp - the reason of the last failed open, per thread.
#include "open_failure.h"

#include <utility>

namespace qmdc::visa {
namespace {

struct OpenFailure {
    ViStatus status = VI_SUCCESS;
    std::string reason;
};

OpenFailure& lastFailure() {
    thread_local OpenFailure failure;
    return failure;
}

const std::string kNoReason;

}  // namespace

void noteOpenFailure(std::string reason) {
    lastFailure().reason = std::move(reason);
}

void startOpen() {
    lastFailure() = OpenFailure{};
}

const std::string& finishFailedOpen(ViStatus status) {
    lastFailure().status = status;
    return lastFailure().reason;
}

const std::string& openFailureReason(ViStatus status) {
    const OpenFailure& failure = lastFailure();
    return failure.status == status && status < VI_SUCCESS ? failure.reason : kNoReason;
}

}  // namespace qmdc::visa
