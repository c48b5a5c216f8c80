#pragma once

// The runs' dialogs as real windows: the file dialog "Archivo XML", the chooser TPlantillas,
// the confirmation boxes, the message box and the hourglass pointer. In embedded mode they belong
// to the host's window, and once the host has gone away none is shown any more: the run is
// abandoned where it stands.

#include "run/interaction.h"
#include "text/error.h"

#include <QPointer>
#include <QWidget>
#include <filesystem>

namespace pelmira::app {

// Thrown by the dialogs of a run when the host window has gone away in embedded mode, before the
// run can take an answer from a dialog that the user never gave. It ends the run on its normal
// error path (the tables open are released, nothing after it is written); the click handler
// catches it and closes the main window instead of showing it.
class RunAbandoned : public Error {
public:
    RunAbandoned() : Error("Se ha cerrado la ventana de Horvex: el proceso queda sin terminar") {}
};

class QtInteraction : public run::Interaction {
public:
    explicit QtInteraction(QWidget* parent);
    ~QtInteraction() override;

    // The file the dialog starts at (the one chosen in an earlier attempt).
    void setInitialFile(std::filesystem::path file) { initialFile_ = std::move(file); }

    std::optional<std::filesystem::path> pickXmlFile() override;
    void showChooser(itaca::TemplateChooser& chooser) override;
    bool ask(Question which, const std::string& text) override;
    void message(const std::string& text) override;
    void setBusy(bool busy) override;

private:
    QPointer<QWidget> parent_;
    std::filesystem::path initialFile_;
    int busyDepth_ = 0;
};

// Message texts join their lines with CR LF; a label wants LF only.
QString messageText(const std::string& utf8);

} // namespace pelmira::app
