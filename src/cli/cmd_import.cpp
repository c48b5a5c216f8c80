#include "cli/commands.h"

#include <iostream>

namespace pelmira::cli {

int importCommand(const Args&) {
    std::cerr << "pelmira-cli: 'import' aún no está disponible\n";
    return 2;
}

} // namespace pelmira::cli
