#include "cli/run_command.h"

#include "text/error.h"

#include <exception>
#include <iostream>

namespace pelmira::cli {

int exitStatusOf(const std::function<run::RunOutcome()>& run, const std::function<void()>& after) {
    int status = 1;
    try {
        status = run() == run::RunOutcome::Completed ? 0 : 3;
    } catch (const Error& e) {
        std::cout.flush();
        std::cerr << e.what() << '\n';
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "Error inesperado: " << e.what() << '\n';
    }
    std::cerr.flush();
    after();
    return status;
}

} // namespace pelmira::cli
