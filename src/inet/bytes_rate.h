// Transfer-rate meter: turns the running byte counts of a download into a status text such as
// "1,234.5/10,240.0 KB   -   85.31 KB/Sec", the rate averaged over the last reads.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace zv {

class TBytesRate {
public:
    using TickSource = uint32_t (*)();

    TBytesRate(bool kilobyteMode, bool megabyteMode, TickSource tick = nullptr);

    void ResetRate();
    std::string TransferText(int64_t size, int64_t done, int32_t lastRead);
    // The same text with the rate as last measured (no new sample).
    std::string ProgressText(int64_t size, int64_t done) const;
    std::string RateText(int32_t lastRead);

    enum class SampleMode { Span, Sum };
    // Drops the oldest sample, stores the new one last; returns the span of the five ticks or the
    // sum of the four newest byte counts.
    template <typename T>
    static int64_t PushSample(std::array<T, 5>& samples, SampleMode mode, T value);

private:
    std::array<uint32_t, 5> ticks_{};
    std::array<int32_t, 5> bytes_{};
    bool kilobyteMode_;
    bool megabyteMode_;
    std::string rateText_;
    uint32_t lastRateTime_ = 0;
    TickSource tick_;
};

// Milliseconds since start-up in 32 bits, wrapping like GetTickCount.
uint32_t DefaultTickCount();

}  // namespace zv
