#include "standard_output.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "failure.h"

namespace qmdc::cli {

void FlushChecked(std::ostream& out, const std::string& name) {
    out.flush();
    if (out) return;
    const int error = errno;
    throw Failure("cannot write " + name + ": " +
                  (error != 0 ? std::strerror(error) : "the write failed"));
}

void StandardOutput::Line(const std::string& text) {
    errno = 0;  // so that the reason given is this write's
    std::cout << text << '\n';
    FlushChecked(std::cout, kStandardOutputName);
}

}  // namespace qmdc::cli
