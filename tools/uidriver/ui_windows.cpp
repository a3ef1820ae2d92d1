#include "ui_windows.h"

#include <richedit.h>

#include <algorithm>
#include <cctype>

namespace uidriver {
namespace {

struct FindArgs {
    const WindowQuery& query;
    HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND wnd, LPARAM lp) {
    auto* a = reinterpret_cast<FindArgs*>(lp);
    const WindowQuery& q = a->query;
    if (!IsWindowVisible(wnd)) return TRUE;
    if (_stricmp(ClassOf(wnd).c_str(), q.cls.c_str()) != 0) return TRUE;
    if (q.processId != 0) {
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        if (pid != q.processId) return TRUE;
    }
    if (!q.caption.empty() && TextOf(wnd) != q.caption) return TRUE;
    a->found = wnd;
    return FALSE;
}

struct ChildArgs {
    std::string cls;
    std::vector<HWND> found;
};

BOOL CALLBACK FindChild(HWND wnd, LPARAM lp) {
    auto* a = reinterpret_cast<ChildArgs*>(lp);
    if (_stricmp(ClassOf(wnd).c_str(), a->cls.c_str()) == 0) a->found.push_back(wnd);
    return TRUE;
}

std::string Normalise(std::string caption) {
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    for (char& c : caption) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return caption;
}

// A block of memory inside another process, freed on destruction.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    void* get() const { return address_; }

private:
    HANDLE process_;
    void* address_;
};

// A paragraph mark takes the format of the text before it but shows nothing: ranges report
// visible characters only.
void TrimLineBreaks(const std::string& text, std::vector<std::pair<int, int>>& ranges) {
    auto isBreak = [&](int i) {
        return i >= 0 && i < static_cast<int>(text.size()) && (text[i] == '\r' || text[i] == '\n');
    };
    std::vector<std::pair<int, int>> kept;
    for (auto r : ranges) {
        while (r.first < r.second && isBreak(r.first)) ++r.first;
        while (r.second > r.first && isBreak(r.second - 1)) --r.second;
        if (r.first < r.second) kept.push_back(r);
    }
    ranges.swap(kept);
}

}  // namespace

HWND FindTopWindow(const WindowQuery& query) {
    FindArgs a{query};
    EnumWindows(&FindTop, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

HWND WaitTopWindow(const WindowQuery& query, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = FindTopWindow(query)) return w;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

std::string ClassOf(HWND wnd) {
    char buf[256] = {};
    const int n = GetClassNameA(wnd, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

std::string TextOf(HWND wnd) {
    const LRESULT n = SendMessageA(wnd, WM_GETTEXTLENGTH, 0, 0);
    if (n <= 0) return "";
    std::string text(static_cast<size_t>(n) + 1, '\0');
    const LRESULT got = SendMessageA(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::vector<HWND> ChildrenOfClass(HWND parent, const std::string& cls) {
    ChildArgs a{cls, {}};
    EnumChildWindows(parent, &FindChild, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

HWND FindTextControl(HWND box) {
    for (const char* cls : {"RICHEDIT", "RichEdit20A", "Edit"}) {
        const auto found = ChildrenOfClass(box, cls);
        if (!found.empty()) return found.front();
    }
    return nullptr;
}

HWND FocusOf(HWND wnd) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(wnd, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool ReadBoldRanges(HWND richEdit, std::vector<std::pair<int, int>>& ranges) {
    ranges.clear();
    DWORD pid = 0;
    GetWindowThreadProcessId(richEdit, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return false;
    bool ok = false;
    {
        RemoteBlock block(process, sizeof(CHARFORMATA));
        if (block.get()) {
            ok = true;
            const int length = static_cast<int>(SendMessageA(richEdit, WM_GETTEXTLENGTH, 0, 0));
            int start = -1;
            for (int i = 0; i <= length && ok; ++i) {
                bool bold = false;
                if (i < length) {
                    CHARFORMATA cf{};
                    cf.cbSize = sizeof cf;
                    SIZE_T done = 0;
                    ok = WriteProcessMemory(process, block.get(), &cf, sizeof cf, &done) != 0;
                    SendMessageA(richEdit, EM_SETSEL, i, i + 1);
                    SendMessageA(richEdit, EM_GETCHARFORMAT, SCF_SELECTION,
                                 reinterpret_cast<LPARAM>(block.get()));
                    ok = ok && ReadProcessMemory(process, block.get(), &cf, sizeof cf, &done) != 0;
                    bold = (cf.dwMask & CFM_BOLD) && (cf.dwEffects & CFE_BOLD);
                }
                if (bold && start < 0) start = i;
                if (!bold && start >= 0) {
                    ranges.emplace_back(start, i);
                    start = -1;
                }
            }
            SendMessageA(richEdit, EM_SETSEL, 0, 0);
        }
    }
    CloseHandle(process);
    TrimLineBreaks(TextOf(richEdit), ranges);
    return ok;
}

HWND FindButtonByCaption(HWND box, const std::string& caption) {
    const std::string wanted = Normalise(caption);
    for (HWND b : ChildrenOfClass(box, "Button"))
        if (Normalise(TextOf(b)) == wanted) return b;
    return nullptr;
}

HWND FindButtonByResult(HWND box, LONG_PTR result) {
    for (HWND b : ChildrenOfClass(box, "Button"))
        if (GetWindowLongPtrA(b, GWLP_USERDATA) == result) return b;
    return nullptr;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default: out += c; break;
        }
    }
    return out;
}

}  // namespace uidriver
