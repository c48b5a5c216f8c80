// The help file that ships with the program: its contents and the topics of the help context
// numbers the windows use (1 and 3), shown in the help window.

#include "app/ChmFile.h"
#include "app/Help.h"
#include "app/HelpWindow.h"

#include <QTest>
#include <QTreeWidget>

using namespace pelmira;
using app::HelpSystem;

class TstItacaHelp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { HelpSystem::instance().closeWindow(); }

    void contents() {
        app::ChmFile chm(PELMIRA_HELP_FILE);
        QCOMPARE(chm.firstTopic(), std::string("/index.html"));
        QCOMPARE(chm.contents().size(), std::size_t(1));
        const auto& root = chm.contents()[0];
        QCOMPARE(root.name, QString("Ayuda de Pelmira"));
        QStringList names;
        for (const auto& entry : root.children) {
            names << entry.name;
            QVERIFY2(chm.read(entry.local), entry.local.c_str()); // every entry leads to a page
        }
        QVERIFY(names.contains(QString::fromUtf8("Las dos preguntas de la exportación")));
        QVERIFY(names.contains(QString::fromUtf8("Qué significa cada mensaje")));
        QVERIFY(names.contains(QString::fromUtf8("Cómo arranca Horvex el programa")));
    }

    void numberedTopics_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("text");
        QTest::newRow("1: main window") << 1 << "/ventana.html" << QString::fromUtf8("VALENCIÁ");
        QTest::newRow("3: run buttons") << 3 << "/ejecuciones.html"
                                        << "Los botones de las dos transformaciones";
        QTest::newRow("unknown number: contents") << 2 << "/index.html"
                                                  << "Ayuda de Pelmira";
    }

    void numberedTopics() {
        QFETCH(int, context);
        QFETCH(QString, topic);
        QFETCH(QString, text);
        HelpSystem& help = HelpSystem::instance();
        help.setHelpFile(PELMIRA_HELP_FILE);
        help.showContext(context);
        QVERIFY(help.window() && help.window()->isVisible());
        QCOMPARE(QString::fromStdString(help.window()->browser()->currentTopic()), topic);
        QVERIFY(help.window()->browser()->toPlainText().contains(text));
    }
};

QTEST_MAIN(TstItacaHelp)
#include "tst_itacahelp.moc"
