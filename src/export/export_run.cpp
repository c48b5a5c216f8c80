#include "export/export_run.h"

#include "export/report_memo.h"
#include "horvex/day_hour_slots.h"
#include "itaca/chooser.h"
#include "platform/locked_file.h"
#include "platform/path_text.h"
#include "text/error.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace pelmira::exporting {

ExportRun::ExportRun(run::RunState& state, run::Interaction& ui, worktables::WorkFolder folder)
    : state_(state), ownExportState_(std::make_unique<ExportState>()),
      exportState_(*ownExportState_), ui_(ui), folder_(std::move(folder)) {}

ExportRun::ExportRun(run::RunState& state, ExportState& exportState, run::Interaction& ui,
                     worktables::WorkFolder folder)
    : state_(state), exportState_(exportState), ui_(ui), folder_(std::move(folder)) {}

ExportRun::~ExportRun() = default;

ReportMemo& ExportRun::memo() {
    if (!memo_)
        memo_ = std::make_unique<ReportMemo>();
    return *memo_;
}

void ExportRun::setDocument(std::shared_ptr<const itaca::ItacaDocument> document) {
    document_ = std::move(document);
}

run::RunOutcome ExportRun::run() {
    // A cancelled dialog keeps the file of an earlier attempt.
    if (auto picked = ui_.pickXmlFile())
        state_.xmlFileName = *picked;

    std::error_code ec;
    if (state_.xmlFileName.empty() || !std::filesystem::is_regular_file(state_.xmlFileName, ec)) {
        ui_.message("No existe archivo");
        if (state_.embedded)
            state_.transferResult = -1;
        return run::RunOutcome::InputMissing;
    }

    // A file that cannot be read as a centre document ends the run here, before any work table
    // is touched (LoadError names the file and the parser's complaint).
    std::shared_ptr<const itaca::ItacaDocument> document =
        itaca::ItacaDocument::load(state_.xmlFileName);
    setDocument(document);

    exportState_.templateCount =
        static_cast<int>(document->select("/centro/plantillas_horario/plantilla_horario").count());
    if (exportState_.templateCount > 0) {
        state_.templateCode.clear();
        // The chooser reads the document already loaded for this run: the same file, parsed
        // once.
        itaca::TemplateChooser chooser(itaca::TemplateChooser::Mode::Export, document,
                                       state_.language);
        ui_.showChooser(chooser);
        itaca::ChooserResult chosen = chooser.result();
        state_.templateCode = std::move(chosen.templateCode);
        state_.language = std::move(chosen.languageText);
        exportState_.templateShift = std::move(chosen.templateShift);
        state_.periodList = std::move(chosen.periods);
    }

    {
        // The folder is held until the last table is written: another run on it fails here with
        // "en uso" instead of rebuilding tables between two steps of this one.
        const platform::LockedFile folderHeld = platform::LockedFile::lockFolder(
            folder_.dir(),
            "No se puede usar la carpeta de trabajo " + platform::pathText(folder_.dir()));
        run::BusyGuard busy(ui_);
        BuildSubjectNames();
        AddDutyNames();
        BuildTeachers();
        BuildRooms();
        BuildCoursesAndGroups();
        BuildAssignments();
        ApplyGroupTimetables();
        ApplyDutyTimetables();
        PruneUnusedGroupsAndTeachers();
        BuildDayHourSlots();
    }

    state_.transferResult = 1;
    ui_.message("Proceso finalizado");
    return run::RunOutcome::Completed;
}

void ExportRun::BuildDayHourSlots() {
    horvex::BuildDayHourSlots(state_, folder_);
}

} // namespace pelmira::exporting
