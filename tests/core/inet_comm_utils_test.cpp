#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "inet/comm_utils.h"

namespace zv {
namespace {

TEST(DownloadChunks, ATenthOfTheSizeWithin1And8192) {
    struct Case {
        uint32_t size, chunk, maximum;
    } cases[] = {
        {100, 10, 11},          {5, 1, 6},         {9, 1, 10},
        {101, 10, 12},          {81920, 8192, 11}, {1000000, 8192, 124},
        // No Content-Length: read in full buffers to the end of the data.
        {kUnknownContentLength, 8192, 524289},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DownloadChunkSize(c.size), c.chunk) << c.size;
        EXPECT_EQ(DownloadProgressMaximum(c.size, c.chunk), c.maximum) << c.size;
    }
}

// Whatever sizes the reads come in, the bar steps once per chunk begun and every piece stays
// inside one chunk, so the steps (and the abort seen after each) match one read per chunk.
TEST(DownloadChunks, LargeReadsStepTheBarPerChunk) {
    struct Case {
        uint32_t size;
        std::vector<uint32_t> reads;  // repeated until the size is reached
    } cases[] = {
        {100, {65536}},             {100, {7}},      {5, {65536}},
        {153600, {65536}},          {153600, {8192}}, {153600, {1000, 30000}},
        {1000000, {65536, 12345}},
    };
    for (const Case& c : cases) {
        const uint32_t chunk = DownloadChunkSize(c.size);
        uint64_t done = 0, steps = 0;
        int stepCalls = 0;
        for (size_t i = 0; done < c.size; ++i) {
            uint32_t left = std::min<uint64_t>(c.reads[i % c.reads.size()], c.size - done);
            while (left > 0) {
                const uint32_t piece = ProgressPieceSize(done, left, chunk);
                ASSERT_GT(piece, 0u);
                ASSERT_EQ(done / chunk, (done + piece - 1) / chunk) << "a piece crosses a chunk";
                done += piece;
                left -= piece;
                const uint64_t now = ProgressStepsFor(done, chunk);
                ASSERT_LE(now, steps + 1);
                if (now > steps) ++stepCalls;
                steps = now;
            }
        }
        EXPECT_EQ(stepCalls, DownloadProgressMaximum(c.size, chunk) - 1) << c.size;
    }
}

TEST(DownloadChunks, ReadSizeGrowsOnAFastLinkAndShrinksOnASlowOne) {
    struct Case {
        uint32_t current, got, tookMs, chunk, next;
    } cases[] = {
        {8192, 8192, 5, 8192, 16384},       {32768, 32768, 0, 8192, 65536},
        // never past the largest read
        {kDownloadReadSize, kDownloadReadSize, 1, 8192, kDownloadReadSize},
        {65536, 65536, 900, 8192, 32768},   {8192, 8192, 900, 8192, 8192},  // never below a chunk
        {16384, 100, 5, 8192, 16384},       // a short read (the end of the data) changes nothing
        {16384, 16384, 120, 8192, 16384},   {10, 10, 1, 10, 20},
        {0, 0, 0, 10, 10},                  {kDownloadReadSize * 4, 0, 100, 8192, kDownloadReadSize},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NextReadSize(c.current, c.got, c.tookMs, c.chunk), c.next)
            << c.current << " " << c.got << " " << c.tookMs;
}

TEST(DownloadChunks, ContentRangeGivesTheWholeFilesSize) {
    struct Case {
        const char* value;
        uint32_t total;
    } cases[] = {
        {"bytes 0-0/153600", 153600},
        {"  BYTES 0-0/7 ", 7},
        {"bytes */0", 0},                  // a refused range of an empty file
        {"bytes 0-0/4294967294", 4294967294u},
        {"bytes 0-0/4294967295", kUnknownContentLength},  // past what 32 bits can tell
        {"bytes 0-0/99999999999999999999999", kUnknownContentLength},
        {"bytes 0-0/*", kUnknownContentLength},
        {"bytes 0-0/", kUnknownContentLength},
        {"bytes 0-0/12x", kUnknownContentLength},
        {"bytes 0-0/-5", kUnknownContentLength},
        {"items 0-0/10", kUnknownContentLength},
        {"bytes 0-0", kUnknownContentLength},
        {"", kUnknownContentLength},
    };
    for (const Case& c : cases) EXPECT_EQ(ContentRangeTotal(c.value), c.total) << c.value;
}

TEST(PartialFile, SizePlusFileDateWrapsAt32Bits) {
    const std::string target = "C:\\Temp\\Setup.exe";
    // 1999-05-13 19:21:10 packed, as servers send it in Last-Modified.
    const uint32_t date = PackFileDate(1999, 5, 13, 19, 21, 10);
    EXPECT_EQ(PartialFileName(target, 100, 0), target + ".100");
    EXPECT_EQ(PartialFileName(target, 100, date), target + "." + std::to_string(date + 100u));
    EXPECT_EQ(PartialFileName(target, kUnknownContentLength, 5), target + ".4");
    EXPECT_EQ(PartialFileName(target, 0x80000000u, 0x80000000u), target + ".0");
    EXPECT_EQ(PartialFileMask(target), target + ".*");
}

TEST(Urls, OnlyABareAddressGetsHttpInFront) {
    struct Case {
        const char* url;
        const char* expected;
    } cases[] = {
        {"example.com/dl/Setup.exe", "http://example.com/dl/Setup.exe"},
        {"http://example.com/dl", "http://example.com/dl"},
        {"HTTP://EXAMPLE.COM/dl", "HTTP://EXAMPLE.COM/dl"},
        {"https://example.com/dl", "https://example.com/dl"},
        {"HTTPS://example.com/dl", "HTTPS://example.com/dl"},
        {"ftp://example.com/pub", "ftp://example.com/pub"},
        {"  https://example.com/dl  ", "https://example.com/dl"},
        {"127.0.0.1:8080/dl", "http://127.0.0.1:8080/dl"},
        // "http://" later in the address does not make it a full one.
        {"example.com/go?to=http://other/x", "http://example.com/go?to=http://other/x"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithHttpScheme(c.url), c.expected) << c.url;

    EXPECT_EQ(JoinUrl("http://h/dl", "Setup.exe"), "http://h/dl/Setup.exe");
    EXPECT_EQ(JoinUrl("http://h/dl/", "Setup.exe"), "http://h/dl/Setup.exe");
    EXPECT_EQ(UrlFileName("http://h/dl/Setup.exe"), "Setup.exe");
    EXPECT_EQ(UrlFileName("http://h/dl/"), "");
}

TEST(Urls, CredentialPathSplitsHostPortAndPath) {
    struct Case {
        const char* url;
        bool secure;
        const char* host;
        uint16_t port;
        const char* path;
    } cases[] = {
        {"http://127.0.0.1:8080/dl/a.exe", false, "127.0.0.1", 8080, "dl/a.exe"},
        {"HTTP://host/a", false, "host", 80, "a"},
        {"host/dir/a?x=1", false, "host", 80, "dir/a?x=1"},
        {"https://host/a", true, "host", 443, "a"},
        {"https://host:8443/", true, "host", 8443, ""},
        {"host", false, "host", 80, ""},
        {"[::1]:81/x", false, "[::1]", 81, "x"},
        {"[::1]/x", false, "[::1]", 80, "x"},
    };
    for (const Case& c : cases) {
        const HttpTarget t = SplitHttpUrl(c.url);
        EXPECT_EQ(t.secure, c.secure) << c.url;
        EXPECT_EQ(t.host, c.host) << c.url;
        EXPECT_EQ(t.port, c.port) << c.url;
        EXPECT_EQ(t.path, c.path) << c.url;
    }
}

TEST(PackFileDate, FatLayoutAndInvalidDates) {
    EXPECT_EQ(PackFileDate(1999, 5, 13, 19, 21, 10),
              uint32_t(19 << 25 | 5 << 21 | 13 << 16 | 19 << 11 | 21 << 5 | 5));
    EXPECT_EQ(PackFileDate(2000, 2, 29, 0, 0, 59), uint32_t(20 << 25 | 2 << 21 | 29 << 16 | 29));
    // A missing header leaves the SYSTEMTIME zero.
    EXPECT_EQ(PackFileDate(0, 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(PackFileDate(1979, 12, 31, 23, 59, 59), 0u);
    EXPECT_EQ(PackFileDate(2108, 1, 1, 0, 0, 0), 0u);
    EXPECT_EQ(PackFileDate(2001, 2, 29, 0, 0, 0), 0u);
    EXPECT_EQ(PackFileDate(2001, 4, 31, 0, 0, 0), 0u);
    EXPECT_EQ(PackFileDate(2001, 4, 30, 24, 0, 0), 0u);
}

const char kNginx404[] =
    "<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>\r\n"
    "<center><h1>404 Not Found</h1></center>\r\n<hr><center>nginx</center>\r\n</body>\r\n</html>\r\n";

TEST(HtmlErrorPage, TitleWith404OrAnHtmlHead) {
    const std::string padding(1000, 'x');
    struct Case {
        std::string text;
        bool page;
    } cases[] = {
        {kNginx404, true},
        {"<TITLE>Error 404</TITLE>", true},
        {"<Html><Head><Title>Downloads</Title></Head>", true},
        {"<html>\n<head>\n<title>Downloads</title>", true},
        {"<html lang=en><head><title>Downloads</title>", false},  // "<HTML>" needs its ">"
        {"<title>Downloads</title>", false},
        {"</title>404<title>", false},
        {"404 <title>x</title>", false},
        {"MZ\x90\0\x03 binary setup file", false},
        {"", false},
        // Only the first 1000 characters count.
        {"<title>" + padding + "404</title>", false},
        {padding + kNginx404, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsHtmlErrorPage("", c.text), c.page) << c.text;
}

TEST(HtmlErrorPage, AFileIsReadInsteadOfTheText) {
#ifdef _WIN32
    const char* dir = std::getenv("TEMP");
    const std::string path = std::string(dir ? dir : ".") + "\\zv_inet_page.html";
#else
    const std::string path = "/tmp/zv_inet_page_" + std::to_string(::getpid()) + ".html";
#endif
    std::ofstream(path, std::ios::binary) << kNginx404;
    EXPECT_TRUE(IsHtmlErrorPage(path, "plain text"));
    EXPECT_EQ(HtmlErrorMessage(path, "", "http://h/dl/Setup.exe", false, "Bad Secret Token!"),
              "<B>404 File Not Found...</B><P><P>URL:  http://h/dl/Setup.exe.<P><P>Please make "
              "sure the file is available and access is allowed to this file.");
    std::ofstream(path, std::ios::binary) << "MZ not a page";
    EXPECT_FALSE(IsHtmlErrorPage(path, kNginx404));
    EXPECT_EQ(HtmlErrorMessage(path, "", "u", false, "Bad Secret Token!"), "Bad Secret Token!");
    std::remove(path.c_str());
    // A file that is not there leaves the text to decide.
    EXPECT_TRUE(IsHtmlErrorPage(path, kNginx404));
}

TEST(HtmlErrorPage, IisHintOnlyWhenAskedAndPresent) {
    const std::string iisPage = "<title>404 - File or directory not found.</title> Microsoft-IIS/10.0";
    const std::string hint = "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.";
    const std::string withHint = HtmlErrorMessage("", iisPage, "u", true, "d");
    ASSERT_GT(withHint.size(), hint.size());
    EXPECT_EQ(withHint.substr(withHint.size() - hint.size()), hint);
    EXPECT_EQ(HtmlErrorMessage("", iisPage, "u", false, "d"), withHint.substr(0, withHint.size() - hint.size()));
    EXPECT_EQ(HtmlErrorMessage("", kNginx404, "u", true, "d").find("IIS"), std::string::npos);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST(PartialFiles, OnlyTheTargetDotDigitsIsAPartialFile) {
    struct Row {
        const char* target;
        const char* name;
        bool partial;
    } rows[] = {
        {"C:\\Agent\\App", "App.123", true},
        {"C:\\Agent\\App", "app.4294967295", true},
        {"C:\\Agent\\App", "App.exe", false},
        {"C:\\Agent\\App", "App.original", false},
        {"C:\\Agent\\App", "App.info", false},
        {"C:\\Agent\\App", "App.", false},
        {"C:\\Agent\\App", "App.12a", false},
        {"C:\\Agent\\App.exe", "App.exe.77", true},
        {"C:\\Agent\\App.exe", "App.exe", false},
        {"C:\\Agent\\App.exe", "App.exe.log", false},
        {"C:\\Agent\\App", "Apple.1", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsPartialFileOf(row.target, row.name), row.partial) << row.target << " " << row.name;
}

}  // namespace
}  // namespace zv
