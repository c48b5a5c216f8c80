// Windows' HTML help viewer: the function HtmlHelpA of the library "HHCtrl.ocx", loaded when
// first needed, so that the program starts on a system without it and reports it only when help
// is asked for.

#include "platform/system_help.h"
#include "text/text.h"

#include <windows.h>

namespace pelmira::platform {

namespace {

// Commands of HtmlHelp (htmlhelp.h).
constexpr UINT kDisplayToc = 0x0001;  // HH_DISPLAY_TOC
constexpr UINT kHelpContext = 0x000F; // HH_HELP_CONTEXT

using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

HtmlHelpFunction htmlHelpA() {
    static const HtmlHelpFunction function = []() -> HtmlHelpFunction {
        const HMODULE library = LoadLibraryA("HHCtrl.ocx");
        if (!library)
            return nullptr;
        const FARPROC address = GetProcAddress(library, "HtmlHelpA");
        return reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void (*)()>(address));
    }();
    return function;
}

} // namespace

SystemHelpResult showSystemHelp(const std::string& path, HelpRequest request, int context) {
    if (request == HelpRequest::Context && context == 0)
        return SystemHelpResult::Failed;
    const HtmlHelpFunction htmlHelp = htmlHelpA();
    if (!htmlHelp)
        return SystemHelpResult::Failed;
    // HtmlHelpA takes the file name in the system's 8-bit code page.
    const std::string file = text::toCp1252(path);
    const HWND viewer = request == HelpRequest::Contents
                            ? htmlHelp(GetDesktopWindow(), file.c_str(), kDisplayToc, 0)
                            : htmlHelp(GetDesktopWindow(), file.c_str(), kHelpContext,
                                       static_cast<DWORD_PTR>(static_cast<unsigned>(context)));
    return viewer ? SystemHelpResult::Shown : SystemHelpResult::Failed;
}

} // namespace pelmira::platform
