#pragma once

// The export run: an ITACA centre document into Horvex's work tables, in ten steps.

#include "itaca/document.h"
#include "run/interaction.h"
#include "run/run_state.h"
#include "text/text.h"
#include "worktables/workfolder.h"

#include <memory>
#include <string>

namespace pelmira::exporting {

struct ReportMemo;

// What only the export run reads and sets, beside the state both runs share. Data texts are
// cp1252.
struct ExportState {
    std::string templateShift;        // TemplateShift, kept between attempts
    int templateCount = 0;            // TemplateCount
    bool chosenTemplateOnly = false;  // ChosenTemplateOnly
    text::SortedStringList usedCodes; // UsedCodes
    text::SortedStringList usedNames; // UsedNames
};

class ExportRun {
public:
    // A run with an export state of its own, empty at the start: one run of pelmira-cli.
    ExportRun(run::RunState& state, run::Interaction& ui, worktables::WorkFolder folder);
    // A run on the export state its caller keeps between attempts (the main window): an attempt
    // that ended on an error leaves TemplateShift for the next one, as the shared state does.
    ExportRun(run::RunState& state, ExportState& exportState, run::Interaction& ui,
              worktables::WorkFolder folder);
    ~ExportRun();
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    // BExportarClick without the window's own effects: asks for the file, loads it, shows the
    // chooser, runs the ten steps, sets TransferResult and shows "Proceso finalizado". Errors
    // are thrown (pelmira::Error) and end the run where they arise. The caller disables the run
    // buttons after Completed and, embedded, closes the window after either outcome.
    run::RunOutcome run();

    // The ten steps, in the order run() calls them. Public so that each can be tested alone
    // once `document()` is loaded.
    void BuildSubjectNames();
    void AddDutyNames();
    void BuildTeachers();
    void BuildRooms();
    void BuildCoursesAndGroups();
    void BuildAssignments();
    void ApplyGroupTimetables();
    void ApplyDutyTimetables();
    void PruneUnusedGroupsAndTeachers();
    void BuildDayHourSlots();

    // Loads a document for the steps (run() does it after the file checks).
    void setDocument(std::shared_ptr<const itaca::ItacaDocument> document);
    const std::shared_ptr<const itaca::ItacaDocument>& document() const { return document_; }

    ExportState& exportState() { return exportState_; }
    const ExportState& exportState() const { return exportState_; }

private:
    run::RunState& state_;
    std::unique_ptr<ExportState> ownExportState_; // when the caller keeps none
    ExportState& exportState_;
    run::Interaction& ui_;
    worktables::WorkFolder folder_;
    std::shared_ptr<const itaca::ItacaDocument> document_;
    // What earlier steps noted for the report, so that later steps can say why; kept only while
    // an observer listens.
    ReportMemo& memo();
    std::unique_ptr<ReportMemo> memo_;
};

// The SESIONES digit string for a number of weekly periods (at least 1).
std::string SplitIntoBlocks(int count);

} // namespace pelmira::exporting
