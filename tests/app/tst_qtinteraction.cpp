// The real dialogs of a run: Qt's own file dialog, the confirmation box, the message box, the
// error box and the hourglass.

#include "app/ErrorBox.h"
#include "app/QtInteraction.h"
#include "app_test_support.h"
#include "support/temp_dir.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

using namespace pelmira;
using Question = run::Interaction::Question;

class TstQtInteraction : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fileDialog() {
        testing::TempDir dir;
        const auto xml = dir.write("centro.xml", "<centro/>");
        app::QtInteraction ui(nullptr);
        QString title, filter, suffix;
        bool native = true;
        testing::whenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog) {
                w->close();
                return;
            }
            title = dialog->windowTitle();
            filter = dialog->nameFilters().join('|');
            suffix = dialog->defaultSuffix();
            native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
            // The name typed without extension: the default one is added.
            dialog->setDirectory(QString::fromStdString(dir.path().string()));
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText("centro");
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const auto picked = ui.pickXmlFile();
        QCOMPARE(title, QString("Archivo XML"));
        QCOMPARE(filter, QString("*.xml"));
        QCOMPARE(suffix, QString("xml"));
        QVERIFY(!native);
        QVERIFY(picked);
        QCOMPARE(std::filesystem::canonical(*picked), std::filesystem::canonical(xml));

        // Cancelled.
        testing::whenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        QVERIFY(!ui.pickXmlFile());
    }

    void question_data() {
        QTest::addColumn<QString>("press"); // a button text, "Escape" or "Enter"
        QTest::addColumn<bool>("answer");
        QTest::newRow("Si") << "&Si" << true;
        QTest::newRow("No") << "&No" << false;
        QTest::newRow("Escape answers No") << "Escape" << false;
        QTest::newRow("Enter takes the default, Si") << "Enter" << true;
    }

    void question() {
        QFETCH(QString, press);
        QFETCH(bool, answer);
        app::QtInteraction ui(nullptr);
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
        testing::whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            if (press == "Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (press == "Enter")
                QTest::keyClick(box, Qt::Key_Return);
            else
                testing::boxButton(box, press)->click();
        });
        const bool got = ui.ask(Question::PruneUnused, "Primera\r\nSegunda");
        QCOMPARE(title, QString::fromUtf8("Confirmación"));
        QCOMPARE(text, QString("Primera\nSegunda"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons.size(), 2);
        QVERIFY(buttons.contains("&Si") && buttons.contains("&No"));
        QCOMPARE(got, answer);
    }

    // Closing the box answers neither Si nor No: each step goes on with its own work, so the
    // group-timetable question fits the rows (as No would) and pruning prunes (as Si would).
    void closedQuestion_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<bool>("answer");
        QTest::newRow("all templates: closing goes on as No")
            << int(Question::AllTemplates) << false;
        QTest::newRow("prune: closing goes on as Si") << int(Question::PruneUnused) << true;
    }

    void closedQuestion() {
        QFETCH(int, which);
        QFETCH(bool, answer);
        app::QtInteraction ui(nullptr);
        testing::whenModal([](QWidget* w) { w->close(); });
        QCOMPARE(ui.ask(Question(which), "Pregunta"), answer);
    }

    void message() {
        app::QtInteraction ui(nullptr);
        QString title, text;
        QStringList buttons;
        testing::whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            box->buttons().first()->click();
        });
        ui.message("Proceso finalizado");
        QCOMPARE(title, QString("Pelmira"));
        QCOMPARE(text, QString("Proceso finalizado"));
        QCOMPARE(buttons, QStringList{"Aceptar"});
    }

    void errorBox() {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        testing::whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = int(box->buttons().size());
            box->buttons().first()->click();
        });
        // A handler's error reaches the box; the program goes on.
        const bool ok = app::guarded(nullptr, [] { throw Error("Falta la tabla PROFT"); });
        QVERIFY(!ok);
        QCOMPARE(title, QString("Pelmira"));
        QCOMPARE(text, QString("Falta la tabla PROFT."));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, 1);
    }

    void busy() {
        app::QtInteraction ui(nullptr);
        {
            run::BusyGuard guard(ui);
            QVERIFY(QApplication::overrideCursor());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(!QApplication::overrideCursor());
        // An interaction dropped while busy restores the pointer.
        {
            app::QtInteraction dropped(nullptr);
            dropped.setBusy(true);
        }
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TstQtInteraction)
#include "tst_qtinteraction.moc"
