#pragma once

// The state both runs read and set, owned by the main window (or by pelmira-cli for one run), and
// how a run ends. What only the export run keeps is the export run's (exporting::ExportState).
// Data texts are cp1252.

#include "run/report.h"
#include "text/text.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelmira::run {

struct RunState {
    bool embedded = false;                  // LaunchParamCount == 2
    int transferResult = 0;                 // TransferResult: 0, 1 or -1
    std::filesystem::path xmlFileName;      // XmlFileName, kept between attempts
    std::string templateCode;               // TemplateCode
    std::string language{text::kValencian}; // text of ComboBoxValCast
    std::vector<std::string> periodList;    // items of ListBoxPlanti

    // Told about every row, line or record a run drops, cuts or leaves empty; none by default.
    // Not owned. What the runs write does not depend on it.
    RunObserver* observer = nullptr;
};

// How a run that did not end on an error ended.
enum class RunOutcome {
    Completed,    // TransferResult is 1, "Proceso finalizado" was shown
    InputMissing, // the missing-file message was shown; embedded, TransferResult is -1
};

} // namespace pelmira::run
