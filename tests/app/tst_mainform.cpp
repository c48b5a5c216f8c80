// The main window MForm: its stored layout, the start modes, the run buttons after each outcome
// and the value it leaves in Horvex.ini.

#include "app/FormKit.h"
#include "app/GradientPanel.h"
#include "app/Help.h"
#include "app/HelpWindow.h"
#include "app/MainForm.h"
#include "app_test_support.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace pelmira;
using app::TMForm;

namespace {

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::filesystem::path kSchool = PELMIRA_TEST_DATA "/escuela.xml";

// A window with its ini file and work folder in a temporary folder.
struct Fixture {
    testing::TempDir dir;
    testing::ScriptedInteraction ui;
    testing::RecordedErrors errors;
    std::filesystem::path ini = dir / "Horvex.ini";
    std::filesystem::path work = dir / "HTEMP";

    std::unique_ptr<TMForm> form(QStringList params) {
        std::filesystem::create_directories(work);
        TMForm::Options o;
        o.params = std::move(params);
        o.iniPath = ini;
        o.workFolder = worktables::WorkFolder(work);
        o.interactionFactory = testing::forwardTo<TMForm>(ui);
        auto f = std::make_unique<TMForm>(std::move(o));
        f->show();
        return f;
    }
};

template <class T> T* child(QWidget& form, const char* name) {
    T* w = form.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

} // namespace

class TstMainForm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName("Pelmira"); }

    void storedWindow() {
        testing::RecordedErrors errors;
        TMForm form;
        QCOMPARE(form.objectName(), QString("MForm"));
        QCOMPARE(form.windowTitle(), QString("Exportar e importar datos entre Horvex e ITACA"));
        QCOMPARE(form.size(), QSize(632, 266));
        QCOMPARE(form.minimumSize(), QSize(632, 266));
        QCOMPARE(form.maximumSize(), QSize(632, 266));
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(form.pos(), QPoint(194, 167));
        QCOMPARE(form.property(app::kHelpContextProperty).toInt(), 1);
        QCOMPARE(form.font().pointSize(), 8);
        QCOMPARE(form.font().families().value(0), QString("MS Sans Serif"));
        QCOMPARE(form.launchParamCount(), 0);
        QCOMPARE(form.transferResult(), 0);
        QVERIFY(errors.texts.isEmpty());
    }

    void panels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QColor>("start");
        QTest::addColumn<QColor>("middle");
        QTest::addColumn<QColor>("end");
        QTest::addColumn<int>("stackIndex");
        QTest::newRow("bottom") << "Draw3D1" << QRect(0, 168, 633, 97) << QColor(194, 205, 254)
                                << QColor(207, 242, 254) << QColor(204, 216, 230) << 0;
        QTest::newRow("export") << "Draw3D2" << QRect(0, 0, 315, 169) << QColor(249, 211, 125)
                                << QColor(Qt::white) << QColor(255, 238, 221) << 1;
        QTest::newRow("import") << "Draw3D3" << QRect(316, 0, 317, 169) << QColor(249, 211, 125)
                                << QColor(Qt::white) << QColor(255, 238, 221) << 2;
    }

    void panels() {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        QFETCH(QColor, start);
        QFETCH(QColor, middle);
        QFETCH(QColor, end);
        QFETCH(int, stackIndex);
        TMForm form;
        auto* panel = form.findChild<app::GradientPanel*>(name);
        QVERIFY(panel);
        QCOMPARE(panel->parentWidget(), &form);
        QCOMPARE(panel->geometry(), place);
        QCOMPARE(panel->startColor(), start);
        QCOMPARE(panel->middleColor(), middle);
        QCOMPARE(panel->endColor(), end);
        QCOMPARE(panel->property(app::kHelpContextProperty).toInt(), 3);
        // Stacking: children are painted in the order of the parent's list, lowest first.
        QList<app::GradientPanel*> order;
        for (QObject* o : form.children())
            if (auto* p = qobject_cast<app::GradientPanel*>(o))
                order.push_back(p);
        QCOMPARE(order.indexOf(panel), stackIndex);
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("place"); // width/height -1: sized to the caption
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("color"); // invalid: the default
        QTest::addColumn<int>("helpContext");
        const QColor none;
        QTest::newRow("Label3") << "Label3"
                                << "Draw3D2"
                                << "QLabel" << QRect(24, 24, 265, 57)
                                << "Transformar datos desde ITACA hacia Horvex " << true << none
                                << 0;
        QTest::newRow("Label9") << "Label9"
                                << "Draw3D2"
                                << "QLabel" << QRect(6, 73, -1, -1) << "Recoger Textos en:" << true
                                << app::kRed << 0;
        QTest::newRow("ComboBoxValCast") << "ComboBoxValCast"
                                         << "Draw3D2"
                                         << "QComboBox" << QRect(168, 68, 133, -1)
                                         << QString::fromUtf8("VALENCIÁ") << true << none << 1;
        QTest::newRow("BExportar")
            << "BExportar"
            << "Draw3D2"
            << "confirm" << QRect(96, 120, 89, 25) << "Aceptar" << false << none << 3;
        QTest::newRow("Label4") << "Label4"
                                << "Draw3D3"
                                << "QLabel" << QRect(8, 24, 305, 57)
                                << "Transformar datos desde Horvex hacia ITACA" << true << none
                                << 0;
        QTest::newRow("BImportar")
            << "BImportar"
            << "Draw3D3"
            << "confirm" << QRect(96, 120, 89, 25) << "Aceptar" << false << none << 3;
        QTest::newRow("Label1") << "Label1"
                                << "Draw3D1"
                                << "QLabel" << QRect(8, 72, -1, -1) << "Pelmira para RX30 V-1.1"
                                << true << app::kRed << 0;
        QTest::newRow("BClose") << "BClose"
                                << "Draw3D1"
                                << "close" << QRect(256, 32, 89, 25) << "&Salir" << false << none
                                << 3;
        QTest::newRow("Button1") << "Button1"
                                 << "Draw3D1"
                                 << "QPushButton" << QRect(48, 40, 75, 25) << "F1 Ayuda" << false
                                 << none << 1;
        QTest::newRow("ListBoxPlanti")
            << "ListBoxPlanti"
            << "Draw3D1"
            << "QListWidget" << QRect(576, 4, 49, 29) << "" << true << app::kBlue << 0;
    }

    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, panel);
        QFETCH(QString, kind);
        QFETCH(QRect, place);
        QFETCH(QString, caption);
        QFETCH(bool, bold);
        QFETCH(QColor, color);
        QFETCH(int, helpContext);

        TMForm form;
        form.show();
        auto* w = form.findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->parentWidget()->objectName(), panel);
        QCOMPARE(w->pos(), place.topLeft());
        if (place.width() >= 0)
            QCOMPARE(w->width(), place.width());
        if (place.height() >= 0)
            QCOMPARE(w->height(), place.height());
        QCOMPARE(w->font().bold(), bold);
        if (color.isValid())
            QCOMPARE(w->palette().color(QPalette::WindowText), color);
        QCOMPARE(w->property(app::kHelpContextProperty).toInt(), helpContext);

        if (kind == "confirm" || kind == "close") {
            auto* b = qobject_cast<QPushButton*>(w);
            QVERIFY(b);
            QCOMPARE(b->property(app::kButtonKindProperty).toString(), kind);
            QVERIFY(!b->icon().isNull());
            QCOMPARE(b->text(), caption);
        } else if (kind == "QLabel") {
            auto* l = qobject_cast<QLabel*>(w);
            QVERIFY(l);
            QCOMPARE(l->text(), caption);
            if (place.width() < 0)
                QVERIFY(l->width() >= l->sizeHint().width()); // the whole caption shows
        } else if (kind == "QComboBox") {
            auto* c = qobject_cast<QComboBox*>(w);
            QVERIFY(c);
            QVERIFY(c->isEditable());
            QCOMPARE(c->currentText(), caption);
            QCOMPARE(c->count(), 2);
            QCOMPARE(c->itemText(0), QString::fromUtf8("VALENCIÁ"));
            QCOMPARE(c->itemText(1), QString("CASTELLANO"));
        } else if (kind == "QPushButton") {
            auto* b = qobject_cast<QPushButton*>(w);
            QVERIFY(b);
            QCOMPARE(b->text(), caption);
        } else if (kind == "QListWidget") {
            QVERIFY(qobject_cast<QListWidget*>(w));
            QVERIFY(!w->isVisible());
        }
        if (kind != "QListWidget")
            QVERIFY(w->isVisible());
        // Labels with a fixed place are word-wrapped headings.
        if (name == "Label3" || name == "Label4") {
            QCOMPARE(w->font().pointSize(), 12);
            QCOMPARE(w->font().families().value(0), QString("Arial"));
            QVERIFY(static_cast<QLabel*>(w)->wordWrap());
        }
    }

    void startModes_data() {
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<int>("launchParamCount");
        QTest::addColumn<bool>("exportShown");
        QTest::addColumn<bool>("importShown");
        QTest::addColumn<bool>("bottomCovered");
        QTest::addColumn<QString>("error");
        QTest::newRow("no parameters") << QStringList{} << 0 << true << true << false << "";
        QTest::newRow("one parameter")
            << QStringList{"exportar"} << 0 << true << true << false << "";
        QTest::newRow("three parameters")
            << QStringList{"exportar", "1A", "2"} << 0 << true << true << false << "";
        QTest::newRow("EXPORTAR") << QStringList{"EXPORTAR", "1A"} << 2 << true << false << true
                                  << "";
        QTest::newRow("importar") << QStringList{"importar", "1A"} << 2 << false << true << true
                                  << "";
        QTest::newRow("unknown keyword")
            << QStringList{"transformar", "1A"} << 2 << true << true << false << "";
        QTest::newRow("0x prefix") << QStringList{"exportar", "0x1A"} << 0 << true << true << false
                                   << QString::fromUtf8("'$0x1A' no es un valor entero válido.");
    }

    void startModes() {
        QFETCH(QStringList, params);
        QFETCH(int, launchParamCount);
        QFETCH(bool, exportShown);
        QFETCH(bool, importShown);
        QFETCH(bool, bottomCovered);
        QFETCH(QString, error);

        Fixture fx;
        auto form = fx.form(params);
        QCOMPARE(form->launchParamCount(), launchParamCount);
        QCOMPARE(form->state().embedded, launchParamCount == 2);
        auto* exp = child<QWidget>(*form, "Draw3D2");
        auto* imp = child<QWidget>(*form, "Draw3D3");
        QCOMPARE(exp->isVisible(), exportShown);
        QCOMPARE(imp->isVisible(), importShown);
        if (bottomCovered) {
            QWidget* filling = exportShown ? exp : imp;
            QCOMPARE(filling->geometry(), form->rect());
            // The run's heading and button show; the bottom panel's controls are covered.
            QCOMPARE(form->childAt(BottomPoint), filling);
        } else {
            QCOMPARE(exp->geometry(), QRect(0, 0, 315, 169));
            QCOMPARE(imp->geometry(), QRect(316, 0, 317, 169));
            QCOMPARE(form->childAt(BottomPoint)->objectName(), QString("Button1"));
        }
        QCOMPARE(fx.errors.texts, error.isEmpty() ? QStringList{} : QStringList{error});

        form->close();
        // Only embedded mode writes the handshake file.
        QCOMPARE(std::filesystem::exists(fx.ini), launchParamCount == 2);
        if (launchParamCount == 2)
            QCOMPARE(readAll(fx.ini), std::string("[Transformadores]\r\nTransformado=0\r\n"));
    }

    // Stand-alone: the window stays open with both buttons enabled after the missing file, and
    // both buttons are disabled after a completed run.
    void standAloneOutcomes() {
        Fixture fx;
        auto form = fx.form({});
        auto* bExp = child<QPushButton>(*form, "BExportar");
        auto* bImp = child<QPushButton>(*form, "BImportar");

        fx.ui.file = std::nullopt;
        QTest::mouseClick(bExp, Qt::LeftButton);
        QCOMPARE(fx.ui.messages, std::vector<std::string>{"No existe archivo"});
        QCOMPARE(form->transferResult(), 0);
        QVERIFY(form->isVisible());
        QVERIFY(bExp->isEnabled() && bImp->isEnabled());

        fx.ui.messages.clear();
        QTest::mouseClick(bImp, Qt::LeftButton);
        QCOMPARE(fx.ui.messages.back(), std::string("No existe archivo XML o Solución."));
        QVERIFY(bExp->isEnabled() && bImp->isEnabled());

        fx.ui.messages.clear();
        fx.ui.file = kSchool;
        QTest::mouseClick(bExp, Qt::LeftButton);
        QVERIFY2(fx.errors.texts.isEmpty(), qPrintable(fx.errors.texts.join('\n')));
        QCOMPARE(fx.ui.messages.back(), std::string("Proceso finalizado"));
        QCOMPARE(form->transferResult(), 1);
        QVERIFY(!bExp->isEnabled() && !bImp->isEnabled());
        QVERIFY(form->isVisible());
        QCOMPARE(fx.ui.chooserShown, 1);
        // The chooser's period list went into the hidden list.
        auto* list = child<QListWidget>(*form, "ListBoxPlanti");
        QCOMPARE(list->count(), int(form->state().periodList.size()));
        QVERIFY(list->count() > 0);
        QCOMPARE(list->item(0)->text(), QString(" 1 de 08:00 a 08:55"));

        QTest::mouseClick(child<QPushButton>(*form, "BClose"), Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY(!std::filesystem::exists(fx.ini));
    }

    // The language typed in the main window reaches the run, and what the chooser hands back
    // shows in the main window.
    void languageThroughTheChooser() {
        Fixture fx;
        auto form = fx.form({});
        auto* lang = child<QComboBox>(*form, "ComboBoxValCast");
        lang->setEditText("CASTELLANO");
        fx.ui.file = kSchool;
        std::string seen;
        fx.ui.chooser = [&](itaca::TemplateChooser& c) {
            seen = c.languageText();
            c.setLanguageText(std::string(text::kValencian));
        };
        QTest::mouseClick(child<QPushButton>(*form, "BExportar"), Qt::LeftButton);
        QCOMPARE(seen, std::string("CASTELLANO"));
        QCOMPARE(lang->currentText(), QString::fromUtf8("VALENCIÁ"));
    }

    void embeddedOutcomes_data() {
        QTest::addColumn<QString>("run");
        QTest::addColumn<bool>("fileGiven");
        QTest::addColumn<bool>("workFolderMissing");
        QTest::addColumn<bool>("closesItself");
        QTest::addColumn<QString>("ini");
        QTest::newRow("export completed") << "exportar" << true << false << true << "1";
        QTest::newRow("export input missing") << "exportar" << false << false << true << "-1";
        QTest::newRow("export error, then closed") << "exportar" << true << true << false << "0";
        QTest::newRow("unknown keyword: a completed run still closes")
            << "transformar" << true << false << true << "1";
        QTest::newRow("import input missing") << "importar" << false << false << true << "-1";
        QTest::newRow("import error, then closed") << "importar" << true << false << false << "0";
    }

    void embeddedOutcomes() {
        QFETCH(QString, run);
        QFETCH(bool, fileGiven);
        QFETCH(bool, workFolderMissing);
        QFETCH(bool, closesItself);
        QFETCH(QString, ini);

        Fixture fx;
        auto form = fx.form({run, "1A"});
        if (workFolderMissing)
            form->setWorkFolder(worktables::WorkFolder(fx.dir / "missing"));
        if (run == "importar") {
            // An import needs SOLUC.DBF; an empty one is not a dBase table.
            fx.ui.file = kSchool;
            std::ofstream(fx.work / "SOLUC.DBF") << "";
        }
        if (fileGiven)
            fx.ui.file = kSchool;
        else
            fx.ui.file = std::nullopt;
        const char* button = run == "importar" ? "BImportar" : "BExportar";
        QTest::mouseClick(child<QPushButton>(*form, button), Qt::LeftButton);

        QCOMPARE(!form->isVisible(), closesItself);
        QCOMPARE(fx.errors.texts.isEmpty(), closesItself);
        if (!closesItself) {
            QVERIFY(!std::filesystem::exists(fx.ini));
            QVERIFY(child<QPushButton>(*form, button)->isEnabled());
            form->close(); // Horvex closes the window
        }
        QCOMPARE(readAll(fx.ini),
                 "[Transformadores]\r\nTransformado=" + ini.toStdString() + "\r\n");
    }

    void unwritableIni() {
        Fixture fx;
        auto form = fx.form({"exportar", "1A"});
        const auto ini = fx.dir / "no-folder" / "Horvex.ini";
        form->setIniPath(ini);
        fx.ui.file = std::nullopt;
        QTest::mouseClick(child<QPushButton>(*form, "BExportar"), Qt::LeftButton);
        QVERIFY(!form->isVisible()); // closes all the same
        QCOMPARE(fx.errors.texts,
                 QStringList{QString::fromStdString("Unable to write to " + ini.string() + ".")});
    }

    void iniBesideTheProgramByDefault() {
        testing::RecordedErrors errors;
        TMForm form;
        QCOMPARE(QString::fromStdString(form.iniPath().string()),
                 QCoreApplication::applicationDirPath() + "/Horvex.ini");
    }

    void helpButtonAndF1() {
        Fixture fx;
        auto form = fx.form({});
        app::HelpSystem::instance().setHelpFile(APP_TEST_CHM);
        // Button1 sets the help file "ITACA.chm" again: beside the test program, built there.
        QTest::mouseClick(child<QPushButton>(*form, "Button1"), Qt::LeftButton);
        QVERIFY2(fx.errors.texts.isEmpty(), qPrintable(fx.errors.texts.join('\n')));
        app::HelpWindow* help = app::HelpSystem::instance().window();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->browser()->currentTopic(), std::string("/indice.html"));
        help->grab().save("help-window.png"); // for a look at it, in the test's folder

        // F1 on a run button: its help context 3.
        auto* bExp = child<QPushButton>(*form, "BExportar");
        form->activateWindow();
        bExp->setFocus();
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &f1);
        QCOMPARE(help->browser()->currentTopic(), std::string("/botones.html"));
        form->close();
        app::HelpSystem::instance().closeWindow();
    }

