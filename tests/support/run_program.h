#pragma once

// Runs a program to its end with its standard output and error captured, for the tests that go
// through the real binaries.

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pelmira::testing {

struct ProgramResult {
    int status = -1; // the exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// `args` starts with the program's path. The captured output goes through files in `scratch`;
// `env` is set in the child only.
inline ProgramResult runProgram(std::vector<std::string> args, const std::filesystem::path& scratch,
                                const std::vector<std::pair<std::string, std::string>>& env = {}) {
    const std::filesystem::path out = scratch / "stdout.txt";
    const std::filesystem::path err = scratch / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        for (const auto& [name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProgramResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

} // namespace pelmira::testing
