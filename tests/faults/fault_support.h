#pragma once

// What the fault tests share: running pelmira-cli (optionally with the fault library preloaded or
// inside a private mount namespace), snapshots of folders, the check that a table file is sound,
// and a writer of SOLUC.DBF files, sound or damaged on purpose.

#include "support/scratch_folder.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelmira::faults {

namespace fs = std::filesystem;

struct Ran {
    int status = -1; // exit status; -1 when a signal ended the program
    int signal = 0;  // the signal that ended it, 0 when it exited
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::pair<std::string, std::string>> env; // added to the environment
    bool shim = false;                                    // preload the fault library
    std::vector<std::string> prefix;                      // a program that runs the CLI
};

// The fault library preloaded, with one of its settings.
RunOptions faulty(const std::string& setting, const std::string& value);

// Runs `argv` (argv[0] a path) with stdout and stderr captured; stdin is /dev/null.
Ran run(const std::vector<std::string>& argv, const RunOptions& options = {});

// Runs pelmira-cli with the arguments.
Ran cli(const std::vector<std::string>& args, const RunOptions& options = {});

// Starts pelmira-cli without waiting; finish() waits for it.
struct Started {
    int pid = -1;
    fs::path out;
    fs::path err;
};
Started start(const std::vector<std::string>& argv, const RunOptions& options = {});
Ran finish(const Started& started);

// Runs a shell script (sh -c) in a private mount namespace, with the arguments as $1, $2, ...
// Exit status 97 from the script means that the namespace or the mount could not be made.
Ran inMountNamespace(const std::string& script, const std::vector<std::string>& args);
bool mountNamespacesWork();

// Every entry under `root`, by relative path: "D" for a folder, "L:" and the target for a
// symbolic link, "F:" and the content for a file.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const fs::path& root);
// Relative paths that were added, removed or changed.
std::vector<std::string> changes(const Snapshot& before, const Snapshot& after);

using pelmira::testing::readFile;
using pelmira::testing::writeFile;

// Empty when the table opens and every field of every record reads; else what went wrong.
std::string tableProblem(const fs::path& file);

// The tables an export run writes, in the order it writes them.
extern const std::vector<std::string> kWorkTables;

// A SOLUC.DBF record; an empty DIA or HORA stays blank.
struct SolucRecord {
    std::string asig, tarea, dia, hora, codgrupo, prof, aula;
};
struct SolucField {
    std::string name;
    char type;
    int length;
    int decimals = 0;
};
// The fields Horvex writes: ASIG, TAREA, DIA, HORA, CODGRUPO, PROF, AULA.
std::vector<SolucField> solucFields();
// A dBase III table with the given fields; records are given field by field in field order.
std::string dbase3(const std::vector<SolucField>& fields,
                   const std::vector<std::vector<std::string>>& records);
std::string solucBytes(const std::vector<SolucRecord>& records);
// A SOLUC placing every row of the ASIGT of `work` on a day and slot of its own.
std::vector<SolucRecord> solucFromAssignments(const fs::path& work);

fs::path school();   // tests/data/escuela.xml
fs::path previous(); // a smaller school, whose tables stand for what a user had before a run

// Work folders made once per test program and copied into each test: the tables of an export of
// previous(), and the tables of an export of school() with a SOLUC.DBF placing all its rows.
const fs::path& previousTables();
const fs::path& importReady();
void copyFolder(const fs::path& from, const fs::path& to); // the files of `from` into `to`
std::string withoutExportDate(std::string xml);

} // namespace pelmira::faults
