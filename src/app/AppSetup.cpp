// Application-wide settings: names, icon, and Qt's Spanish translation.

#include "app/AppSetup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTranslator>

namespace pelmira::app {

QIcon applicationIcon() {
    // Drawn from the SVG at the sizes desktops ask for, so that no image plug-in is needed.
    QSvgRenderer renderer(QStringLiteral(":/pelmira/pelmira.svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
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
