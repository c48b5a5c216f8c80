// Work-table engine figures on an ASIGT-shaped table of 10,000 and 100,000 records: appends,
// saving, opening, building a lookup index, and as many located lookups as there are records
// (locate3: CLAVE + CLAVECURSO + ASIG_ITACA, about 9% misses; locate1: CPROF, a third of the
// records blank; edit+locate: lookups interleaved with edits that move records between keys and
// with deletes). Whole-table times should grow linearly with the record count.

#include "worktables/table.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using pelmira::worktables::FieldType;
using pelmira::worktables::Schema;
using pelmira::worktables::Table;
using pelmira::worktables::WorkFolder;

namespace {

const Schema kAsigt = {
    {"CASIG", FieldType::Text, 10},  {"CPROF", FieldType::Text, 10},
    {"CGRUP", FieldType::Text, 10},  {"CAULA", FieldType::Text, 10},
    {"TURNO", FieldType::Text, 1},   {"NIVEL", FieldType::Text, 5},
    {"CURSO", FieldType::Text, 3},   {"GRUPO", FieldType::Text, 2},
    {"HORAS", FieldType::Float, 0},  {"SESIONES", FieldType::Text, 20},
    {"CLAVE", FieldType::Text, 10},  {"CLAVECURSO", FieldType::Text, 10},
    {"CTAREA", FieldType::Text, 10}, {"ASIG_ITACA", FieldType::Text, 10},
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

std::string clave(int i) {
    return "G" + std::to_string(i / 7);
}
std::string course(int i) {
    return "C" + std::to_string(i / 70);
}
std::string subject(int i) {
    return "S" + std::to_string(i % 7);
}

struct Figures {
    double append, save, open, index3, locate3, locate1, editsAndLookups;
};

Figures run(const fs::path& dir, int n) {
    Figures f{};
    const WorkFolder folder(dir);
    {
        auto t = Table::rebuild(folder, "ASIGT", kAsigt);
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            t.append();
            t.setText("CASIG", subject(i));
            if (i % 3 != 0)
                t.setText("CPROF", "P" + std::to_string(i % 500));
            t.setText("CGRUP", clave(i));
            t.setText("TURNO", "M");
            t.setText("CURSO", "1");
            t.setText("GRUPO", "A");
            t.setNumber("HORAS", 4);
            t.setText("SESIONES", "1111");
            t.setText("CLAVE", clave(i));
            t.setText("CLAVECURSO", course(i));
            t.setText("CTAREA", "*479");
            t.setText("ASIG_ITACA", subject(i));
            t.post();
        }
        f.append = msSince(start);
        start = std::chrono::steady_clock::now();
        t.close();
        f.save = msSince(start);
    }
    auto start = std::chrono::steady_clock::now();
    auto t = Table::open(folder, "ASIGT");
    f.open = msSince(start);

    std::mt19937 rng(1);
    std::vector<int> probes(static_cast<std::size_t>(n));
    for (auto& p : probes)
        p = static_cast<int>(rng() % static_cast<unsigned>(n + n / 10)); // about 9% misses
    int hits = 0;
    // The first lookup on a set of fields builds its index.
    start = std::chrono::steady_clock::now();
    hits += t.locate({{"CLAVE", "G0"}, {"CLAVECURSO", "C0"}, {"ASIG_ITACA", "S0"}});
    f.index3 = msSince(start);
    start = std::chrono::steady_clock::now();
    for (int p : probes)
        hits +=
            t.locate({{"CLAVE", clave(p)}, {"CLAVECURSO", course(p)}, {"ASIG_ITACA", subject(p)}});
    f.locate3 = msSince(start);
    start = std::chrono::steady_clock::now();
    for (int p : probes)
        hits += t.locate({{"CPROF", p % 3 == 0 ? std::string() : "P" + std::to_string(p % 700)}});
    f.locate1 = msSince(start);

    // Lookups interleaved with edits that move records between keys, and deletes.
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        if (t.locate({{"CLAVE", clave(probes[static_cast<std::size_t>(i)] % n)}})) {
            if (i % 10 == 0) {
                t.deleteRecord();
            } else {
                t.edit();
                t.setText("CPROF", "Q" + std::to_string(i % 300));
                t.post();
            }
        }
        hits += t.locate({{"CPROF", "Q" + std::to_string(i % 300)}});
    }
    f.editsAndLookups = msSince(start);
    if (hits < 0)
        std::puts("");
    return f;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {10000, 100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes.push_back(std::atoi(argv[i]));
    }
    std::string pattern = (fs::temp_directory_path() / "pelmira-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    std::printf("%9s %12s %10s %10s %10s %14s %14s %16s\n", "records", "appends ms", "save ms",
                "open ms", "index3 ms", "locate3 ms", "locate1 ms", "edit+locate ms");
    std::vector<Figures> all;
    for (int n : sizes) {
        const Figures f = run(dir, n);
        all.push_back(f);
        std::printf("%9d %12.1f %10.1f %10.1f %10.1f %14.1f %14.1f %16.1f\n", n, f.append, f.save,
                    f.open, f.index3, f.locate3, f.locate1, f.editsAndLookups);
    }
    std::printf("\nper operation (microseconds):\n");
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double n = sizes[i];
        std::printf("%9d %12.2f %10s %10s %14.2f %14.2f %16.2f\n", sizes[i],
                    1000 * all[i].append / n, "", "", 1000 * all[i].locate3 / n,
                    1000 * all[i].locate1 / n, 1000 * all[i].editsAndLookups / n);
    }
    if (sizes.size() == 2 && sizes[0] > 0) {
        const double r = static_cast<double>(sizes[1]) / sizes[0];
        std::printf("\ntime ratio for %gx the records (linear growth is about %g):\n", r, r);
        std::printf(
            "  appends %.1f, save %.1f, open %.1f, index3 %.1f, locate3 %.1f, locate1 %.1f, "
            "edit+locate %.1f\n",
            all[1].append / all[0].append, all[1].save / all[0].save, all[1].open / all[0].open,
            all[1].index3 / all[0].index3, all[1].locate3 / all[0].locate3,
            all[1].locate1 / all[0].locate1, all[1].editsAndLookups / all[0].editsAndLookups);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
