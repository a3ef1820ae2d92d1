#include "package/setup_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace zv {
namespace {

struct FakeDrive {
    bool fixed = true;
    bool writable = true;
    double free = 0;
};

// Drives C, D, E... with folders and files held in memory. Paths are compared as given.
class FakeFs : public ISetupFileSystem {
public:
    std::string tempPath = "C:\\Temp\\";
    uint32_t exeTime = 0x51A69AA5;  // time 19:21:10 -> DOS time 0x9AA5 = 39589
    std::map<char, FakeDrive> drives;
    std::set<std::string> folders;
    std::map<std::string, std::string> files;
    std::vector<int64_t> randoms{52817, 10000, 100000};
    size_t nextRandom = 0;
    int probes = 0;

    std::string TempPath() override { return tempPath; }
    uint32_t ExeFileDateTime() override { return exeTime; }
    bool IsFixedDrive(char letter) override {
        auto d = drives.find(letter);
        return d != drives.end() && d->second.fixed;
    }
    bool FolderExists(const std::string& path) override { return folders.count(path) > 0; }
    bool FileExists(const std::string& path) override { return files.count(path) > 0; }
    bool CreateFolder(const std::string& path) override {
        if (!Writable(path)) return false;
        for (size_t p = path.find('\\', 3); p != std::string::npos; p = path.find('\\', p + 1))
            folders.insert(path.substr(0, p));
        folders.insert(path);
        return true;
    }
    bool WriteFile(const std::string& path, const std::string& bytes) override {
        if (path.find("~aa.tmp") != std::string::npos) ++probes;
        const std::string parent = path.substr(0, path.rfind('\\'));
        if (!Writable(path) || !FolderExists(parent)) return false;
        files[path] = bytes;
        return true;
    }
    double FreeSpace(const std::string& path) override {
        auto d = drives.find(path[0]);
        return d == drives.end() ? 0 : d->second.free;
    }
    bool DeleteTree(const std::string& path) override {
        const bool existed = folders.erase(path) > 0;
        const std::string prefix = path + "\\";
        for (auto it = folders.begin(); it != folders.end();)
            it = it->compare(0, prefix.size(), prefix) == 0 ? folders.erase(it) : std::next(it);
        for (auto it = files.begin(); it != files.end();)
            it = it->first.compare(0, prefix.size(), prefix) == 0 ? files.erase(it) : std::next(it);
        return existed;
    }
    int64_t Random(int64_t, int64_t) override { return randoms[nextRandom++ % randoms.size()]; }

private:
    bool Writable(const std::string& path) {
        auto d = drives.find(path.empty() ? '?' : path[0]);
        return d != drives.end() && d->second.writable;
    }
};

TEST(SetupFolder, NameFromTheExecutablesTimeOfDay) {
    EXPECT_EQ(SetupFolderName("C:\\Temp\\", 0x12349AA5), "C:\\Temp\\SETUP_39589");
    EXPECT_EQ(SetupFolderName("C:\\Temp", 0x00009AA5), "C:\\Temp\\SETUP_39589");
    EXPECT_EQ(SetupFolderName("C:\\Temp\\\\", 0x0000FFFF), "C:\\Temp\\SETUP_65535");
    // 18:53:10 is DOS time 38565.
    EXPECT_EQ(SetupFolderName("C:\\Temp\\", (18u << 11) | (53u << 5) | 5u), "C:\\Temp\\SETUP_38565");
}

TEST(SetupFolder, EmptiesAnOlderRunOnFirstUseOnly) {
    FakeFs fs;
    fs.drives['C'] = {};
    fs.CreateFolder("C:\\Temp\\SETUP_39589\\sub");
    fs.files["C:\\Temp\\SETUP_39589\\Engine.exe"] = "old";
    SetupFolders folders(fs);

    EXPECT_EQ(folders.SetupFolder(), "C:\\Temp\\SETUP_39589");
    EXPECT_TRUE(fs.FolderExists("C:\\Temp\\SETUP_39589"));
    EXPECT_FALSE(fs.FolderExists("C:\\Temp\\SETUP_39589\\sub"));
    EXPECT_TRUE(fs.files.empty());

    fs.files["C:\\Temp\\SETUP_39589\\Engine.exe"] = "this run's";
    EXPECT_EQ(folders.SetupFolder(), "C:\\Temp\\SETUP_39589");
    EXPECT_EQ(fs.files.size(), 1u);
}

struct RootCase {
    const char* what;
    const char* tempPath;
    std::map<char, FakeDrive> drives;
    std::vector<std::string> existingFolders;
    const char* expectedRoot;  // "" for none
};

TEST(FindTempRoot, ChoosesTheRoomiestWritableFixedDrive) {
    const double gb = 1e9;
    const RootCase cases[] = {
        {"D roomier than the temp drive C", "C:\\Temp\\",
         {{'C', {true, true, 1 * gb}}, {'D', {true, true, 2 * gb}}}, {}, "D:\\TEMP"},
        {"an existing D:\\TEMP gets a TEMP below it", "C:\\Temp\\",
         {{'C', {true, true, 1 * gb}}, {'D', {true, true, 2 * gb}}}, {"D:\\TEMP"},
         "D:\\TEMP\\TEMP"},
        {"a tie keeps the earlier letter", "D:\\Temp\\",
         {{'C', {true, true, 2 * gb}}, {'D', {true, true, 2 * gb}}}, {}, "C:\\TEMP"},
        {"lower-case temp path", "d:\\temp\\",
         {{'C', {true, true, 1 * gb}}, {'D', {true, true, 2 * gb}}}, {}, ""},
        {"only the temp drive is writable", "D:\\Temp\\",
         {{'C', {true, false, 9 * gb}}, {'D', {true, true, 1 * gb}}}, {}, ""},
        {"a removable drive is not probed", "C:\\Temp\\",
         {{'C', {true, true, 1 * gb}}, {'D', {false, true, 9 * gb}}}, {}, ""},
        {"E wins over D", "C:\\Temp\\",
         {{'C', {true, true, 1 * gb}}, {'D', {true, true, 2 * gb}}, {'E', {true, true, 3 * gb}}},
         {}, "E:\\TEMP"},
        {"the temp drive itself is the roomiest", "C:\\Temp\\",
         {{'C', {true, true, 5 * gb}}, {'D', {true, true, 2 * gb}}}, {}, ""},
    };
    for (const RootCase& c : cases) {
        FakeFs fs;
        fs.tempPath = c.tempPath;
        fs.drives = c.drives;
        for (const std::string& f : c.existingFolders) fs.folders.insert(f);
        const std::set<std::string> before = fs.folders;
        SetupFolders folders(fs);

        EXPECT_EQ(folders.FindTempRoot(), *c.expectedRoot != '\0') << c.what;
        EXPECT_EQ(folders.TempRoot(), c.expectedRoot) << c.what;
        // Probing leaves the drives as they were: existing folders stay, probe folders go.
        EXPECT_EQ(fs.folders, before) << c.what;
        EXPECT_TRUE(fs.files.empty()) << c.what;
    }
}

TEST(FindTempRoot, ProbesAgainOnlyWhileNothingWasFound) {
    FakeFs fs;
    fs.drives = {{'C', {true, true, 5}}, {'D', {true, true, 1}}};
    SetupFolders folders(fs);
    EXPECT_FALSE(folders.FindTempRoot());
    EXPECT_FALSE(folders.FindTempRoot());
    EXPECT_EQ(fs.probes, 4);

    fs.drives['D'].free = 9;
    EXPECT_TRUE(folders.FindTempRoot());
    EXPECT_TRUE(folders.FindTempRoot());
    EXPECT_EQ(fs.probes, 6);
}

TEST(FindTempRoot, NeverProbesInsideAFolderThatIsAlreadyThere) {
    FakeFs fs;
    fs.tempPath = "D:\\Temp\\";
    fs.drives = {{'C', {true, true, 5}}, {'D', {true, true, 1}}};
    // The first random probe name is taken by someone else's folder.
    fs.folders = {"C:\\TEMP", "C:\\TEMP\\TEMP52817"};
    fs.files["C:\\TEMP\\TEMP52817\\keep.txt"] = "theirs";
    SetupFolders folders(fs);
    EXPECT_TRUE(folders.FindTempRoot());
    EXPECT_EQ(folders.TempRoot(), "C:\\TEMP\\TEMP");
    EXPECT_EQ(fs.files.at("C:\\TEMP\\TEMP52817\\keep.txt"), "theirs");
}

TEST(AlternateSetupFolder, MadeOnlyWithATempRootAndRemovedAgain) {
    FakeFs fs;
    fs.drives = {{'C', {true, true, 1}}, {'D', {true, true, 2}}};
    SetupFolders folders(fs);
    EXPECT_EQ(folders.AlternateSetupFolder(), "");
    folders.RemoveAlternateSetupFolder();

    ASSERT_TRUE(folders.FindTempRoot());
    fs.nextRandom = 0;
    fs.CreateFolder("D:\\TEMP_52817");
    fs.files["D:\\TEMP_52817\\stale.bin"] = "x";
    EXPECT_EQ(folders.AlternateSetupFolder(), "D:\\TEMP_52817");
    EXPECT_TRUE(fs.FolderExists("D:\\TEMP_52817"));
    EXPECT_TRUE(fs.files.empty());
    EXPECT_EQ(folders.AlternateSetupFolder(), "D:\\TEMP_52817");

    folders.RemoveAlternateSetupFolder();
    EXPECT_FALSE(fs.FolderExists("D:\\TEMP_52817"));
}

TEST(MegabyteText, Cases) {
    const std::pair<double, const char*> cases[] = {
        {45880399, "43.8"}, {1048576, "1.00"},  {500000, "0.477"},    {0, "0.000"},
        {-5, "0.000"},      {10485760, "10.00"}, {10485761, "10.0"}, {1048575, "1.000"},
    };
    for (const auto& c : cases) EXPECT_EQ(MegabyteText(c.first), c.second) << c.first;
}

TEST(TempSpaceMessage, NoticeShortageOrNothing) {
    const TempSpaceTexts t{"N(<DRIVE>)", "S(<DRIVE>)", " req <SPACE_REQ>", " avail <SPACE_AVAIL>",
                           " ?"};
    EXPECT_EQ(TempSpaceMessage("c:\\t", 1048576, 2097152, false, t), "");
    EXPECT_EQ(TempSpaceMessage("c:\\t", 1048576, 2097152, true, t),
              "N(C:) req 1.00 avail 2.00 ?");
    EXPECT_EQ(TempSpaceMessage("d:\\t", 2097152, 2097152, false, t),
              "S(D:) req 2.00 avail 2.00 ?");
    EXPECT_EQ(TempSpaceMessage("d:\\t", 45880399, 500000, true, t),
              "S(D:) req 43.8 avail 0.477 ?");
    EXPECT_EQ(DriveText(""), "");
}

}  // namespace
}  // namespace zv
