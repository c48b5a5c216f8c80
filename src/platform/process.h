#pragma once

// The program's own process: where its executable lies, its command-line arguments as UTF-8
// text, and a console that shows UTF-8 text as such.

#include <filesystem>
#include <string>
#include <vector>

namespace pelmira::platform {

// The executable's real location, links resolved; `argv0` is the fallback where the system
// cannot say.
std::filesystem::path executablePath(const char* argv0);

// The arguments after the program name, as UTF-8 text. On Windows they are read from the wide
// command line, so that a file name outside the ANSI code page arrives whole; elsewhere they are
// argv as given.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// A path from UTF-8 text (the arguments above, texts from the interface).
std::filesystem::path pathFromUtf8(const std::string& utf8);

// Makes the standard output and error show UTF-8 text correctly (a Windows console otherwise
// shows it in its OEM code page). Nothing to do elsewhere.
void prepareConsole();

} // namespace pelmira::platform
