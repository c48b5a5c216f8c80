#pragma once

// The system's own viewer of compiled HTML help files (.chm), where the system has one: on
// Windows the HTML help of "HHCtrl.ocx". Elsewhere the program shows the file in a viewer of its
// own, and these calls only say so.

#include <string>

namespace pelmira::platform {

enum class HelpRequest {
    Contents, // the file's table of contents
    Context,  // the topic of a help context number
};

enum class SystemHelpResult {
    NotHandled, // the system has no HTML help viewer: the program's own viewer serves
    Shown,
    Failed, // the viewer could not show it: a damaged file, or no topic of that number
};

// Shows the help file `path` (UTF-8) as asked. `context` is the help context number of a Context
// request; 0 names no topic.
SystemHelpResult showSystemHelp(const std::string& path, HelpRequest request, int context = 0);

} // namespace pelmira::platform
