#include "import/import_run.h"

#include "horvex/day_hour_slots.h"
#include "import/result_document.h"
#include "import/solution_records.h"
#include "itaca/chooser.h"
#include "itaca/document.h"
#include "platform/locked_file.h"
#include "platform/path_text.h"
#include "run/report.h"
#include "worktables/table.h"

#include <optional>
#include <system_error>
#include <utility>

namespace pelmira::importing {

namespace fs = std::filesystem;
using worktables::Table;

namespace {

constexpr const char* kReminder =
    "Deberá Abrir el fichero XML de ITACA,\r\ndesde el cual realizó la Importación a Horvex";
constexpr const char* kInputMissing = "No existe archivo XML o Solución.";
constexpr const char* kFinished = "Proceso finalizado";

bool isExistingFile(const fs::path& p) {
    if (p.empty())
        return false;
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// The eight tables of the run, opened exclusively in this order and closed in the same order.
// Should an error end the run, the destructors release whatever is open.
struct RunTables {
    explicit RunTables(const worktables::WorkFolder& folder)
        : soluc(Table::open(folder, "SOLUC")), groups(Table::open(folder, "GRUPOST")),
          courses(Table::open(folder, "CURSOST")), teachers(Table::open(folder, "PROFT")),
          rooms(Table::open(folder, "AULAT")), names(Table::open(folder, "ASIGNOMT")),
          slots(Table::open(folder, "DIASHORAST")), assignments(Table::open(folder, "ASIGT")) {}

    void close() {
        soluc.close();
        groups.close();
        courses.close();
        teachers.close();
        rooms.close();
        names.close();
        slots.close();
        assignments.close();
    }

    LookupTables lookups() { return {groups, names, teachers, rooms, slots}; }

    Table soluc;
    Table groups;
    Table courses; // opened, not read
    Table teachers;
    Table rooms;
    Table names;
    Table slots;
    Table assignments; // opened, not read
};

} // namespace

ImportRun::ImportRun(run::RunState& state, run::Interaction& ui, worktables::WorkFolder folder)
    : state_(state), ui_(ui), folder_(std::move(folder)) {}

run::RunOutcome ImportRun::run() {
    ui_.message(kReminder);

    if (auto picked = ui_.pickXmlFile())
        state_.xmlFileName = *picked;

    if (!isExistingFile(state_.xmlFileName) || !folder_.exists("SOLUC.DBF")) {
        ui_.message(kInputMissing);
        if (state_.embedded)
            state_.transferResult = -1;
        return run::RunOutcome::InputMissing;
    }

    // The input must be a centre document before anything is touched: a file that is not XML,
    // or whose root is not `centro`, ends the run here (LoadError) with DIASHORAST as it was.
    // The chooser reads this same document, and the result is built in it.
    const std::shared_ptr<itaca::ItacaDocument> document =
        itaca::ItacaDocument::load(state_.xmlFileName);

    // The work folder is held from the first table read to the saved result: another run on it
    // fails with "en uso" instead of rebuilding tables while this one translates through them.
    const platform::LockedFile folderHeld =
        platform::LockedFile::lockFolder(folder_.dir(), "No se puede usar la carpeta de trabajo " +
                                                            platform::pathText(folder_.dir()));

    {
        // In import mode the chooser proposes the template of the current DIASHORAST and holds
        // that table open until it is done.
        std::optional<Table> proposedFrom;
        auto proposal = [this, &proposedFrom]() -> std::string {
            proposedFrom.reset();
            proposedFrom.emplace(Table::open(folder_, "DIASHORAST"));
            return proposedFrom->first() ? proposedFrom->text("PLANTILLA") : std::string();
        };
        itaca::TemplateChooser chooser(itaca::TemplateChooser::Mode::Import, document,
                                       state_.language, proposal);
        ui_.showChooser(chooser);
        if (proposedFrom)
            proposedFrom->close();
        proposedFrom.reset();

        itaca::ChooserResult chosen = chooser.result();
        state_.templateCode = std::move(chosen.templateCode);
        state_.periodList = std::move(chosen.periods);
    }

    const run::StepReport report(state_.observer, "Importar");
    if (state_.periodList.empty())
        report.emit("plantilla_sin_sesiones", [&] {
            return std::pair{"plantilla " + run::shown(state_.templateCode),
                             std::string("no tiene sesiones de lunes; DIASHORAST queda vacía y "
                                         "ningún registro da línea")};
        });

    horvex::BuildDayHourSlots(state_, folder_);

    {
        // The hourglass shows from opening the tables until the result is saved.
        const run::BusyGuard busy(ui_);

        RunTables tables(folder_);
        const LookupTables lookups = tables.lookups();

        ResultDocument result(*document, currentExportTimestamp());

        result.openGroupSection();
        Table& soluc = tables.soluc;
        for (bool more = soluc.first(); more; more = soluc.next()) {
            if (recordKind(soluc) != RecordKind::Class)
                continue;
            if (auto line = translateClassRecord(soluc, lookups, &report))
                result.addGroupLine(state_.templateCode, *line);
        }

        result.openDutySection();
        for (bool more = soluc.first(); more; more = soluc.next()) {
            if (recordKind(soluc) != RecordKind::Duty)
                continue;
            if (auto line = translateDutyRecord(soluc, lookups, &report))
                result.addDutyLine(state_.templateCode, *line);
        }

        tables.close();

        result.save(resultFileName(state_.xmlFileName));
    }

    state_.transferResult = 1;
    ui_.message(kFinished);
    return run::RunOutcome::Completed;
}

fs::path resultFileName(const fs::path& xmlFileName) {
    fs::path name("ResultadoHorvex");
    name += xmlFileName.filename();
    return xmlFileName.parent_path() / name;
}

} // namespace pelmira::importing
