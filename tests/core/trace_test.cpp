#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/trace.h"

namespace zv {
namespace {

std::vector<std::string> g_chunks;
void Collect(const std::string& chunk) { g_chunks.push_back(chunk); }

struct SinkCapture {
    SinkCapture() { g_chunks.clear(); old = TraceOut().SetSink(&Collect); }
    ~SinkCapture() { TraceOut().SetSink(old); }
    TraceStream::Sink old;
};

TEST(TraceStream, LongLineArrivesInChunksOf128) {
    SinkCapture cap;
    TraceOut().WriteLine(std::string(300, 'x'));
    ASSERT_EQ(g_chunks.size(), 3u);
    EXPECT_EQ(g_chunks[0].size(), 128u);
    EXPECT_EQ(g_chunks[1].size(), 128u);
    EXPECT_EQ(g_chunks[2], std::string(44, 'x') + "\r\n");
}

TEST(TraceStream, ShortLineIsOneChunkWithLineEnd) {
    SinkCapture cap;
    TraceOut().Write(int64_t(-42)).Write(' ').Write(true).Write(false).WriteLine();
    ASSERT_EQ(g_chunks.size(), 1u);
    EXPECT_EQ(g_chunks[0], "-42 TRUEFALSE\r\n");
}

TEST(TraceStream, ExactlyFullBufferFlushesOnceThenLineEndAlone) {
    SinkCapture cap;
    TraceOut().WriteLine(std::string(128, 'y'));
    ASSERT_EQ(g_chunks.size(), 2u);
    EXPECT_EQ(g_chunks[1], "\r\n");
}

TEST(TraceException, FormsOnlyNonEmptyFields) {
    EXPECT_EQ(TraceExceptionLine("x", "", ""), " ---  [ ErrMsg = x ] ");
    EXPECT_EQ(TraceExceptionLine("", "", ""), " --- ");
    EXPECT_EQ(TraceExceptionLine("boom", "Utils.GetExeVersion()", "r"),
              " ---  [ Method = Utils.GetExeVersion() ]  [ Remark = r ]  [ ErrMsg = boom ] ");
}

TEST(TraceFile, LineBreaksBecomeCrLf) {
    EXPECT_EQ(NormalizeLineBreaks("a\rb\nc\r\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(NormalizeLineBreaks(""), "");
}

}  // namespace
}  // namespace zv
