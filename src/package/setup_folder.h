// The per-run setup folder under the temp path, the search for a roomier fixed drive when the
// temp drive is short of space, the alternate folder on that drive, and the texts of the
// temp-space question. The file system is reached through ISetupFileSystem so that the drive
// choice runs natively against fake drives.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

// The folder with exactly one trailing backslash ("" gives "\\", unlike NormalizeDir).
std::string WithBackslash(std::string path);

class ISetupFileSystem {
public:
    virtual ~ISetupFileSystem() = default;
    virtual std::string TempPath() = 0;          // the user's temp folder as the system reports it
    virtual uint32_t ExeFileDateTime() = 0;      // running executable's DOS date (high) and time (low)
    virtual bool IsFixedDrive(char letter) = 0;  // the root "X:\" is a fixed drive
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool CreateFolder(const std::string& path) = 0;  // missing parents included
    virtual bool WriteFile(const std::string& path, const std::string& bytes) = 0;
    virtual double FreeSpace(const std::string& path) = 0;   // bytes; 0 when not measurable
    virtual bool DeleteTree(const std::string& path) = 0;    // read-only entries included
    virtual int64_t Random(int64_t low, int64_t high) = 0;   // inclusive
};

// "SETUP_" + the low 16 bits of the executable's date-time, under the temp path.
std::string SetupFolderName(const std::string& tempPath, uint32_t exeDosDateTime);

// The folder names of one process. Each is made on first use and then kept.
class SetupFolders {
public:
    explicit SetupFolders(ISetupFileSystem& fs) : fs_(fs) {}

    // Empties an older run's folder of the same name and creates it; later calls only return it.
    std::string SetupFolder();
    // Looks among the fixed drives C, D and E for one writable with more free space than the temp
    // path's drive. True once such a drive was found (later calls do not probe again).
    bool FindTempRoot();
    const std::string& TempRoot() const { return tempRoot_; }
    // TempRoot + "_" + a random number, created afresh on first use; empty without a TempRoot.
    std::string AlternateSetupFolder();
    void RemoveAlternateSetupFolder();

private:
    double ProbeDrive(char letter);

    ISetupFileSystem& fs_;
    std::string setupFolder_;
    std::string tempRoot_;
    std::string alternate_;
};

// Byte count as megabytes: 1 decimal above 10, 2 from 1, 3 below ("43.8", "1.00", "0.477").
std::string MegabyteText(double bytes);

// The texts of the temp-space question, already looked up in the language block.
struct TempSpaceTexts {
    std::string notice;     // s2: the package asks to be told
    std::string shortage;   // s3: the drive is short of space
    std::string required;   // s4
    std::string available;  // s5
    std::string question;   // s6
};

// "X:" for the folder's drive; empty for an empty folder name.
std::string DriveText(const std::string& folder);

// The question to put to the user, or "" when there is nothing to ask: the package did not ask
// for the notice and the required space is below the available space.
std::string TempSpaceMessage(const std::string& folder, double required, double available,
                             bool showNotice, const TempSpaceTexts& texts);

}  // namespace zv
