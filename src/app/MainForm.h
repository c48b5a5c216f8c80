#pragma once

// The main window MForm: the two run panels, the help and close buttons, the shared run state,
// the two start modes and the Horvex.ini handshake.

#include "app/StartMode.h"
#include "export/export_run.h"
#include "run/interaction.h"
#include "run/run_state.h"
#include "worktables/workfolder.h"

#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QWindow;

namespace pelmira::app {

class GradientPanel;

class TMForm;

// Builds the dialogs a run talks through; tests put a scripted one in its place.
using InteractionFactory = std::function<std::unique_ptr<run::Interaction>(TMForm&)>;

struct TMFormOptions {
    QStringList params;                               // command line without the program
    std::optional<std::filesystem::path> iniPath;     // default: Horvex.ini beside the program
    std::optional<worktables::WorkFolder> workFolder; // default: WorkFolder::standard()
    InteractionFactory interactionFactory;            // default: the real dialogs
    QString helpFile = QStringLiteral("ITACA.chm");
};

class TMForm : public QWidget {
    Q_OBJECT

public:
    using Options = TMFormOptions;

    explicit TMForm(Options options = Options(), QWidget* parent = nullptr);
    ~TMForm() override;

    int launchParamCount() const { return startMode_.launchParamCount; }
    int transferResult() const { return state_.transferResult; }
    const StartMode& startMode() const { return startMode_; }
    run::RunState& state() { return state_; }
    const run::RunState& state() const { return state_; }

    std::filesystem::path iniPath() const;
    worktables::WorkFolder workFolder() const;
    void setIniPath(std::filesystem::path path) { options_.iniPath = std::move(path); }
    void setWorkFolder(worktables::WorkFolder folder) { options_.workFolder = std::move(folder); }
    void setInteractionFactory(InteractionFactory factory);

    // The real dialogs over this window.
    std::unique_ptr<run::Interaction> makeStandardInteraction();

public Q_SLOTS:
    void BExportarClick();
    void BImportarClick();
    void Button1Click();

protected:
    void closeEvent(QCloseEvent* event) override; // FormClose
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void buildWindow();
    void embedInto(std::uint32_t handle);
    void fillClientArea(GradientPanel* panel);
    void runWindowed(const std::function<run::RunOutcome(run::Interaction&)>& run);
    void hostGone();

    Options options_;
    StartMode startMode_;
    run::RunState state_;
    exporting::ExportState exportState_; // what the export run keeps between attempts

    GradientPanel* Draw3D1 = nullptr;
    GradientPanel* Draw3D2 = nullptr;
    GradientPanel* Draw3D3 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label9 = nullptr;
    QComboBox* ComboBoxValCast = nullptr;
    QPushButton* BExportar = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* BImportar = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* BClose = nullptr;
    QPushButton* Button1 = nullptr;
    QListWidget* ListBoxPlanti = nullptr;

    GradientPanel* filling_ = nullptr; // the run panel that fills the window when embedded
    QWindow* host_ = nullptr;          // the Horvex window, embedded on a windowing system
    bool running_ = false;             // a run's click handler is on the stack
};

} // namespace pelmira::app
