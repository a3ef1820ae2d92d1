// `zolvex-pack extract`: writes the files of a package into a folder. The folder may already hold
// anything, links and FIFOs included, and the package may be damaged or hostile, so:
// - every file is written under a fresh, exclusively created name in the folder and put in place
//   at the end, only where nothing or a regular file stands (a link is replaced, never followed);
// - a file whose content is not complete and correct is removed, and the message names it;
// - the package may not write more than it states (SpaceRequired), nor more than the drive holds;
// - names are compared without case, as on the systems the stub runs on: pieces of "Dup.txt" and
//   "dup.txt" make one file.
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "pack_commands.h"
#include "pack_names.h"
#include "pack_platform.h"
#include "package_reader.h"
#include "progress_bar.h"
#include "utils/platform.h"

namespace zv::pack {
namespace {

struct Entry {
    std::string name;  // as the first piece gives it
    std::string temp;  // where it is written until it is put in place
    int64_t date = 0;  // DOS date-time of the first piece
    std::string damage;  // why it is not complete and correct; empty when it is
};

class Extractor {
public:
    Extractor(const PackageView& view, const std::string& folder, uint64_t limit,
              std::vector<std::string>& errors)
        : view_(view), folder_(folder), limit_(limit), errors_(errors), reader_(view) {}
    ~Extractor() {
        CloseCurrent();
        for (const auto& e : entries_)
            if (!e.temp.empty()) RemoveFileQuietly(e.temp);
    }

    void Block(const BlockView& b);
    // The file written last may go on in a volume or block that could not be read.
    void SuspectLast(const std::string& why) {
        if (last_ != SIZE_MAX) Damage(last_, why);
    }
    void SuspectFirst(const std::string& why) {
        if (!entries_.empty()) Damage(0, why);
    }
    int Finish();  // puts the files in place; returns how many

private:
    bool OnHeader(const std::string& header, const std::string& where);
    void CloseCurrent();
    void Damage(size_t index, const std::string& why) {
        if (entries_[index].damage.empty()) entries_[index].damage = why;
    }

