// A one-line progress bar on stderr for long runs; silent unless switched on.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>

namespace zv::pack {

// Inputs below this size finish too fast for a bar to help.
constexpr uint64_t kProgressThreshold = 8ull << 20;

class ProgressBar {
public:
    ProgressBar(std::ostream& err, bool enabled, std::string label)
        : err_(err), enabled_(enabled), label_(std::move(label)) {}
    ~ProgressBar() { Finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(uint64_t done, uint64_t total);
    void Finish();  // ends the line, if one was drawn

    // The line for a state, without the leading carriage return (tests look at it).
    static std::string Render(const std::string& label, uint64_t done, uint64_t total, int width = 30);

private:
    std::ostream& err_;
    bool enabled_;
    std::string label_;
    int shown_ = -1;  // last percentage drawn
};

}  // namespace zv::pack
