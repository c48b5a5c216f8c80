// POSIX systems have no viewer of compiled HTML help: the program's own viewer shows the file.

#include "platform/system_help.h"

namespace pelmira::platform {

SystemHelpResult showSystemHelp(const std::string&, HelpRequest, int) {
    return SystemHelpResult::NotHandled;
}

} // namespace pelmira::platform
