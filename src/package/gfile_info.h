// Package reader: what a package file (the stub itself, a volume file or a downloaded setup file)
// holds. The file is read once, at construction; every accessor works on the copies made then.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "package/package_layout.h"
#include "utils/file_io.h"

namespace zv {

// Fills `record` from the trailer of the file. A missing or unopenable file, or a damaged trailer
// (stated length of 4 or less or longer than the file, ImageEnd past the end of the file) leaves the
// record all zero and returns false. Otherwise the first min(L, 74) - 4 bytes of the trailer are
// taken, TrailerSize becomes min(L, 74) and a HeadBlockCount of 0 becomes 2.
bool ReadTrailer(const std::string& fileName, PackageTrailer& record);
// Same on an open file; leaves the position just after the bytes read.
bool ReadTrailer(IFile& file, PackageTrailer& record);

class TGFileInfo {
public:
    // Reads the trailer and, when the signature matches, the head blocks. A head block whose stated
    // length is negative or runs past the trailer is damaged: it and the blocks after it read as
    // empty texts, and PackageStart stays at its length field.
    explicit TGFileInfo(const std::string& fileName);
    // The same on an already open file (tests, fuzzers, files built in memory).
    explicit TGFileInfo(IFile& file);

    const PackageTrailer& Trailer() const { return trailer_; }
    const std::string& LanguageText() const { return languageText_; }
    const std::string& HeaderText() const { return headerText_; }
    const std::string& DownloadText() const { return downloadText_; }

    // Bytes the extracted files need on the drive of `path`, by its cluster size.
    double SpaceRequired(const std::string& path) const;

    bool ShowTempNotice() const { return trailer_.Has(PackageFlag::ShowTempNotice); }
    bool MoreVolumes() const { return trailer_.Has(PackageFlag::MoreVolumes); }
    bool SpannedPackage() const { return trailer_.Has(PackageFlag::SpannedPackage); }
    bool ShowActivityBar() const { return trailer_.Has(PackageFlag::ShowActivityBar); }
    bool RunLogEnabled() const { return trailer_.Has(PackageFlag::RunLogEnabled); }
    bool IsWebStub() const { return trailer_.IsWebStub != 0; }
    bool ConfirmDownload() const { return trailer_.ConfirmDownload != 0; }
    bool SaveAgentCopy() const { return trailer_.SaveAgentCopy != 0; }
    bool IsAgent() const { return trailer_.IsAgent != 0; }

    std::string UpdateUrl() const;
    std::string InfoFileName() const;      // file-name part of header item 1
    std::string OriginalFileName() const;  // item 1 without folder and extensions, + ".original"
    std::string AgentFileName() const;
    std::string UpdateToken(bool unscramble) const;
    bool SilentSetup() const;

    std::string DownloadUrl() const;
    std::string DownloadFileName() const;
    bool AlwaysDownload() const;
    std::string DownloadToken(bool unscramble) const;
    std::string DownloadSize() const;

private:
    void Read(IFile& file);

    PackageTrailer trailer_;
    std::string languageText_;
    std::string headerText_;
    std::string downloadText_;
};

// The reader of the running executable, created and owned by the program entry for the whole run
// (set it before anything calls OriginalFilePath() and clear it before the reader is freed).
// Null outside that window.
extern TGFileInfo* OwnPackage;

// OwnPackage, or a reader of the running executable made for the caller where the entry has none
// (tests and tools that run the setup code without the program entry).
class OwnPackageReader {
public:
    OwnPackageReader();
    const TGFileInfo& operator*() const { return OwnPackage ? *OwnPackage : *local_; }
    const TGFileInfo* operator->() const { return &**this; }

private:
    std::unique_ptr<TGFileInfo> local_;
};

// Executable folder with one trailing backslash + the OriginalFileName of `own`.
std::string OriginalFilePath(const TGFileInfo& own);
// The same for OwnPackage; without one, as for a package without update settings (".original").
std::string OriginalFilePath();

// Cluster size of the drive whose root is the first three characters of `path` ("C:\"); 0 when
// it cannot be queried (the platform's clusterSize; natively no drive is known).
uint64_t ClusterSize(const std::string& path);

}  // namespace zv
