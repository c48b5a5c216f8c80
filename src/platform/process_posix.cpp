// The program's own process on POSIX systems (see process.h).

#include "platform/process.h"

#include <system_error>

namespace pelmira::platform {

namespace fs = std::filesystem;

fs::path executablePath(const char* argv0) {
    std::error_code ec;
    fs::path exe = fs::canonical("/proc/self/exe", ec);
    if (ec)
        exe = fs::weakly_canonical(argv0 != nullptr ? argv0 : "", ec);
    return exe;
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

fs::path pathFromUtf8(const std::string& utf8) {
    return fs::path(utf8);
}

void prepareConsole() {}

} // namespace pelmira::platform
