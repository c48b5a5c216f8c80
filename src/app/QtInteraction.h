#pragma once

// The runs' dialogs as real windows: the file dialog "Archivo XML", the chooser TPlantillas,
// the confirmation boxes, the message box and the hourglass pointer.

#include "run/interaction.h"

#include <QPointer>
#include <QWidget>
#include <filesystem>

namespace pelmira::app {

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
