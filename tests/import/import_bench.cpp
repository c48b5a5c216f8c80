// Times the import run over a large solution: a SOLUC of N records (100,000 unless given as the
// first argument) against work tables of a big school, from the reminder to the saved result.
// Prints the figures; it is not a test.

#include "horvex/schemas.h"
#include "import/import_run.h"
#include "import/solution_records.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "worktables/table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

using namespace pelmira;
namespace fs = std::filesystem;
using worktables::FieldType;
using worktables::Table;

namespace {

void writeSchool(const fs::path& xml) {
    std::ofstream out(xml, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<centro codigo=\"46000001\" denominacion=\"IES Gran\" curso=\"2026\" version=\"3\">\n"
           "<plantillas_horario>\n"
           "<plantilla_horario codigo=\"T1\" descripcion_val=\"M\" descripcion_cas=\"M\" "
           "turno=\"M\"/>\n"
           "<plantilla_horario codigo=\"T2\" descripcion_val=\"V\" descripcion_cas=\"V\" "
           "turno=\"V\"/>\n"
           "</plantillas_horario>\n<sesiones_horario>\n";
    for (int o = 1; o <= 7; ++o) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "<sesion_horario plantilla=\"T1\" dia_semana=\"L\" sesion_orden=\"%d\" "
                      "hora_desde=\"%02d:00\" hora_hasta=\"%02d:55\"/>\n",
                      o, 7 + o, 7 + o);
        out << line;
    }
    out << "</sesiones_horario>\n</centro>\n";
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const int groups = 60, teachers = 150, rooms = 50, subjects = 200, duties = 20;

    testing::TempDir dir;
    const fs::path work = dir / "HTEMP";
    fs::create_directories(work);
    const worktables::WorkFolder folder(work);
    namespace s = horvex::schemas;
    auto code = [](const char* prefix, int i) { return prefix + std::to_string(i); };

    {
        auto t = Table::rebuild(folder, "GRUPOST", s::grupost());
        for (int i = 0; i < groups; ++i) {
            t.append();
            t.setText("ABREV", code("G", i));
            t.setText("CLAVE", code("GRUPO", i));
            t.setText("CLAVECURSO", "3012001");
            t.setText("ENSENANZA", "3012");
            t.post();
        }
    }
    {
        auto t = Table::rebuild(folder, "ASIGNOMT", s::asignomt());
        for (int i = 0; i < subjects + duties; ++i) {
            t.append();
            t.setText("COD", code(i < subjects ? "S" : "D", i));
            t.setText("ABREV_ITACA", code("IT", i));
            t.post();
        }
    }
    {
        auto t = Table::rebuild(folder, "PROFT", s::proft());
        for (int i = 0; i < teachers; ++i) {
            t.append();
            t.setText("ABREV", code("P", i));
            t.setText("DNI", code("DNI", i));
            t.setText("ENSENANZA", "3012");
            t.post();
        }
    }
    {
        auto t = Table::rebuild(folder, "AULAT", s::aulat());
        for (int i = 0; i < rooms; ++i) {
            t.append();
            t.setText("ABREV", code("A", i));
            t.setText("ABREV_ITACA", code("AULA", i));
            t.post();
        }
    }
    Table::rebuild(folder, "CURSOST", s::cursost()).close();
    Table::rebuild(folder, "ASIGT", s::asigt()).close();
    {
        auto t = Table::rebuild(folder, "DIASHORAST", s::diashorast());
        t.append();
        t.setText("PLANTILLA", "T1");
        t.post();
    }
    {
        const worktables::Schema soluc{
            {"ASIG", FieldType::Text, 10},     {"TAREA", FieldType::Text, 10},
            {"DIA", FieldType::Float},         {"HORA", FieldType::Float},
            {"CODGRUPO", FieldType::Text, 10}, {"PROF", FieldType::Text, 10},
            {"AULA", FieldType::Text, 10},
        };
        auto t = Table::rebuild(folder, "SOLUC", soluc);
        for (int i = 0; i < records; ++i) {
            t.append();
            const bool duty = i % 10 == 9;
            const std::string asig =
                duty ? code("D", subjects + i % duties) : code("S", i % subjects);
            t.setText("ASIG", asig);
            t.setText("TAREA", duty ? asig : code("T", i % 97));
            t.setNumber("DIA", 1 + i % 5);
            t.setNumber("HORA", 1 + i % 7);
            if (!duty)
                t.setText("CODGRUPO", code("G", i % groups));
            t.setText("PROF", code("P", i % teachers));
            if (!duty)
                t.setText("AULA", code("A", i % (rooms + 5))); // a few rooms are unknown
            t.post();
        }
    }
    const fs::path xml = dir / "gran.xml";
    writeSchool(xml);

    double best = 1e9, bestCpu = 1e9;
    for (int round = 0; round < rounds; ++round) {
        run::RunState state;
        testing::ScriptedInteraction ui;
        ui.file = xml;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        importing::ImportRun(state, ui, folder).run();
        const std::clock_t cpuEnd = std::clock();
        const auto end = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        const double cpu = static_cast<double>(cpuEnd - cpuStart) / CLOCKS_PER_SEC;
        best = std::min(best, seconds);
        bestCpu = std::min(bestCpu, cpu);
        std::printf("import of %d SOLUC records: %.3f s elapsed, %.3f s processor (round %d)\n",
                    records, seconds, cpu, round + 1);
    }
    // The two walks and the translations alone, without the result document.
    {
        const std::clock_t cpuStart = std::clock();
        Table soluc = Table::open(folder, "SOLUC");
        Table g = Table::open(folder, "GRUPOST"), n = Table::open(folder, "ASIGNOMT"),
              p = Table::open(folder, "PROFT"), a = Table::open(folder, "AULAT"),
              d = Table::open(folder, "DIASHORAST");
        const importing::LookupTables lookups{g, n, p, a, d};
        std::size_t lines = 0;
        for (bool more = soluc.first(); more; more = soluc.next())
            if (importing::recordKind(soluc) == importing::RecordKind::Class &&
                importing::translateClassRecord(soluc, lookups))
                ++lines;
        for (bool more = soluc.first(); more; more = soluc.next())
            if (importing::recordKind(soluc) == importing::RecordKind::Duty &&
                importing::translateDutyRecord(soluc, lookups))
                ++lines;
        const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        std::printf("opening the tables and both walks alone: %.3f s processor, %zu lines\n", cpu,
                    lines);
    }
    std::printf("best: %.3f s elapsed, %.3f s processor; result %.1f MB\n", best, bestCpu,
                static_cast<double>(fs::file_size(importing::resultFileName(xml))) / 1e6);
    return 0;
}
