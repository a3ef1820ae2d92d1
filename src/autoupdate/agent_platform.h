// Everything the agent's update cycle asks of the world outside its ini files and clock: files,
// downloads, the agent's window and client, message boxes, the inform dialog, processes and the
// setup driver. What the user sees of the work (status text, progress, the window shown, the wish
// to stop) is not here: the cycle reports to the UiSink it was made with, and hands that sink to
// the download and the setup driver, so all of them watch one abort flag.
// The Win32 layer implements it once; native tests script it, tick by tick, without waiting.
#pragma once
#include <cstdint>
#include <string>

#include "utils/ui_sink.h"

namespace zv {

enum class AgentBox { Error, Attention, Confirm };

struct InformDialogArgs {
    std::string title, button, text, link;
    int width = 360, height = 360;
    bool rightToLeft = false;
    std::string fontFace;
    int fontSize = 8;
    int charset = 0;
};

// No member is named like a <windows.h> function (DeleteFile, MessageBox, ...): the Win32 layer
// would see it renamed by the header's macro, and portable code would not.
class AgentPlatform {
public:
    virtual ~AgentPlatform() = default;

    // Files. Copies and reads go in bounded chunks; maxBytes 0 means no cap, and a file above the
    // cap is an error (nothing, or nothing complete, is left at the target).
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool CopyFileBounded(const std::string& from, const std::string& to,
                                 int64_t maxBytes) = 0;
    virtual bool ReadFileBounded(const std::string& path, int64_t maxBytes, std::string& data) = 0;
    // Writes under a temporary name beside path and moves it into place: a reader never sees half
    // a file, and a failure leaves the previous file.
    virtual bool WriteFileAtomic(const std::string& path, const std::string& data) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;

    // Network. The error text is the system's when not connected.
    virtual bool InternetConnected(std::string& errorText) = 0;
    // Downloads url into target (empty target: into data, capped at maxBytes), reporting to ui;
    // returns the error text, empty on success. parentVisible: the stub window is the download's
    // owner.
    virtual std::string HttpDownload(UiSink& ui, bool parentVisible, const std::string& url,
                                     const std::string& target, int64_t maxBytes,
                                     std::string& data) = 0;

    // The message-pumping wait.
    virtual void Wait(uint32_t milliseconds) = 0;

    // The agent's client and window.
    virtual void NotifyClient(int32_t code, int32_t value) = 0;
    // Ends the message loop after this tick (the window stays).
    virtual void PostQuit() = 0;
    // Destroys the agent's window: the loop ends and the copy deletes itself.
    virtual void DestroyAgentWindow() = 0;

    // Dialogs. mode 0: title as heading, 1: no heading, 2: no heading and no Close command.
    // The result is true for Yes (Confirm) and for any answer of the other kinds.
    virtual void SetMsgBoxFont(const std::string& face, int size, int charset) = 0;
    virtual bool ShowBox(AgentBox kind, int mode, const std::string& text) = 0;
    virtual bool ShowInformDialog(const InformDialogArgs& args) = 0;

    // Processes, by full path.
    virtual bool IsProgramRunning(const std::string& path) = 0;
    virtual bool CloseProgram(const std::string& path) = 0;       // WM_CLOSE 15/255
    virtual bool QuitProgram(const std::string& path) = 0;        // WM_QUIT 15/255
    virtual bool TerminateProgram(const std::string& path) = 0;   // exit code 0
    virtual bool WaitProgramEnd(const std::string& path, uint32_t timeoutMs) = 0;
    // Starts a command line (its program quoted by the caller); false when it did not start.
    virtual bool StartProgram(const std::string& commandLine, bool show) = 0;

    // The setup driver on a downloaded package, reporting to ui; removes its setup folder
    // afterwards.
    virtual bool RunSetup(UiSink& ui, const std::string& packageFile, const std::string& agentName,
                          const std::string& argumentTail, bool foreground) = 0;
    // The unscrambled update token of the package at path; empty when it holds none.
    virtual std::string PackageUpdateToken(const std::string& path) = 0;
};

}  // namespace zv
