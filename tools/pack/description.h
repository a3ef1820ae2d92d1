// A package description: the ini file a setup author writes, read, checked and resolved into
// everything the writer needs (paths relative to the ini file's folder).
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zv::pack {

constexpr uint64_t kDefaultBlockSize = 16ull << 20;

struct PackFile {
    std::string name;        // plain file name the stub writes
    std::string engineArgs;  // extra engine arguments after the "*" (main program only)
    bool mainProgram = false;
    std::string source;      // the file on disk
    uint64_t size = 0;
    int64_t modified = 0;    // seconds since 1970 (UTC)

    // Item 0 of the item header: the name, "*" for the main program, then its arguments.
    std::string ItemName() const;
};

struct PackLanguage {
    std::string name;
    std::string source;  // the language file
    std::vector<std::pair<std::string, std::string>> entries;
};

struct PackageDescription {
    std::string path;    // the ini file
    std::string folder;  // its folder: base of every relative path in it
    std::string text;    // its bytes (part of the reproducible seed)

    std::string stub;
    std::string output;
    bool compress = true;
    int level = 9;
    uint64_t volumeSize = 0;  // 0: one file
    uint64_t blockSize = kDefaultBlockSize;  // most file bytes per block; 0: no limit

    bool showTempNotice = false, showActivityBar = false, runLog = false, webStub = false,
         confirmDownload = false, saveAgentCopy = false, agent = false, silentSetup = false;

    std::string updateUrl = "http:";
    std::string infoFileName = ".info";
    std::string agentFileName = ".exe";
    std::string updateToken;  // plain; empty: a random one is made at build time

    bool hasDownload = false;
    std::string downloadUrl, downloadFileName;
    bool alwaysDownload = false;
    std::string downloadToken;  // plain
    uint64_t downloadSize = 0;
    std::string setupFile;      // the package whose size and token the download names

    std::vector<PackLanguage> languages;
    std::vector<PackFile> files;
    std::vector<std::string> warnings;
};

// Reads and checks the description and everything it names (language files, [Files] entries,
// the setup file of [Download]). Throws PackError with the file and line of the first problem.
PackageDescription LoadDescription(const std::string& iniPath);
PackageDescription ParseDescription(const std::string& text, const std::string& iniPath);

// Reads a language file of key=value lines (blank lines and ";"/"#" comments skipped).
PackLanguage ParseLanguageFile(const std::string& name, const std::string& text,
                               const std::string& sourceName);

// Reads a whole file; throws PackError naming it when that fails.
std::string ReadTextFile(const std::string& path, const std::string& what);

}  // namespace zv::pack
