// Reading and steering another process's windows for tests.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace uidriver {

// Which top-level window a command is about: its class, and when given its caption and the id of
// the process that owns it (tests run side by side on one display).
struct WindowQuery {
    std::string cls;
    std::string caption;
    DWORD processId = 0;
};

// First visible top-level window that matches; null when none.
HWND FindTopWindow(const WindowQuery& query);
// Polls for it until timeoutMs has passed.
HWND WaitTopWindow(const WindowQuery& query, DWORD timeoutMs);

std::string ClassOf(HWND wnd);
std::string TextOf(HWND wnd);  // WM_GETTEXT, marshalled by the system

// Child windows of the given class (case-insensitive), in z-order.
std::vector<HWND> ChildrenOfClass(HWND parent, const std::string& cls);
// The text control of a message box: the rich-edit control or its plain EDIT stand-in.
HWND FindTextControl(HWND box);
// The window with the keyboard focus in the thread that owns wnd.
HWND FocusOf(HWND wnd);

// Bold character ranges [start, end) of a rich-edit control in another process.
// Returns false when the control's memory cannot be reached.
bool ReadBoldRanges(HWND richEdit, std::vector<std::pair<int, int>>& ranges);

// Button whose caption matches (with or without "&", case ignored), or whose window user data
// is the result code; null when none.
HWND FindButtonByCaption(HWND box, const std::string& caption);
HWND FindButtonByResult(HWND box, LONG_PTR result);

// CR, LF and TAB as \r \n \t, backslash doubled, so that a text fits on one output line.
std::string Escape(const std::string& text);

}  // namespace uidriver
