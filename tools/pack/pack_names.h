// Small rules the packager applies to names, sizes and patterns, and the deterministic hash and
// random generator that keep its output reproducible.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "package/entry_name.h"

namespace zv::pack {

// Every failure the packager reports to its user: the message is complete and ends the command.
class PackError : public std::runtime_error {
public:
    explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// Why `name` cannot be written as a file directly inside the destination folder; empty when it
// can. The stub's own rule, so that the packager refuses exactly what the stub would.
inline std::string PlainFileNameProblem(const std::string& name) { return EntryNameProblem(name); }
inline bool IsPlainFileName(const std::string& name) { return IsSafeEntryName(name); }

// "650M", "4k", "1G", "123" (K/M/G are powers of 1024, an optional trailing B is accepted).
// False when the text is not such a size or does not fit 64 bits.
bool ParseByteSize(const std::string& text, uint64_t& value);

// '*' and '?' wildcards over one file name.
bool WildcardMatch(const std::string& pattern, const std::string& name, bool ignoreCase);
bool HasWildcard(const std::string& text);

// The text with control characters (and DEL) written as \xNN, so that a name from a package can
// be printed without driving the terminal.
std::string Printable(const std::string& text);

bool EqualsIgnoreCase(const std::string& a, const std::string& b);
std::string LowerAscii(std::string text);

// FNV-1a over everything that makes a package, so equal inputs give equal "random" parts.
class InputHash {
public:
    void Add(const void* data, size_t size);
    void Add(const std::string& text) { Add(text.data(), text.size()); Add("\0", 1); }
    void Add(uint64_t value);
    uint64_t Value() const { return h_; }

private:
    uint64_t h_ = 0xcbf29ce484222325ull;
};

// splitmix64: tiny, fully defined by its few lines, the same on every platform.
class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed) : s_(seed) {}
    uint64_t Next();
    std::string LowercaseLetters(int count);

private:
    uint64_t s_;
};

}  // namespace zv::pack
