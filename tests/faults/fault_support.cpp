#include "fault_support.h"

#include "support/scratch_folder.h"
#include "text/error.h"
#include "worktables/table.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelmira::faults {

const std::vector<std::string> kWorkTables = {"ASIGNOMT", "PROFT", "AULAT",     "CURSOST",
                                              "GRUPOST",  "ASIGT", "DIASHORAST"};

fs::path school() {
    return fs::path(PELMIRA_TEST_DATA) / "escuela.xml";
}

fs::path previous() {
    return fs::path(PELMIRA_FAULT_DATA) / "anterior.xml";
}

void copyFolder(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from))
        fs::copy(e.path(), to / e.path().filename(),
                 fs::copy_options::overwrite_existing | fs::copy_options::recursive);
}

namespace {

fs::path exported(const pelmira::testing::ScratchFolder& dir, const fs::path& xml) {
    const fs::path work = dir / "HTEMP";
    fs::create_directories(work);
    const Ran r = cli({"export", xml.string(), "--workdir", work.string(), "--group-question", "si",
                       "--prune-question", "no"});
    if (r.status != 0)
        throw std::runtime_error("the export that prepares the tests failed: " + r.err);
    return work;
}

} // namespace

const fs::path& previousTables() {
    static const pelmira::testing::ScratchFolder dir;
    static const fs::path work = exported(dir, previous());
    return work;
}

const fs::path& importReady() {
    static const pelmira::testing::ScratchFolder dir;
    static const fs::path work = [] {
        const fs::path w = exported(dir, school());
        writeFile(w / "SOLUC.DBF", solucBytes(solucFromAssignments(w)));
        return w;
    }();
    return work;
}

namespace {

// Where the output of the programs started in the background is captured.
const pelmira::testing::ScratchFolder& scratch() {
    return pelmira::testing::ScratchFolder::forProcess("faults");
}

std::atomic<unsigned> captures{0};

} // namespace

RunOptions faulty(const std::string& setting, const std::string& value) {
    RunOptions o;
    o.env.emplace_back(setting, value);
    o.shim = true;
    return o;
}

