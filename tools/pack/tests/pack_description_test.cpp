#include <gtest/gtest.h>

#include "description.h"
#include "ini_file.h"
#include "pack_names.h"
#include "pack_test_util.h"

namespace zv::pack {
namespace {

class Description : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteBytes(dir / "files/Engine.exe", "engine");
        test::WriteBytes(dir / "files/readme.txt", "read me");
        test::WriteBytes(dir / "lib/a.dll", "aa");
        test::WriteBytes(dir / "lib/b.dll", "bbb");
        test::WriteBytes(dir / "lib/notes.txt", "n");
        test::WriteBytes(dir / "en.lng", "; comment\r\nCharset=0\r\n\r\ns10 = Downloading File...\r\nBtnText=|&Yes|&No|\r\n");
    }
    PackageDescription Parse(const std::string& text) { return ParseDescription(text, dir / "pkg.ini"); }
    std::string ErrorOf(const std::string& text) {
        try {
            Parse(text);
        } catch (const PackError& e) {
            return e.what();
        }
        return "(no error)";
    }
    test::TempDir dir;
};

TEST_F(Description, ReadsEverySectionWithPathsRelativeToTheIniFile) {
    PackageDescription d = Parse(
        "[Package]\nStub=stub/s.exe\nOutput=out/Setup.exe\nCompression=store\nLevel=3\n"
        "VolumeSize=650M\nShowTempNotice=1\nShowActivityBar=1\nAgent=1\nRunLog=1\nSilentSetup=1\n"
        "[Update]\nUpdateUrl=http://example.invalid/u\nInfoFileName=App.Update.info\n"
        "AgentFileName=AppAgent.exe\nToken=plain-token\n"
        "[Download]\nUrl=http://127.0.0.1/d\nFileName=Full.exe\nAlwaysDownload=1\nToken=t\nSize=2K\n"
        "[Languages]\nEnglish=en.lng\n"
        "[Files]\nEngine.exe* /x=c:\\p=files/Engine.exe\nReadme.txt=files/readme.txt\n"
        "libs=lib/*.dll\n");
    EXPECT_EQ(test::Slashes(d.stub), test::Slashes(dir / "stub/s.exe"));
    EXPECT_EQ(test::Slashes(d.output), test::Slashes(dir / "out/Setup.exe"));
    EXPECT_FALSE(d.compress);
    EXPECT_EQ(d.level, 3);
    EXPECT_EQ(d.volumeSize, 650ull << 20);
    EXPECT_TRUE(d.showTempNotice && d.showActivityBar && d.agent && d.runLog && d.silentSetup);
    EXPECT_FALSE(d.webStub || d.confirmDownload || d.saveAgentCopy);
    EXPECT_EQ(d.updateUrl, "http://example.invalid/u");
    EXPECT_EQ(d.infoFileName, "App.Update.info");
    EXPECT_EQ(d.agentFileName, "AppAgent.exe");
    EXPECT_EQ(d.updateToken, "plain-token");
    EXPECT_TRUE(d.hasDownload && d.alwaysDownload);
    EXPECT_EQ(d.downloadSize, 2048u);
    ASSERT_EQ(d.languages.size(), 1u);
    EXPECT_EQ(d.languages[0].name, "English");
    using Entry = std::pair<std::string, std::string>;
    EXPECT_EQ(d.languages[0].entries, (std::vector<Entry>{{"Charset", "0"},
                                                          {"s10", "Downloading File..."},
                                                          {"BtnText", "|&Yes|&No|"}}));
    ASSERT_EQ(d.files.size(), 4u);
    EXPECT_EQ(d.files[0].ItemName(), "Engine.exe* /x=c:\\p");
    EXPECT_EQ(d.files[0].size, 6u);
    EXPECT_EQ(d.files[1].ItemName(), "Readme.txt");
    EXPECT_EQ(d.files[2].name, "a.dll");  // a wildcard adds files under their own names, sorted
    EXPECT_EQ(d.files[3].name, "b.dll");
}

TEST_F(Description, DefaultsWithoutSections) {
    PackageDescription d = Parse("[Files]\nEngine.exe*=files/Engine.exe\n");
    EXPECT_EQ(test::Slashes(d.output), test::Slashes(dir / "pkg.exe"));
    EXPECT_TRUE(d.compress);
    EXPECT_EQ(d.level, 9);
    EXPECT_EQ(d.volumeSize, 0u);
    EXPECT_EQ(d.updateUrl, "http:");
    EXPECT_EQ(d.infoFileName, ".info");
    EXPECT_EQ(d.agentFileName, ".exe");
    EXPECT_TRUE(d.updateToken.empty());
    EXPECT_FALSE(d.hasDownload);
    EXPECT_EQ(BaseName(d.stub), "stub.exe");
    EXPECT_TRUE(d.warnings.empty());
}

TEST_F(Description, AFolderAddsItsFilesAndSkipsSubfolders) {
    test::WriteBytes(dir / "lib/sub/x.txt", "x");
    PackageDescription d = Parse("[Files]\nall=lib\n");
    ASSERT_EQ(d.files.size(), 3u);
    EXPECT_EQ(d.files[2].name, "notes.txt");
    ASSERT_EQ(d.warnings.size(), 2u);  // the subfolder, and no main program
}

