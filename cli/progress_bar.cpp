#include "progress_bar.h"

#include <unistd.h>

namespace qmdc::cli {
namespace {

constexpr size_t kBarWidth = 30;

}  // namespace

ProgressBar::ProgressBar(FILE* terminal, size_t total)
    : out_(isatty(fileno(terminal)) ? terminal : nullptr), total_(total) {}

ProgressBar::~ProgressBar() {
    if (out_ == nullptr) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
}

void ProgressBar::Update(size_t done, const std::string& note) {
    if (out_ == nullptr || total_ == 0) return;
    const size_t filled = done * kBarWidth / total_;
    const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '.');
    std::fprintf(out_, "\r\033[K[%s] %zu/%zu  %s", bar.c_str(), done, total_, note.c_str());
    std::fflush(out_);
}

}  // namespace qmdc::cli
