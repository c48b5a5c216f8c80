#pragma once

// What the program sets on the application before its first window: the name the desktop shows
// ("Pelmira"), the window icon, and Qt's own texts (file dialog, context menus, standard buttons)
// in Spanish like every other text of the program, whatever the user's locale.

#include <QIcon>
#include <QString>

class QCoreApplication;

namespace pelmira::app {

// The shipped pelmira.svg, from the program's resources.
QIcon applicationIcon();

// The file of Qt's Spanish translation that loadQtTranslation() takes: "translations/qtbase_es.qm"
// beside the executable (the installed folder), else the one of the Qt installation. Empty when
// neither exists.
QString qtTranslationFile();

// Installs Qt's Spanish translation into `app` (it stays until the application ends) and makes
// Spanish the default locale. Returns the file loaded, empty when none could be.
QString loadQtTranslation(QCoreApplication& app);

// Name, display name, icon and translation, in that order.
void setUpApplication(QCoreApplication& app);

} // namespace pelmira::app