TEST_F(Description, RunLogWarnsOnlyWhereNoAgentWillRead) {
    const struct {
        const char* flags;
        bool warned;
    } cases[] = {{"RunLog=1\n", true},
                 {"RunLog=1\nAgent=1\n", false},
                 {"RunLog=1\nSaveAgentCopy=1\n", false},  // the copy is an agent
                 {"Agent=1\n", false}};
    for (const auto& c : cases) {
        PackageDescription d =
            Parse(std::string("[Package]\n") + c.flags + "[Files]\nEngine.exe*=files/Engine.exe\n");
        bool warned = false;
        for (const std::string& w : d.warnings) warned |= w.find("RunLog") != std::string::npos;
        EXPECT_EQ(warned, c.warned) << c.flags;
    }
}

TEST_F(Description, RefusesWhatWouldBreakThePackageOrItsUser) {
    struct Case {
        const char* ini;
        const char* message;
    } cases[] = {
        {"[Files]\n..\\evil.exe=files/readme.txt\n", "not a plain file name"},
        {"[Files]\nsub/x.txt=files/readme.txt\n", "not a plain file name"},
        {"[Files]\nC:x.txt=files/readme.txt\n", "not a plain file name"},
        {"[Files]\nCON.txt=files/readme.txt\n", "device name"},
        {"[Files]\na|b=files/readme.txt\n", "not a plain file name"},
        {"[Files]\nA.txt=files/readme.txt\na.TXT=files/Engine.exe\n", "already in the package"},
        {"[Files]\nx=files/missing.txt\n", "file not found"},
        {"[Files]\nx=lib/*.none\n", "adds no files"},
        {"[Files]\nx=li*/a.dll\n", "last path part"},
        {"[Files]\nE.exe*=lib\n", "must be one file"},
        {"[Files]\nA.exe*=files/Engine.exe\nB.exe*=files/readme.txt\n", "more than one main"},
        {"[Files]\nE.exe* /a|b=files/Engine.exe\n", "must not contain '|'"},
        {"[Files]\nx.txt=\n", "no path"},
        {"[Package]\nCompression=lzma\n", "zlib or store"},
        {"[Package]\nLevel=10\n", "Level"},
        {"[Package]\nVolumeSize=big\n", "byte count"},
        {"[Package]\nWebStub=yes\n", "must be 0 or 1"},
        {"[Package]\nStubb=x\n", "unknown key"},
        {"[Package]\nLevel=1\nlevel=2\n", "given twice"},
        {"[Packages]\n", "unknown section"},
        {"[Package]\n[Package]\n", "appears twice"},
        {"Level=1\n", "before the first [section]"},
        {"[Package]\njunk\n", "expected key=value"},
        {"[Update]\nUpdateUrl=http://a|b\n", "must not contain '|'"},
        {"[Update]\nAgentFileName=..\\Agent.exe\n", "not a plain file name"},
        {"[Update]\nToken=\n", "Token must not be empty"},
        {"[Download]\nFileName=F.exe\nToken=t\nSize=1\n", "needs Url"},
        {"[Download]\nUrl=u\nToken=t\nSize=1\n", "needs FileName"},
        {"[Download]\nUrl=u\nFileName=F.exe\nToken=t\n", "exactly one of SetupFile and Size"},
        {"[Download]\nUrl=u\nFileName=F.exe\nSize=1\n", "needs Token"},
        {"[Download]\nUrl=u\nFileName=../F.exe\nToken=t\nSize=1\n", "not a plain file name"},
        {"[Download]\nUrl=u\nFileName=F.exe\nToken=t\nSetupFile=none.exe\n", "setup file not found"},
        {"[Package]\nWebStub=1\n", "needs a [Download] section"},
        {"[Package]\nWebStub=1\nVolumeSize=1M\n[Download]\nUrl=u\nFileName=F.exe\nToken=t\nSize=1\n",
         "cannot be spanned"},
        {"[Languages]\nEnglish=missing.lng\n", "language file not found"},
        {"[Languages]\nEnglish=en.lng\nenglish=en.lng\n", "given twice"},
    };
    for (const auto& c : cases) {
        std::string error = ErrorOf(c.ini);
        EXPECT_NE(error.find(c.message), std::string::npos) << c.ini << "\n -> " << error;
        EXPECT_NE(error.find("pkg.ini"), std::string::npos) << c.ini << "\n -> " << error;
    }
}

TEST_F(Description, LanguageTextsMustNotHoldTheListSeparators) {
    test::WriteBytes(dir / "bad.lng", "s1=a\x01" "b\n");
    std::string error = ErrorOf("[Languages]\nEnglish=bad.lng\n");
    EXPECT_NE(error.find("bad.lng:1: language texts must not contain"), std::string::npos) << error;
    test::WriteBytes(dir / "bad2.lng", "no equals sign\n");
    error = ErrorOf("[Languages]\nEnglish=bad2.lng\n");
    EXPECT_NE(error.find("bad2.lng:1: expected key=value"), std::string::npos) << error;
}

TEST(IniFile, KeepsOrderLinesAndQuotes) {
    IniDocument doc = ParseIni("\xEF\xBB\xBF; c\r\n[A]\r\n k = \" v \" \r\n#x\r\nk=2\r\n", "t.ini");
    ASSERT_EQ(doc.sections.size(), 1u);
    const auto& e = doc.Find("a")->entries;
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].key, "k");
    EXPECT_EQ(e[0].value, " v ");
    EXPECT_EQ(e[0].lineNumber, 3);
    EXPECT_EQ(e[1].value, "2");
}

}  // namespace
}  // namespace zv::pack
