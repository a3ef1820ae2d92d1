#include "stub/win/web_stub.h"

#include <windows.h>

#include <memory>

#include "dialogs/win/zmsgbox.h"
#include "inet/comm_utils.h"
#include "inet/win/inet_http.h"
#include "lang/lang_strings.h"
#include "package/gfile_info.h"
#include "package/setup_cmdline.h"
#include "package/setup_exit.h"
#include "package/setup_folder.h"
#include "package/unpack.h"
#include "stub/win/stub_setup.h"
#include "utils/file_io.h"
#include "utils/platform.h"
#include "utils/switches.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/sysutils.h"

namespace zv {

namespace {

// The user declined the download: the flow ends without a message.
constexpr const char* kDeclined = "!";
constexpr const char* kBadToken = "Bad Secret Token!";

struct Language {
    explicit Language(const TGFileInfo& own)
        : block(own.LanguageText()),
          charset(GetLangCharset(block)),
          buttons(GetLangString(block, lang::kButtonCaptions)) {}
    std::string Text(const LangText& text) const { return GetLangString(block, text); }

    std::string block;
    int charset;
    std::string buttons;
};

void Trace(const std::string& what, const std::string& value) {
    TraceOut().Write(uint32_t(GetCurrentProcessId())).Write(" WebStubSetup: ").Write(what)
        .Write(" >").Write(value).WriteLine("<");
}

// The setup file belongs to this web stub when both carry the same download token. A stub
// without a token accepts nothing: a downloaded file is never run unchecked.
bool SameDownloadToken(const TGFileInfo& setup, const TGFileInfo& own) {
    if (own.DownloadToken(false).empty()) return false;
    return setup.DownloadToken(true) == own.DownloadToken(true);
}

bool AskForDownload(const TGFileInfo& own, const Language& lang) {
    const std::string size = MegabyteText(double(StrToInt64Def(own.DownloadSize(), 0)));
    const std::string text = ReplaceAll(lang.Text(lang::kDownloadConfirm), "<SIZE>", size);
    return ConfirmBox(kBoxWithHeading, text, lang.Text(lang::kConfirmTitle), 0, lang.charset,
                      lang.buttons);
}

// Fetches url into setupFile in the temp folder; returns the error text ("!" when declined).
// started: the download was begun, so setupFile (when there is one) is this run's.
std::string Download(UiSink& ui, const TGFileInfo& own, const Language& lang,
                     const std::string& url, const std::string& setupFile, bool quiet,
                     bool& started) {
    ui.SetStatusText(lang.Text(lang::kDownloading), GetLangFontName(lang.block), lang.charset,
                     GetLangFontSize(lang.block));
    std::string error;
    if (own.ConfirmDownload() && !quiet && !AskForDownload(own, lang)) error = kDeclined;
    std::string connectionError;
    if (!IsInternetConnected(&connectionError)) {
        const std::string noConnection = lang.Text(lang::kNoConnection);
        error = connectionError.empty() ? noConnection : connectionError + "<P><P>" + noConnection;
    }
    ui.ClearAbortRequested();
    if (error.empty()) {
        Trace("download", url);
        started = true;
        error = HTTP_DownloadFile(ui, !quiet, url, setupFile);
    }
    Wait(300);
    ui.Progress(0, 0, 10, "", 1, 0);
    Wait(700);
    return error;
}

}  // namespace

bool WebStubSetup(UiSink& ui, const std::string& folder, const std::string& source,
                  const std::string& fileName) {
    const OwnPackageReader own;
    const Language lang(*own);
    const bool quiet = HasSwitch(kSwitchHide) || own->SilentSetup();
    const std::string url = JoinUrl(source, fileName);
    std::string error;
    std::string setupFile;
    bool downloadStarted = false;

    // The name comes from the package and is joined to the temp folder and the stub's folder.
    if (!IsSafeEntryName(fileName)) {
        error = "Invalid setup file name: \"" + fileName + "\"";
    } else {
        const std::string local = NormalizeDir(source, true) + fileName;
        if (FileExists(local)) {
            Trace("local setup file", local);
            setupFile = local;
        } else {
            setupFile = GetTempDir(true) + fileName;
            error = Download(ui, *own, lang, url, setupFile, quiet, downloadStarted);
        }
    }

    if (error.empty()) {
        const TGFileInfo setup(setupFile);
        if (!SameDownloadToken(setup, *own))
            error = HtmlErrorMessage(setupFile, "", url, false, kBadToken);
    }
    bool ran = false;
    if (error.empty()) {
        RunSetup(ui, folder, setupFile, "", GetParamsText(), !quiet);
        ran = true;
    }
    // The downloaded copy is this run's own, whatever became of it; a partial file stays for the
    // next download of the same name to remove.
    if (downloadStarted) DeleteFileA(setupFile.c_str());

    if (!error.empty()) {
        Trace("error", error);
        SetStubExitCode(error == kDeclined ? exit_code::kCancelled : exit_code::kDownloadFailed);
        if (error != kDeclined)
            ErrorBox(kBoxWithHeading, error, lang.Text(lang::kErrorTitle), lang.charset,
                     lang.buttons);
    }
    return ran;
}

}  // namespace zv
