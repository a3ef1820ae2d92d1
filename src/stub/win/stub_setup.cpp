#include "stub/win/stub_setup.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "autoupdate/update_files.h"
#include "dialogs/win/zmsgbox.h"
#include "lang/lang_strings.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "package/setup_cmdline.h"
#include "package/setup_exit.h"
#include "package/unpack.h"
#include "package/win/setup_folder_win.h"
#include "stub/win/stub_dispatch.h"
#include "utils/file_io.h"
#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/files_win.h"
#include "utils/win/sysutils.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

constexpr uint32_t kSettleMs = 1000;
constexpr uint32_t kEnginePollMs = 500;
constexpr DWORD kDialogPollMs = 100;

// The run's global atom. The engine deletes it to say "completed"; whatever is left at the end
// is removed here. Looked up by name, never by a stored number: once the engine has deleted
// ours, the same number may already belong to someone else's atom.
class ScopedGlobalAtom {
public:
    explicit ScopedGlobalAtom(std::string name) : name_(std::move(name)) {
        GlobalAddAtomA(name_.c_str());
    }
    ~ScopedGlobalAtom() { Delete(); }
    ScopedGlobalAtom(ScopedGlobalAtom&&) = delete;
    ScopedGlobalAtom& operator=(ScopedGlobalAtom&&) = delete;

    bool Present() const { return GlobalFindAtomA(name_.c_str()) != 0; }
    void Delete() {
        if (ATOM atom = GlobalFindAtomA(name_.c_str())) GlobalDeleteAtom(atom);
    }

private:
    std::string name_;
};

// What the run knows of its package besides the extraction's result.
struct PackageFacts {
    std::string block;  // language texts
    int charset = 0;
    std::string buttons;
    bool hasPackage = false;     // the trailer's signature is there
    bool packageIsStub = false;  // the package file is the running stub itself
};

ExtractUi MakeExtractUi(UiSink& sink, const PackageFacts& facts) {
    ExtractUi ui;
    ui.progress = [&sink](int kind, int32_t low, uint16_t high, const std::string& text,
                          int32_t step, int32_t position) {
        sink.Progress(kind, low, high, text, step, position);
    };
    ui.errorBox = [facts](const std::string& text) {
        ErrorBox(kBoxWithHeading, text, "", facts.charset, facts.buttons);
    };
    ui.diskPrompt = [](const std::string& text, const std::string& caption,
                       const std::string& buttons, int charset) {
        return OkCancelBox(kBoxWithHeading, text, caption, charset, buttons);
    };
    ui.wait = [](uint32_t ms) { Wait(ms); };
    ui.pump = [] { Host().pumpMessages(); };
    ui.ejectCD = [](const std::string& volumePath) { EjectCD(volumePath); };
    ui.suppressAutoPlay = [] { SetAutoPlaySuppression(true); };
    return ui;
}

ExtractResult Extract(UiSink& ui, const ExtractOptions& options, const PackageFacts& facts) {
    return ExtractPackage(options, MakeExtractUi(ui, facts));
}

// Shortcut paths named in the ".original" file before the engine may rewrite it.
struct Shortcuts {
    std::string startUp;
    std::string checkForUpdate;
};

Shortcuts ReadShortcuts() {
    const std::string original = OriginalFilePath();
    return {ReadIniString(original, "UnInstall", "StartUpLink", ""),
            ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "")};
}

// The paths come from an ini file beside the stub, which anyone who can write that folder may
// have put there; only shortcut files are ever deleted on its word.
bool IsShortcutFile(const std::string& path) {
    return EndsWith(".lnk", path, true) || EndsWith(".url", path, true) ||
           EndsWith(".pif", path, true);
}

// Whether to remove a shortcut is the update's word (its description, the ".info" file); where
// the shortcut lies is the installation's (".original", read before the engine ran).
void RemoveShortcut(const std::string& flagKey, const std::string& path) {
    if (ReadIniString(InfoFilePath(), "NewSetup", flagKey, "") != "1" || path.empty()) return;
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (!IsShortcutFile(path)) {
        TraceOut().Write("RunSetup: not a shortcut, kept: ").WriteLine(path);
        return;
    }
    DeleteFileA(path.c_str());
}

// Runs the engine to its end and waits for its dialog to go. True when the engine ran; its exit
// code is then the stub's.
bool RunEngine(UiSink& ui, const std::string& commandLine, const std::string& threadTag,
               bool foreground) {
    UniqueHandle process = StartProcess(commandLine, foreground ? SW_SHOW : SW_HIDE, "");
    if (!process) {
        TraceOut().Write("RunSetup: the engine could not be started, error ")
            .WriteLine(IntText(GetLastError()));
        return false;
    }
    ui.Show(false);
    Wait(kSettleMs);
    // Asked of the process object, not of its exit code: an engine may well return 259.
    while (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) Wait(kEnginePollMs);
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    SetStubExitCode(int(code));

    const std::string dialogClass = EngineDialogClass(threadTag);
    while (FindWindowA(dialogClass.c_str(), nullptr)) {
        Host().pumpMessages();
        Sleep(kDialogPollMs);
    }
    Wait(kSettleMs);
    return true;
}

