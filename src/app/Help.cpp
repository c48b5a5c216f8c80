// The application's help requests: the help file's place, then the system's HTML help viewer
// where there is one, else our own viewer.

#include "app/Help.h"

#include "app/ChmFile.h"
#include "app/ErrorBox.h"
#include "app/FormKit.h"
#include "app/HelpWindow.h"
#include "platform/system_help.h"
#include "text/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>
#include <memory>

namespace pelmira::app {

HelpSystem& HelpSystem::instance() {
    static HelpSystem help;
    return help;
}

void HelpSystem::setHelpFile(const QString& name) {
    helpFile_ = name;
}

std::string HelpSystem::resolvedPath() const {
    QString path = helpFile_;
    if (!path.contains(QLatin1Char('/')) && !path.contains(QLatin1Char('\\'))) {
        const QDir dir(QCoreApplication::applicationDirPath());
        path = dir.filePath(helpFile_);
        // Windows names ignore letter case: "itaca.CHM" serves as well.
        if (!QFileInfo::exists(path)) {
            const QStringList found = dir.entryList(QDir::Files);
            for (const QString& f : found) {
                if (f.compare(helpFile_, Qt::CaseInsensitive) == 0) {
                    path = dir.filePath(f);
                    break;
                }
            }
        }
    }
    return QDir::toNativeSeparators(path).toStdString();
}

std::string HelpSystem::checkedPath() const {
    const std::string path = resolvedPath();
    if (!QString::fromStdString(path).endsWith(QLatin1String(".chm"), Qt::CaseInsensitive))
        throw Error("El archivo de ayuda " + path +
                    " no es un archivo de ayuda HTML compilado (.chm)");
    if (!QFileInfo(QString::fromStdString(path)).isFile())
        throw Error("No se encuentra el archivo de ayuda " + path);
    return path;
}

HelpWindow* HelpSystem::openWindow(const std::string& path) {
    auto file = std::make_shared<ChmFile>(path);
    if (!window_)
        window_ = new HelpWindow(nullptr);
    if (!window_->file() || window_->file()->path() != path)
        window_->setFile(std::move(file));
    return window_;
}

void HelpSystem::showContents(QWidget*) {
    const std::string path = checkedPath();
    switch (platform::showSystemHelp(path, platform::HelpRequest::Contents, 0)) {
    case platform::SystemHelpResult::Shown:
        return;
    case platform::SystemHelpResult::Failed:
        throwDamagedHelpFile(path);
    case platform::SystemHelpResult::NotHandled:
        break;
    }
    openWindow(path)->showContents();
}

void HelpSystem::showContext(int context, QWidget* parent) {
    const std::string path = checkedPath();
    switch (platform::showSystemHelp(path, platform::HelpRequest::Context, context)) {
    case platform::SystemHelpResult::Shown:
        return;
    case platform::SystemHelpResult::Failed:
        // The system's viewer knows no topic of that number.
        showContents(parent);
        return;
    case platform::SystemHelpResult::NotHandled:
        break;
    }
    HelpWindow* w = openWindow(path);
    const std::string topic = w->file()->topicFor(context);
    if (topic.empty())
        w->showContents();
    else
        w->showTopic(topic);
}

HelpWindow* HelpSystem::window() const {
    return window_;
}

void HelpSystem::closeWindow() {
    if (window_)
        window_->close();
}

bool showHelpForKey(QWidget* window, const QKeyEvent* event) {
    if (event->key() != Qt::Key_F1 || event->modifiers() != Qt::NoModifier)
        return false;
    QWidget* focus = window->focusWidget();
    const int context = helpContextOf(focus ? focus : window);
    guarded(window, [&] { HelpSystem::instance().showContext(context, window); });
    return true;
}

} // namespace pelmira::app
