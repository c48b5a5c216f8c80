#pragma once

// The command line: exactly two parameters, a run keyword and the native handle of the Horvex
// window in hexadecimal digits, start Pelmira embedded in that window; anything else starts it
// stand-alone.

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>

namespace pelmira::app {

enum class RunPanel {
    Both,   // stand-alone, or embedded with an unknown keyword
    Export, // "exportar"
    Import, // "importar"
};

struct StartMode {
    int launchParamCount = 0; // LaunchParamCount: 2 embedded, else 0
    RunPanel panel = RunPanel::Both;
    std::uint32_t hostWindow = 0;     // the native handle, embedded only
    std::optional<std::string> error; // the handle did not convert: shown, then stand-alone
    bool embedded() const { return launchParamCount == 2; }
};

// The keyword in lower case, letters A to Z only: "EXPORTAR" and "Exportar" read "exportar";
// accented capitals stay as they are.
std::string lowerAscii(std::string_view s);

// `params` are the parameters without the program name.
StartMode parseStartMode(const QStringList& params);

} // namespace pelmira::app