// A stub whose ImageEnd points past its end has lost the tail of its package, trailer included.
// The extraction then finds no package at all, which must not pass for "no main program".
bool TruncatedStub(const std::string& packageFile) {
    std::unique_ptr<IFile> file = OpenFile(packageFile, OpenMode::ReadShared);
    return file && IsPeImage(*file) && PackageEnd(*file) < 0;
}

void ShowBadPackage(const PackageFacts& facts) {
    ErrorBox(kBoxWithHeading, GetLangString(facts.block, lang::kBadCrc),
             GetLangString(facts.block, lang::kErrorTitle), facts.charset, facts.buttons);
}

// Extraction done: start the engine when the package allows it. True when the setup completed.
bool StartFromExtraction(UiSink& ui, const ExtractResult& extracted,
                         const std::string& destination, const std::string& argumentTail,
                         bool foreground, const PackageFacts& facts) {
    if (extracted.damaged || !extracted.checksumOk) {
        if (extracted.damaged) TraceOut().Write("RunSetup: ").WriteLine(extracted.damage);
        SetStubExitCode(exit_code::kDamaged);
        // Shown in a silent run as well: nothing else would tell the user why nothing happened.
        ShowBadPackage(facts);
        return false;
    }
    if (extracted.cancelled) {
        SetStubExitCode(exit_code::kCancelled);
        return false;
    }
    if (!facts.hasPackage && !facts.packageIsStub) {
        // A volume file given as the package that holds none is damaged. (The bare stub template
        // carries no package either: it just has no program to start.)
        TraceOut().WriteLine("RunSetup: no package in the package file");
        SetStubExitCode(exit_code::kDamaged);
        ShowBadPackage(facts);
        return false;
    }
    const std::string program = SplitMainFile(extracted.mainFile).program;
    if (extracted.mainFile.empty() || !IsSafeEntryName(program)) {
        TraceOut().Write("RunSetup: no main program in the package >").Write(extracted.mainFile)
            .WriteLine("<");
        SetStubExitCode(exit_code::kNoEngine);
        return false;
    }

    EngineCommand command;
    command.destination = destination;
    command.mainFile = extracted.mainFile;
    command.argumentTail = argumentTail;
    command.threadTag = ThreadTag(GetCurrentThreadId());
    command.stubPath = Host().exePath();
    command.isAgent = OwnPackage && OwnPackage->IsAgent();
    const std::string commandLine = BuildEngineCommandLine(command);
    const Shortcuts shortcuts = ReadShortcuts();
    TraceOut().Write(uint32_t(GetCurrentProcessId())).Write(" ==== WinExec(Engine.exe) >>")
        .Write(commandLine).WriteLine("<<");

    ScopedGlobalAtom atom(SetupAtomName(command.threadTag));
    if (!RunEngine(ui, commandLine, command.threadTag, foreground)) {
        SetStubExitCode(exit_code::kNoEngine);
        return false;
    }
    const bool handedBack = !atom.Present();
    atom.Delete();
    if (handedBack) {
        RemoveShortcut("RemoveStartUpShortcut", shortcuts.startUp);
        RemoveShortcut("RemoveCheckForNewUpdateShortcut", shortcuts.checkForUpdate);
    }
    return handedBack;
}

}  // namespace

bool RunSetup(UiSink& ui, const std::string& destinationIn, const std::string& packageFile,
              const std::string& agentName, const std::string& argumentTail, bool foreground) {
    const TGFileInfo reader(packageFile);
    PackageFacts facts;
    facts.block = reader.LanguageText();
    facts.hasPackage = reader.Trailer().HasSignature();
    facts.packageIsStub = SameText(packageFile, Host().exePath());
    facts.charset = GetLangCharset(facts.block);
    facts.buttons = GetLangString(facts.block, lang::kButtonCaptions);

    if (reader.ShowActivityBar()) ui.ShowActivityBar(true);
    ui.SetStatusText(GetLangString(facts.block, lang::kExtracting), GetLangFontName(facts.block),
                     facts.charset, GetLangFontSize(facts.block));

    std::string destination = destinationIn;
    if (!EnoughSpace(destination, reader) && FindTempRoot())
        destination = AlternateSetupFolder();
    TraceOut().Write("========= ForegroundOp=").Write(foreground).WriteLine(" ==========");

    bool completed = false;
    if (foreground && !ConfirmTempSpace(destination, reader)) {
        SetStubExitCode(exit_code::kCancelled);
    } else {
        ExtractOptions options;
        options.packageFile = packageFile;
        options.destination = destination;
        options.agentName = agentName;
        options.diskPrompt = GetLangString(facts.block, lang::kInsertDisk);
        options.promptCaption = GetLangString(facts.block, lang::kAttentionTitle);
        options.buttonTexts = facts.buttons;
        options.charset = facts.charset;
        options.alwaysPrompt = ForcePrompt();

        if (foreground) ui.Show(true);
        Wait(kSettleMs);
        ExtractResult extracted;
        if (TruncatedStub(packageFile)) {
            extracted.damaged = true;
            extracted.damage = "the package ends before its ImageEnd";
        } else {
            extracted = Extract(ui, options, facts);
        }
        Wait(kSettleMs);
        completed =
            StartFromExtraction(ui, extracted, destination, argumentTail, foreground, facts);
    }
    RemoveAlternateSetupFolder();
    return completed;
}

}  // namespace zv
