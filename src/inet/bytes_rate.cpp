#include "inet/bytes_rate.h"

#include <cstdio>

#include "utils/platform.h"
#include "utils/text.h"

namespace zv {

uint32_t DefaultTickCount() { return uint32_t(uint64_t(Host().milliseconds())); }

TBytesRate::TBytesRate(bool kilobyteMode, bool megabyteMode, TickSource tick)
    : kilobyteMode_(kilobyteMode), megabyteMode_(megabyteMode), tick_(tick ? tick : &DefaultTickCount) {
    ResetRate();
}

void TBytesRate::ResetRate() {
    ticks_.fill(0);
    bytes_.fill(0);
    rateText_.clear();
    lastRateTime_ = 0;
}

template <typename T>
int64_t TBytesRate::PushSample(std::array<T, 5>& samples, SampleMode mode, T value) {
    for (size_t i = 0; i + 1 < samples.size(); ++i) samples[i] = samples[i + 1];
    samples[4] = value;
    if (mode == SampleMode::Span) return int64_t(T(value - samples[0]));
    int64_t sum = 0;
    for (size_t i = 1; i < samples.size(); ++i) sum += samples[i];
    return sum;
}

template int64_t TBytesRate::PushSample<uint32_t>(std::array<uint32_t, 5>&, SampleMode, uint32_t);
template int64_t TBytesRate::PushSample<int32_t>(std::array<int32_t, 5>&, SampleMode, int32_t);

std::string TBytesRate::RateText(int32_t lastRead) {
    const uint32_t now = tick_();
    const int64_t span = PushSample(ticks_, SampleMode::Span, now);
    const int64_t bytes = PushSample(bytes_, SampleMode::Sum, lastRead);
    if (ticks_[0] != 0 && span != 0 && uint32_t(now - lastRateTime_) > 500) {
        lastRateTime_ = now;
        const double rate = double(bytes) / (double(span) / 1000.0) / 1024.0;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f", rate);
        rateText_ = buf;
    }
    return rateText_;
}

std::string TBytesRate::TransferText(int64_t size, int64_t done, int32_t lastRead) {
    RateText(lastRead);
    return ProgressText(size, done);
}

std::string TBytesRate::ProgressText(int64_t size, int64_t done) const {
    std::string text;
    if (megabyteMode_) {
        text = SizeText(done, 1048576, 1, true) + "/" + SizeText(size, 1048576, 1, true) + " MB";
    } else if (kilobyteMode_) {
        text = SizeText(done, 1024, 1, true) + "/" + SizeText(size, 1024, 1, true) + " KB";
    } else {
        text = IntText(done) + "/" + IntText(size) + " BytesArr";
    }
    if (!rateText_.empty()) text += "   -   " + rateText_ + " KB/Sec";
    return text;
}

}  // namespace zv
