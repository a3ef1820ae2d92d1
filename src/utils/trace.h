// Process-wide debug trace: text is buffered in 128-byte chunks and handed to a sink
// (the debug viewer window and/or the trace file, installed by the Win32 layer).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>

namespace zv {

// Compiled-in trace mode: 0 viewer only, 1 file only, 2 both, other values neither.
constexpr uint8_t DebugMode = 0;
constexpr const char* kTraceFilePath = "C:\\ProgramData\\_zdebug.txt";

class TraceStream {
public:
    static constexpr size_t kBufferSize = 128;
    using Sink = void (*)(const std::string& chunk);

    TraceStream& Write(const std::string& text);
    TraceStream& Write(const char* text);
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> &&
                                                      !std::is_same_v<T, bool> &&
                                                      !std::is_same_v<T, char>>>
    TraceStream& Write(T value) {
        return WriteInt(static_cast<int64_t>(value));
    }
    TraceStream& WriteInt(int64_t value);
    TraceStream& Write(char ch);
    TraceStream& Write(bool value);
    TraceStream& WriteLine();
    TraceStream& WriteLine(const std::string& text) { return Write(text).WriteLine(); }

    // The sink receives chunks of 1..128 characters. Returns the previous sink.
    Sink SetSink(Sink sink);

private:
    void Flush();
    char buffer_[kBufferSize] = {};
    size_t fill_ = 0;
    Sink sink_ = nullptr;
};

TraceStream& TraceOut();

// Chunk copy for the trace file: every CR LF, lone CR and lone LF becomes CR LF.
std::string NormalizeLineBreaks(const std::string& text);

// One " --- [ Method = ... ] [ Remark = ... ] [ ErrMsg = ... ] " line.
std::string TraceExceptionLine(const std::string& message, const std::string& method,
                               const std::string& remark);
void TraceException(const std::string& message, const std::string& method,
                    const std::string& remark = "");

}  // namespace zv
