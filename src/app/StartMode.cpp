#include "app/StartMode.h"

#include "text/text.h"

#include <exception>

namespace pelmira::app {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

StartMode parseStartMode(const QStringList& params) {
    StartMode mode;
    if (params.size() != 2)
        return mode;
    try {
        const std::string handleText = "$" + text::toCp1252(params[1].toStdString());
        mode.hostWindow = static_cast<std::uint32_t>(text::strToInt(handleText));
    } catch (const std::exception& e) {
        mode.error = e.what();
        return mode;
    }
    mode.launchParamCount = 2;
    const std::string keyword = lowerAscii(params[0].toStdString());
    if (keyword == "importar")
        mode.panel = RunPanel::Import;
    else if (keyword == "exportar")
        mode.panel = RunPanel::Export;
    return mode;
}

} // namespace pelmira::app
