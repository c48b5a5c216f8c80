// Help: the contents and the numbered topics of a small .chm compiled for the tests.

#include "app/ChmFile.h"
#include "app/Help.h"
#include "app/HelpWindow.h"
#include "support/temp_dir.h"
#include "text/error.h"

#include <QDialog>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>

using namespace pelmira;
using app::HelpSystem;

namespace {

// A window that records whether a modal window keeps the user from it.
class Probe : public QWidget {
public:
    bool blocked = false;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowBlocked)
            blocked = true;
        else if (e->type() == QEvent::WindowUnblocked)
            blocked = false;
        return QWidget::event(e);
    }
};

} // namespace

class TstHelp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { HelpSystem::instance().closeWindow(); }

    void fileContents() {
        app::ChmFile chm(APP_TEST_CHM);
        QCOMPARE(chm.firstTopic(), std::string("/indice.html"));
        // chmcmd records the topics with the build folder's path; we find them all the same.
        QCOMPARE(chm.topicFor(1), std::string("/general.html"));
        QCOMPARE(chm.topicFor(3), std::string("/botones.html"));
        QCOMPARE(chm.topicFor(2), std::string());
        QCOMPARE(chm.contents().size(), std::size_t(1));
        QCOMPARE(chm.contents()[0].name, QString::fromUtf8("Índice de la ayuda"));
        QCOMPARE(chm.contents()[0].children.size(), std::size_t(2));
        QCOMPARE(chm.contents()[0].children[1].local, std::string("/botones.html"));
        QVERIFY(chm.read("/GENERAL.HTML")); // names ignore letter case
        QVERIFY(!chm.read("/nada.html"));
    }

    void contentsBesideTheProgram() {
        HelpSystem& help = HelpSystem::instance();
        help.setHelpFile("ITACA.chm");
        QCOMPARE(QString::fromStdString(help.resolvedPath()),
                 QCoreApplication::applicationDirPath() + "/ITACA.chm");
        help.showContents();
        app::HelpWindow* w = help.window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->browser()->currentTopic(), std::string("/indice.html"));
        // Windows-1252 pages read right.
        QVERIFY(w->browser()->toPlainText().contains(QString::fromUtf8("Índice de la ayuda")));
        QCOMPARE(w->contentsTree()->topLevelItemCount(), 1);
        QCOMPARE(w->contentsTree()->topLevelItem(0)->child(0)->text(0), QString("Ayuda general"));

        // A link inside a page.
        w->browser()->setSource(QUrl("general.html"));
        QVERIFY(w->browser()->toPlainText().contains(QString::fromUtf8("VALENCIÁ o CASTELLANO")));
    }

    void numberedTopics_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "/general.html"
                           << "Ayuda general";
        QTest::newRow("3") << 3 << "/botones.html" << QString::fromUtf8("El botón Aceptar");
        QTest::newRow("unknown number: contents") << 77 << "/indice.html"
                                                  << "Pelmira lleva";
        QTest::newRow("no number: contents") << 0 << "/indice.html"
                                             << "Pelmira lleva";
    }

    void numberedTopics() {
        QFETCH(int, context);
        QFETCH(QString, topic);
        QFETCH(QString, text);
        HelpSystem& help = HelpSystem::instance();
        help.setHelpFile(APP_TEST_CHM);
        help.showContext(context);
        QCOMPARE(QString::fromStdString(help.window()->browser()->currentTopic()), topic);
        QVERIFY(help.window()->browser()->toPlainText().contains(text));
    }

    void missingOrDamaged() {
        testing::TempDir dir;
        HelpSystem& help = HelpSystem::instance();
        const auto missing = dir / "ITACA.chm";
        help.setHelpFile(QString::fromStdString(missing.string()));
        try {
            help.showContents();
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(
                QString::fromUtf8(e.what()),
                QString::fromStdString("No se encuentra el archivo de ayuda " + missing.string()));
        }
        const auto damaged = dir.write("roto.chm", "ITSF esto no es una ayuda");
        help.setHelpFile(QString::fromStdString(damaged.string()));
        try {
            help.showContext(1);
            QFAIL("no error");
        } catch (const Error& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QString::fromUtf8("está dañado")));
            QVERIFY(QString::fromUtf8(e.what()).contains(QString::fromStdString(damaged.string())));
        }
        const auto other = dir.write("ayuda.hlp", "x");
        help.setHelpFile(QString::fromStdString(other.string()));
        QVERIFY_THROWS_EXCEPTION(Error, help.showContents());
    }

    void linkPaths() {
        QCOMPARE(app::objectPathForLink("b.html", "/dir/a.html"), std::string("/dir/b.html"));
        QCOMPARE(app::objectPathForLink("../b.html#x", "/dir/a.html"), std::string("/b.html"));
        QCOMPARE(app::objectPathForLink("ms-its:ITACA.chm::/c.html", "/a.html"),
                 std::string("/c.html"));
        QCOMPARE(app::objectPathForLink("img\\logo.gif", "/a.html"), std::string("/img/logo.gif"));
    }

    // F1 in a modal window (the chooser): the help window takes input beside it, where any
    // other window of the program is blocked.
    void besideModalWindow_data() {
        QTest::addColumn<bool>("openBefore");
        QTest::newRow("opened from the modal window") << false;
        QTest::newRow("open before the modal window") << true;
    }

    void besideModalWindow() {
        QFETCH(bool, openBefore);
        HelpSystem& help = HelpSystem::instance();
        help.setHelpFile(APP_TEST_CHM);
        if (openBefore)
            help.showContents();
        Probe other;
        other.show();
        QDialog modal;
        modal.setModal(true);
        modal.show();
        QTRY_VERIFY(other.blocked);
        help.showContext(3, &modal);
        app::HelpWindow* w = help.window();
        QVERIFY(w && w->isVisible());
        QTRY_VERIFY(!w->isBlocked());
        QCOMPARE(w->windowHandle()->transientParent(), modal.windowHandle());
        QVERIFY(other.blocked);
        modal.close();
    }
};

QTEST_MAIN(TstHelp)
#include "tst_help.moc"
