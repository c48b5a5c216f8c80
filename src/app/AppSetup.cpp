// Application-wide settings: names, icon, and Qt's Spanish translation.

#include "app/AppSetup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pelmira::app {

QIcon applicationIcon() {
    // The SVG drawn at build time at the sizes desktops ask for (PNG, which Qt reads itself).
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/pelmira/pelmira-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString qtTranslationFile() {
    const QString name = QStringLiteral("qtbase_es.qm");
    const QStringList folders{
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        const QString file = QDir(folder).filePath(name);
        if (QFileInfo(file).isFile())
            return QDir::cleanPath(file);
    }
    return {};
}

QString loadQtTranslation(QCoreApplication& app) {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    const QString file = qtTranslationFile();
    if (file.isEmpty())
        return {};
    auto* translator = new QTranslator(&app);
    if (!translator->load(file)) {
        delete translator;
        return {};
    }
    QCoreApplication::installTranslator(translator);
    return file;
}

void setUpApplication(QCoreApplication& app) {
    QCoreApplication::setApplicationName(QStringLiteral("Pelmira"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Pelmira"));
    QGuiApplication::setWindowIcon(applicationIcon());
    loadQtTranslation(app);
}

} // namespace pelmira::app
