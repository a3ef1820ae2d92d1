#include "utils/trace.h"

#include <algorithm>
#include <cstring>

#include "utils/text.h"

namespace zv {

TraceStream& TraceOut() {
    static TraceStream stream;
    return stream;
}

TraceStream::Sink TraceStream::SetSink(Sink sink) {
    Sink old = sink_;
    sink_ = sink;
    return old;
}

TraceStream& TraceStream::Write(const char* text) {
    return Write(std::string(text ? text : ""));
}

TraceStream& TraceStream::Write(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t n = std::min(kBufferSize - fill_, text.size() - i);
        std::memcpy(buffer_ + fill_, text.data() + i, n);
        fill_ += n;
        i += n;
        if (fill_ == kBufferSize) Flush();
    }
    return *this;
}

TraceStream& TraceStream::WriteInt(int64_t value) { return Write(IntText(value)); }
TraceStream& TraceStream::Write(char ch) { return Write(std::string(1, ch)); }
TraceStream& TraceStream::Write(bool value) { return Write(value ? "TRUE" : "FALSE"); }

TraceStream& TraceStream::WriteLine() {
    Write("\r\n");
    Flush();
    return *this;
}

void TraceStream::Flush() {
    // The sink serialises itself (a critical section in the Win32 layer).
    if (fill_ == 0) return;
    std::string chunk(buffer_, fill_);
    fill_ = 0;
    if (sink_) sink_(chunk);
}

std::string NormalizeLineBreaks(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n' || c == '\0') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string TraceExceptionLine(const std::string& message, const std::string& method,
                               const std::string& remark) {
    static const char* const kLabels[4] = {"Method = ", "Remark = ", "SX = ", "ErrMsg = "};
    const std::string values[4] = {method, remark, std::string(), message};
    std::string line = " --- ";
    for (int i = 0; i < 4; ++i)
        if (!values[i].empty()) line += std::string(" [ ") + kLabels[i] + values[i] + " ] ";
    return line;
}

void TraceException(const std::string& message, const std::string& method,
                    const std::string& remark) {
    TraceOut().WriteLine(TraceExceptionLine(message, method, remark));
}

}  // namespace zv
