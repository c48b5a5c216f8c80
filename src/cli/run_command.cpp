#include "cli/run_command.h"

#include "text/error.h"

#include <exception>
#include <ostream>

namespace pelmira::cli {

int exitStatus(run::RunOutcome outcome) {
    return outcome == run::RunOutcome::Completed ? kCompleted : kInputMissing;
}

int exitStatusOf(Environment& env, const std::function<run::RunOutcome()>& run,
                 const std::function<void(int status)>& after) {
    int status = kFailed;
    try {
        status = exitStatus(run());
    } catch (const Error& e) {
        env.out.flush();
        env.err << e.what() << '\n';
    } catch (const std::exception& e) {
        env.out.flush();
        env.err << "Error inesperado: " << e.what() << '\n';
    }
    env.err.flush();
    after(status);
    return status;
}

} // namespace pelmira::cli
