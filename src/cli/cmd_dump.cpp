#include "cli/commands.h"

#include <iostream>

namespace pelmira::cli {

int dumpCommand(const Args&) {
    std::cerr << "pelmira-cli: 'dump' aún no está disponible\n";
    return 2;
}

} // namespace pelmira::cli