Started start(const std::vector<std::string>& argv, const RunOptions& options) {
    Started s;
    const unsigned n = captures.fetch_add(1);
    s.out = scratch() / ("out" + std::to_string(n) + ".txt");
    s.err = scratch() / ("err" + std::to_string(n) + ".txt");

    std::vector<std::string> args = options.prefix;
    args.insert(args.end(), argv.begin(), argv.end());
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(options.env.begin(), options.env.end(), [&](auto& kv) {
            return entry.compare(0, kv.first.size() + 1, kv.first + "=") == 0;
        });
        if (!replaced && !(options.shim && entry.starts_with("LD_PRELOAD=")))
            env.push_back(entry);
    }
    for (const auto& [k, v] : options.env)
        env.push_back(k + "=" + v);
    if (options.shim)
        env.push_back(std::string("LD_PRELOAD=") + PELMIRA_FAULT_SHIM);

    s.pid = fork();
    if (s.pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int o = open(s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> cargv;
        for (auto& a : args)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        std::vector<char*> cenv;
        for (auto& a : env)
            cenv.push_back(a.data());
        cenv.push_back(nullptr);
        execvpe(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    if (s.pid < 0)
        throw std::runtime_error("fork failed");
    return s;
}

Ran finish(const Started& started) {
    int status = 0;
    while (waitpid(started.pid, &status, 0) < 0 && errno == EINTR) {
    }
    Ran r;
    if (WIFEXITED(status)) {
        r.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    r.out = readFile(started.out);
    r.err = readFile(started.err);
    std::error_code ec;
    fs::remove(started.out, ec);
    fs::remove(started.err, ec);
    return r;
}

Ran run(const std::vector<std::string>& argv, const RunOptions& options) {
    return finish(start(argv, options));
}

Ran cli(const std::vector<std::string>& args, const RunOptions& options) {
    std::vector<std::string> argv{PELMIRA_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, options);
}

Ran inMountNamespace(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"unshare", "-m", "--propagation", "private",
                                  "sh",      "-c", script,          "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    Ran r = run(argv);
    if (r.status == 127 || (r.status == 1 && r.err.find("unshare") != std::string::npos))
        r.status = 97;
    return r;
}

bool mountNamespacesWork() {
    static const bool works = [] {
        const pelmira::testing::ScratchFolder dir;
        return inMountNamespace("mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 97; exit 0",
                                {dir.path().string()})
                   .status == 0;
    }();
    return works;
}

Snapshot snapshot(const fs::path& root) {
    Snapshot s;
    if (!fs::exists(fs::symlink_status(root)))
        return s;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = fs::relative(it->path(), root).generic_string();
        const auto st = it->symlink_status();
        if (fs::is_symlink(st))
            s[rel] = "L:" + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(st))
            s[rel] = "D";
        else
            s[rel] = "F:" + readFile(it->path());
    }
    return s;
}

std::vector<std::string> changes(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> out;
    for (const auto& [path, what] : before) {
        const auto it = after.find(path);
        if (it == after.end() || it->second != what)
            out.push_back(path);
    }
    for (const auto& [path, what] : after)
        if (!before.contains(path))
            out.push_back(path);
    std::sort(out.begin(), out.end());
    return out;
}

std::string tableProblem(const fs::path& file) {
    try {
        auto table = worktables::Table::openFile(file);
        std::uint32_t live = 0;
        for (bool more = table.first(); more; more = table.next()) {
            ++live;
            for (const auto& field : table.fields())
                (void)table.text(field.name);
        }
        if (live > table.recordCount())
            return "more live records than records";
        return "";
    } catch (const Error& e) {
        return e.what();
    }
}

std::vector<SolucField> solucFields() {
    return {{"ASIG", 'C', 10},     {"TAREA", 'C', 10}, {"DIA", 'N', 4, 1}, {"HORA", 'N', 4, 1},
            {"CODGRUPO", 'C', 10}, {"PROF", 'C', 10},  {"AULA", 'C', 10}};
}

std::string dbase3(const std::vector<SolucField>& fields,
                   const std::vector<std::vector<std::string>>& records) {
    int recordLength = 1;
    for (const auto& f : fields)
        recordLength += f.length;
    const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 1;
    std::string out(32, '\0');
    out[0] = 0x03;
    out[1] = 126; // 2026
    out[2] = 12;
    out[3] = 10;
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto put16 = [&](std::size_t at, int v) {
        out[at] = static_cast<char>(v & 0xFF);
        out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    put32(4, static_cast<std::uint32_t>(records.size()));
    put16(8, headerLength);
    put16(10, recordLength);
    out[29] = 0x57;
    for (const auto& f : fields) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name.data(), std::min<std::size_t>(f.name.size(), 10));
        d[11] = f.type;
        d[16] = static_cast<char>(f.length);
        d[17] = static_cast<char>(f.decimals);
        out += d;
    }
    out += '\x0D';
    for (const auto& rec : records) {
        out += ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::string v = i < rec.size() ? rec[i] : std::string();
            v.resize(std::min<std::size_t>(v.size(), fields[i].length));
            const std::string pad(fields[i].length - v.size(), ' ');
            out += fields[i].type == 'N' ? pad + v : v + pad; // numbers right-aligned
        }
    }
    out += '\x1A';
    return out;
}

std::string solucBytes(const std::vector<SolucRecord>& records) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& r : records)
        rows.push_back({r.asig, r.tarea, r.dia, r.hora, r.codgrupo, r.prof, r.aula});
    return dbase3(solucFields(), rows);
}

std::vector<SolucRecord> solucFromAssignments(const fs::path& work) {
    std::vector<SolucRecord> out;
    auto asigt = worktables::Table::open(worktables::WorkFolder(work), "ASIGT");
    int k = 0;
    for (bool more = asigt.first(); more; more = asigt.next(), ++k) {
        SolucRecord r;
        r.asig = asigt.text("CASIG");
        r.tarea = asigt.text("CTAREA");
        r.dia = std::to_string(k % 5 + 1);
        r.hora = std::to_string(k / 5 % 6 + 1);
        r.codgrupo = asigt.text("CGRUP");
        r.prof = asigt.text("CPROF");
        r.aula = asigt.text("CAULA");
        out.push_back(r);
    }
    return out;
}

std::string withoutExportDate(std::string xml) {
    static const std::regex date("fecha_exportacion=\"[^\"]*\"");
    return std::regex_replace(xml, date, "fecha_exportacion=\"\"");
}

} // namespace pelmira::faults