    const PackageView& view_;
    const std::string& folder_;
    const uint64_t limit_;
    std::vector<std::string>& errors_;
    BlockReader reader_;
    std::vector<Entry> entries_;
    std::map<std::string, size_t> byName_;  // lower-case name -> entry
    size_t current_ = SIZE_MAX;             // the entry whose file is open
    size_t last_ = SIZE_MAX;                // the entry the last readable block went to
    size_t block_ = SIZE_MAX;               // the entry of the block being read
    FILE* file_ = nullptr;
    uint64_t written_ = 0;
    std::string writeError_;
    bool garbledHeader_ = false;
};

bool Extractor::OnHeader(const std::string& header, const std::string& where) {
    ItemHeader item = ParseItemHeader(header);
    const std::string shown = Printable(item.name);
    if (std::string problem = PlainFileNameProblem(item.name); !problem.empty()) {
        errors_.push_back(where + "refused unsafe file name \"" + shown + "\": " + problem);
        // A hostile but well-made entry stands for itself; a header that is no "|name|date|" list
        // is damage, maybe to the next piece of the file before it.
        const ParsedItem parsed = ParseItem(header);
        garbledHeader_ = header.size() < 2 || header.front() != '|' || header.back() != '|' ||
                         parsed.itemCount != 2;
        return false;
    }
    const std::string key = LowerAscii(item.name);
    auto it = byName_.find(key);
    if (it != byName_.end() && it->second == current_) {
        block_ = current_;
        return true;
    }
    CloseCurrent();
    if (it != byName_.end()) {
        // The stub would append to what it wrote before; a package built in order never does
        // this, so the file is not what its author packed.
        errors_.push_back(where + "\"" + shown + "\" appears again after other files");
        Damage(it->second, "its pieces are not in one run");
        block_ = SIZE_MAX;
        return false;
    }
    const std::string target = JoinPath(folder_, item.name);
    for (const auto& v : view_.volumes)
        if (SamePath(target, v.path)) {
            errors_.push_back(where + "\"" + shown + "\" would overwrite the package being read: refused");
            return false;
        }
    NewFile created = CreateUniqueFile(folder_, ".zvpack-");
    if (!created.file) {
        errors_.push_back(where + "cannot write " + Printable(target) + ": " + created.error);
        return false;
    }
    Entry e;
    e.name = item.name;
    e.temp = created.path;
    e.date = item.date;
    byName_.emplace(key, entries_.size());
    entries_.push_back(e);
    current_ = block_ = entries_.size() - 1;
    file_ = created.file;
    return true;
}

void Extractor::CloseCurrent() {
    if (!file_) return;
    Entry& e = entries_[current_];
    int64_t when = 0;
    if (e.date > 0 && e.date <= int64_t(UINT32_MAX) &&
        UnixFromLocalDosDateTime(uint32_t(e.date), when))
        SetOpenFileTime(file_, when);
    const bool closed = std::fclose(file_) == 0;
    if (!closed) Damage(current_, "cannot write " + Printable(JoinPath(folder_, e.name)) + ": " + LastSystemError());
    file_ = nullptr;
    current_ = SIZE_MAX;
}

void Extractor::Block(const BlockView& b) {
    const VolumeView& v = view_.volumes[b.volume];
    const std::string where = Where(v, b.offset) + ": ";
    block_ = SIZE_MAX;
    garbledHeader_ = false;
    bool outgrown = false;
    writeError_.clear();
    auto onHeader = [&](const std::string& header) { return OnHeader(header, where); };
    auto onData = [&](const uint8_t* data, size_t size) {
        if (size > limit_ - written_) {
            outgrown = true;
            return false;
        }
        written_ += size;
        if (std::fwrite(data, 1, size, file_) != size) {
            writeError_ = LastSystemError();
            return false;
        }
        return true;
    };
    BlockContent c = reader_.Read(b, onHeader, onData);
    if (c.ok && c.hasNul) {
        last_ = block_;
        return;
    }
    if (block_ == SIZE_MAX) {
        // No file took the block. Without an item header it may well be the next piece of the
        // file before it, which then lacks that piece; a refused header was reported already.
        if (!c.hasNul)
            errors_.push_back(where + (c.ok || c.error.empty() ? "file block holds no item header" : c.error));
        if (!c.hasNul || garbledHeader_) SuspectLast("it may go on in the damaged block at " + Where(v, b.offset));
        return;
    }
    const std::string target = Printable(JoinPath(folder_, entries_[block_].name));
    if (outgrown) {
        errors_.push_back(where + "the files hold more than the " + std::to_string(limit_) +
                          " bytes the package states (SpaceRequired): extraction stopped");
        Damage(block_, "the package holds more data than it states");
    } else if (!writeError_.empty()) {
        errors_.push_back(where + "cannot write " + target + ": " + writeError_);
        Damage(block_, "cannot write it: " + writeError_);
    } else {
        errors_.push_back(where + (c.error.empty() ? "damaged block" : c.error));
        Damage(block_, "a piece of it is damaged (" + Where(v, b.offset) + ")");
    }
    last_ = block_;
}

int Extractor::Finish() {
    CloseCurrent();
    int placed = 0;
    for (auto& e : entries_) {
        const std::string target = JoinPath(folder_, e.name);
        if (!e.damage.empty()) {
            errors_.push_back("removed " + Printable(target) + ": " + e.damage);
        } else if (std::string refused = PlaceFile(e.temp, target); !refused.empty()) {
            errors_.push_back(Printable(refused) + "; " + Printable(e.name) + " was not written");
        } else {
            e.temp.clear();
            ++placed;
            continue;
        }
        RemoveFileQuietly(e.temp);
        e.temp.clear();
    }
    return placed;
}

// The slot of SpaceRequired that fits the drive's allocation unit, as the stub picks it.
uint64_t SpaceNeeded(const PackageTrailer& t, uint64_t clusterSize) {
    for (int i = kSpaceRequiredSlots - 1; i > 0; --i)
        if (clusterSize && kSpaceRequiredClusters[i] == clusterSize) return t.SpaceRequired[size_t(i)];
    return t.SpaceRequired[0];
}

}  // namespace

int ExtractCommand(const std::string& path, const std::string& folder, std::ostream& out,
                   std::ostream& err, const ReadOptions& options) {
    if (folder.empty()) {
        err << "error: no folder to extract into (an empty name would be the current folder)\n";
        return 1;
    }
    PackageView view = ScanPackage(path);
    if (!view.readable) {
        for (const auto& e : view.errors) err << "error: " << Printable(e) << "\n";
        return 1;
    }
    std::vector<std::string> errors = view.errors;
    const PackageTrailer& t = view.Trailer();
    if (!MakeFolders(folder)) {
        err << "error: cannot create folder " << folder << ": " << LastSystemError() << "\n";
        return 1;
    }
    uint64_t freeBytes = 0, cluster = 0;
    if (FreeSpace(folder, freeBytes, cluster) && SpaceNeeded(t, cluster) > freeBytes) {
        err << "error: " << folder << " has " << freeBytes << " bytes free; the package needs "
            << SpaceNeeded(t, cluster) << "\n";
        return 1;
    }
    // SpaceRequired[0] is the plain sum of the file sizes; at its 32-bit ceiling it says only
    // "4 GB or more".
    const uint64_t limit = t.SpaceRequired[0] == UINT32_MAX ? UINT64_MAX : t.SpaceRequired[0];

    uint64_t total = 0, done = 0;
    for (const auto& b : view.fileBlocks) total += b.StoredSize();
    ProgressBar bar(err, options.progress, "extract");
    Extractor x(view, folder, limit, errors);
    for (const auto& b : view.fileBlocks) {
        x.Block(b);
        bar.Update(done += b.StoredSize(), total);
    }
    bar.Finish();
    const VolumeView& lastVolume = view.volumes.back();
    if (t.FileCount != view.fileBlocks.size())
        errors.push_back("FileCount is " + std::to_string(t.FileCount) + " but " + lastVolume.path +
                         (view.volumes.size() > 1 ? " and the volumes before it hold " : " holds ") +
                         std::to_string(view.fileBlocks.size()) +
                         " file blocks: a volume is missing, out of order or cut short");
    if (!view.errors.empty())
        x.SuspectLast("the package is damaged after it (" + lastVolume.path + ")");
    else if (t.FileCount != view.fileBlocks.size())
        x.SuspectLast("it may go on in a volume after " + lastVolume.path);
    if (view.startsMidSet)
        x.SuspectFirst("it may begin in a volume before " + view.volumes.front().path);
    const int placed = x.Finish();
    out << "Extracted " << placed << " files to " << folder << "\n";
    for (const auto& e : errors) err << "error: " << Printable(e) << "\n";
    return errors.empty() ? 0 : 1;
}

}  // namespace zv::pack
