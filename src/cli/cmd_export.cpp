#include "cli/commands.h"

#include <iostream>

namespace pelmira::cli {

int exportCommand(const Args&) {
    std::cerr << "pelmira-cli: 'export' aún no está disponible\n";
    return 2;
}

} // namespace pelmira::cli
