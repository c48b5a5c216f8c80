// The program's own process on Windows (see process.h).

#include "platform/process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <system_error>

namespace pelmira::platform {

namespace fs = std::filesystem;

namespace {

std::string utf8Of(const wchar_t* w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string s(static_cast<std::size_t>(n - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    return s;
}

} // namespace

fs::path executablePath(const char* argv0) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            std::error_code ec;
            return fs::weakly_canonical(argv0 != nullptr ? argv0 : "", ec);
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return fs::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    if (wide == nullptr) {
        for (int i = 1; i < argc; ++i)
            args.emplace_back(argv[i]);
        return args;
    }
    for (int i = 1; i < count; ++i)
        args.push_back(utf8Of(wide[i]));
    ::LocalFree(wide);
    return args;
}

fs::path pathFromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

void prepareConsole() {
    ::SetConsoleOutputCP(CP_UTF8);
}

} // namespace pelmira::platform
