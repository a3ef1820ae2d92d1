#include "progress_bar.h"

#include <cstdio>

namespace zv::pack {

std::string ProgressBar::Render(const std::string& label, uint64_t done, uint64_t total, int width) {
    if (done > total) done = total;
    int percent = total ? int(done * 100 / total) : 100;
    int filled = width * percent / 100;
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %3d%%  %.1f / %.1f MB", percent, double(done) / 1048576.0,
                  double(total) / 1048576.0);
    return label + " [" + std::string(size_t(filled), '#') + std::string(size_t(width - filled), '.') +
           "]" + numbers;
}

void ProgressBar::Update(uint64_t done, uint64_t total) {
    if (!enabled_ || total < kProgressThreshold) return;
    int percent = int((done > total ? total : done) * 100 / total);
    if (percent == shown_) return;
    shown_ = percent;
    err_ << '\r' << Render(label_, done, total) << std::flush;
}

void ProgressBar::Finish() {
    if (shown_ >= 0) err_ << '\n' << std::flush;
    shown_ = -1;
}

}  // namespace zv::pack