private:
    // Embedded with a run keyword, the covered bottom panel's buttons are out of the tab
    // order and their shortcuts are off: Alt+S ("&Salir") closes the window stand-alone only.
    void coveredControls_data() {
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<bool>("covered");
        QTest::newRow("stand-alone") << QStringList{} << false;
        QTest::newRow("exportar") << QStringList{"exportar", "1A"} << true;
        QTest::newRow("importar") << QStringList{"importar", "1A"} << true;
    }

    void coveredControls() {
        QFETCH(QStringList, params);
        QFETCH(bool, covered);
        Fixture fx;
        auto form = fx.form(params);
        QApplication::setActiveWindow(form.get());
        auto* close = child<QPushButton>(*form, "BClose");
        auto* help = child<QPushButton>(*form, "Button1");

        QStringList tabOrder;
        QWidget* w = form.get();
        for (int i = 0; i < 40; ++i) {
            w = w->nextInFocusChain();
            if (w->isVisibleTo(form.get()) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
                tabOrder << w->objectName();
        }
        QCOMPARE(tabOrder.contains("BClose"), !covered);
        QCOMPARE(tabOrder.contains("Button1"), !covered);
        QCOMPARE(close->isVisibleTo(form.get()), !covered);
        QCOMPARE(help->isVisibleTo(form.get()), !covered);

        QTest::keyClick(form.get(), Qt::Key_S, Qt::AltModifier);
        QCOMPARE(form->isVisible(), covered);
    }

    static constexpr QPoint BottomPoint{60, 220}; // over Button1 on the bottom panel
};

QTEST_MAIN(TstMainForm)
#include "tst_mainform.moc"
