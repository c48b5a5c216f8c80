#pragma once

// The application's help: the compiled HTML help file "ITACA.chm" beside the executable, shown at
// its table of contents or at the topic of a help context number. Where the system has an HTML
// help viewer (Windows), that viewer shows it; elsewhere our own HelpWindow does.

#include <QPointer>
#include <QString>
#include <string>

class QKeyEvent;
class QWidget;

namespace pelmira::app {

class HelpWindow;

class HelpSystem {
public:
    static HelpSystem& instance();

    // A name without a folder is looked up in the executable's folder.
    void setHelpFile(const QString& name);
    QString helpFile() const { return helpFile_; }
    std::string resolvedPath() const;

    // Both throw pelmira::Error with a message for the user when the file cannot be shown.
    void showContents(QWidget* parent = nullptr);
    // A number that names no topic shows the contents.
    void showContext(int context, QWidget* parent = nullptr);

    // Our own viewer, once a request has opened it.
    HelpWindow* window() const;
    void closeWindow();

private:
    // The resolved path of a help file that can be shown: a ".chm" file that exists.
    std::string checkedPath() const;
    HelpWindow* openWindow(const std::string& path);

    QString helpFile_ = QStringLiteral("ITACA.chm");
    QPointer<HelpWindow> window_;
};

// The F1 key in `window`: shows the topic of the help context of the control that has the focus
// (or of the window), an error in the error box. Returns whether the key was F1.
bool showHelpForKey(QWidget* window, const QKeyEvent* event);

} // namespace pelmira::app
