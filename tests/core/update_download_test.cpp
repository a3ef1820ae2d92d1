#include "update_cycle_fixture.h"

namespace zv {
namespace {

using agent_fixture::M;
using cycle_fixture::CycleTest;
using cycle_fixture::kToken;

using Download = CycleTest;

// The XOR of Unscramble is its own inverse.
std::string Scrambled(const std::string& plain) {
    return "Scrambled=01K" + Unscramble("Scrambled=01K" + plain);
}

const char* const kHtml404 = "<html><head><title>404 Not Found</title></head><body>x</body></html>";

TEST_F(Download, InfoFileKeepsThePreviousOneUnlessACompleteDescriptionArrived) {
    struct Row {
        const char* what;
        std::string error, data;
        bool ok;
    } rows[] = {
        {"complete", "", "[NewSetup]\nVersionNew=9\n", true},
        {"nothing arrived", "", "", false},
        {"server error page", "", kHtml404, false},
        {"transfer failed", "x --- Error downloading file", "[NewSetup]\nVers", false},
        {"over the cap", "", std::string(size_t(kMaxInfoFileBytes) + 1, 'x'), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        p.StoreIni(info_, "[NewSetup]\nVersionNew=5\n");
        p.http["http://upd.test/app/App.info"] = {row.error, row.data};
        std::string error;
        EXPECT_EQ(cycle.DownloadFileAU("http://upd.test/app", info_, kInfoDownload, error), row.ok);
        EXPECT_EQ(InfoFile::VersionNew(), row.ok ? 9 : 5);
        EXPECT_EQ(p.Has("write " + info_), row.ok);
    }
}

TEST_F(Download, ErrorTextsStartingWith3AreNotPassedOn) {
    p.http["http://upd.test/app/App.info"] = {"3xx moved", ""};
    std::string error = "old";
    EXPECT_FALSE(cycle.DownloadFileAU("http://upd.test/app", info_, kInfoDownload, error));
    EXPECT_EQ(error, "");
}

TEST_F(Download, UpdateTokenCheck) {
    struct Row {
        const char* what;
        std::string token, data;
        bool ok;
        const char* box;
    } rows[] = {
        {"own token", kToken, "MZ", true, ""},
        {"foreign token", "someone-else", "MZ", false, "box Error 0 Bad Secret Token!"},
        {"no package", "", "MZ", false, "box Error 0 Bad Secret Token!"},
        {"error page", "", kHtml404, false, "box Error 0 <B>404 File Not Found...</B>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        p.http["http://upd.test/app/U.exe"] = {"", row.data};
        p.tokens["HTTP://UPD.TEST/APP/U.EXE"] = row.token;
        std::string error;
        EXPECT_EQ(cycle.DownloadFileAU("http://upd.test/app", "U.exe", kUpdateDownload, error),
                  row.ok);
        EXPECT_EQ(p.FileExists("C:\\Agent\\U.exe"), row.ok);
        const auto boxes = p.Boxes();
        if (*row.box) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].rfind(row.box, 0), 0u) << boxes[0];
        } else {
            EXPECT_TRUE(boxes.empty());
        }
    }
}

TEST_F(Download, AnAgentWithoutATokenAcceptsNoFile) {
    UsePackage("http://upd.test/app", "");
    p.files["C:\\AGENT\\U.EXE"] = "MZ";
    p.files["C:\\AGENT\\NEWS.TXT"] = "x||b|c|Hello";
    EXPECT_FALSE(cycle.CheckDownloadToken("C:\\Agent\\U.exe", kUpdateDownload));
    EXPECT_FALSE(cycle.CheckDownloadToken("C:\\Agent\\News.txt", kInformDownload));
}

TEST_F(Download, InformTokenCheck) {
    const std::string scrambled = ScrambleToken(kToken, 9);
    struct Row {
        const char* what;
        std::string content;
        bool ok;
    } rows[] = {
        {"plain layout", "x|" + scrambled + "|b|c|Hello", true},
        {"Scrambled=01 layout", Scrambled("x|" + scrambled + "|b|c|Hello"), true},
        {"foreign token", "x|" + ScrambleToken("other", 9) + "|b|c|Hello", false},
        {"fields missing", "x|" + scrambled + "|b", false},
        {"no separator", "Hello", false},
        {"over the cap", "x|" + scrambled + "|b|c|" + std::string(size_t(kMaxInformFileBytes), 'h'),
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        p.files["C:\\AGENT\\NEWS.TXT"] = row.content;
        EXPECT_EQ(cycle.CheckDownloadToken("C:\\Agent\\News.txt", kInformDownload), row.ok);
    }
    EXPECT_FALSE(cycle.CheckDownloadToken("C:\\Agent\\News.txt", 1));
    // The parts of a plain inform file.
    const InformFileParts parts = SplitInformFile("drop|A|B|C|the | text");
    EXPECT_TRUE(parts.ok);
    EXPECT_EQ(parts.token, "A");
    EXPECT_EQ(parts.text, "the | text");
}

TEST_F(Download, PathRouteOnlyWhereTheInstallationPointsAtAPath) {
    struct Row {
        const char* what;
        const char* ownUrl;
        bool testMode;
        const char* testUrl;
        const char* base;
        bool copied;
    } rows[] = {
        {"own path, server path", "C:\\Updates", false, "", "C:\\Updates", true},
        {"own web address, server share", "http://upd.test/app", false, "", "\\\\evil\\share", false},
        {"own web address, server drive path", "http://upd.test/app", false, "", "C:\\Updates", false},
        {"test mode with a path", "http://upd.test/app", true, "C:\\Test", "\\\\evil\\share", true},
        {"test mode with a share as test address", "http://upd.test/app", true, "\\\\lab\\x",
         "http://upd.test/app", true},
        {"test mode with a web address", "C:\\Updates", true, "http://lab/x", "C:\\Updates", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        UsePackage(row.ownUrl);
        AgentTestMode().TestMode = row.testMode;
        AgentTestMode().TestModeURL = row.testUrl;
        const std::string from = std::string(row.testMode ? row.testUrl : row.base) + "\\U.exe";
        p.files[AsciiUpper(from)] = "MZ";
        p.tokens[AsciiUpper(from)] = kToken;
        std::string error;
        const bool ok = cycle.DownloadFileAU(row.base, "U.exe", kUpdateDownload, error);
        EXPECT_EQ(ok, row.copied);
        EXPECT_EQ(p.HasPrefix("copy "), row.copied);
        EXPECT_FALSE(p.HasPrefix("http"));   // never the path as a web address
    }
}

TEST_F(Download, CopyRouteAnimatesTenStepsWhenTheDownloadIsConfirmed) {
    UsePackage("C:\\Updates");
    p.StoreIni(info_, "[NewSetup]\nRequestConfirmationBeforeDownload=1\n");
    p.files["C:\\UPDATES\\U.EXE"] = "MZ";
    p.tokens["C:\\UPDATES\\U.EXE"] = kToken;
    std::string error;
    EXPECT_TRUE(cycle.DownloadFileAU("C:\\Updates", "U.exe", kUpdateDownload, error));
    std::vector<std::string> expected = {"show", "status Downloading UPDATE File...",
                                         "copy C:\\Updates\\U.exe -> C:\\Agent\\U.exe",
                                         "progress init 10"};
    for (int i = 0; i < 10; ++i) {
        expected.push_back("progress step");
        expected.push_back("wait 300");
    }
    expected.push_back("progress init 0");
    expected.push_back("hide");
    EXPECT_EQ(p.events, expected);
}

TEST_F(Download, FailureTextsWithDownloadConfirmation) {
    struct Row {
        const char* what;
        const char* base;
        bool abort;
        const char* box;
    } rows[] = {
        {"aborted", "http://upd.test/app", true, "box Attention 0 File Download Aborted!"},
        {"web", "http://upd.test/app", false,
         "box Attention 0 http://upd.test/app/Missing.exe<P><P>Unable to Download File!"},
        {"path", "C:\\Updates", false, "box Attention 0 C:\\Updates\\Missing.exe<P><P>File not Found!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        p = cycle_fixture::FakePlatform();
        UsePackage(row.base);
        p.connected = !StartsWith("C:", row.base, false);
        p.StoreIni(info_, "[NewSetup]\nRequestConfirmationBeforeDownload=1\n");
        ui.abort = row.abort;
        std::string error;
        EXPECT_FALSE(cycle.DownloadFileAU(row.base, "Missing.exe", kUpdateDownload, error));
        EXPECT_EQ(p.Boxes(), std::vector<std::string>{row.box});
    }
}

TEST_F(Download, InformReleaseShowsTheTextAndRecordsTheVersion) {
    Installed();
    Original("FontName", "Arial", "MsgBox");
    p.StoreIni(info_, "[General]\nAutoInform=1\n[NewSetup]\nDownloadURL_UPDATE=http://upd.test/app\n"
                      "VersionNew=6\n[AutoInform]\nNameOfInformFile=..\\News.txt\n"
                      "DownloadURL_INFORM=https://example.test/new\nAutoInformW=500\n");
    p.http["http://upd.test/app/News.txt"] = {"", "x|" + ScrambleToken(kToken, 2) + "|b|c|Hello"};
    EXPECT_TRUE(cycle.PerformAutoInform());
    EXPECT_TRUE(p.Has("inform Hello"));
    EXPECT_EQ(p.inform.title, "New Version");
    EXPECT_EQ(p.inform.button, "Download");
    EXPECT_EQ(p.inform.link, "https://example.test/new");
    EXPECT_EQ(p.inform.width, 500);
    EXPECT_EQ(p.inform.height, 360);
    EXPECT_EQ(p.inform.fontFace, "Arial");
    EXPECT_EQ(OriginalValue("VersionOriginal"), "6");
    EXPECT_TRUE(p.Has("notify 41 1") && p.Has("notify 41 2"));

    // A bad token: no dialog, file deleted, version unchanged.
    p = cycle_fixture::FakePlatform();
    Installed();
    p.StoreIni(info_, "[General]\nAutoInform=1\n[NewSetup]\nDownloadURL_UPDATE=http://upd.test/app\n"
                      "VersionNew=6\n[AutoInform]\nNameOfInformFile=News.txt\n");
    p.http["http://upd.test/app/News.txt"] = {"", "x|" + ScrambleToken("other", 2) + "|b|c|Hello"};
    EXPECT_FALSE(cycle.PerformAutoInform());
    EXPECT_FALSE(p.HasPrefix("inform"));
    EXPECT_FALSE(p.FileExists("C:\\Agent\\News.txt"));
    EXPECT_EQ(OriginalValue("VersionOriginal"), "3");
}

TEST_F(Download, MessageCatalogueDefaults) {
    struct Row {
        const char* key;
        const char* def;
    } rows[] = {{"s2", ""},
                {"s3", "File Download Aborted!"},
                {"s4", "File not Found!"},
                {"s5", "Unable to Download File!"},
                {"s11", ""}, {"s17", ""}, {"s21", ""}, {"s24", ""},
                {"s31", "Downloading INFO File..."},
                {"s32", "Downloading UPDATE File..."},
                {"s33", "Downloading INFORM File..."},
                {"s34", "New Version"},
                {"s35", "Download"}};
    for (const Row& row : rows) EXPECT_EQ(AgentMessage(row.key), row.def) << row.key;
    Original("s34", "Neu", "AutoUpdate");
    EXPECT_EQ(AgentMessage("s34"), "Neu");
}

}  // namespace
}  // namespace zv
