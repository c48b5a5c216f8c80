// The chooser window Plantillas over a small centre document, in both modes.

#include "app/FormKit.h"
#include "app/GradientPanel.h"
#include "app/Help.h"
#include "app/HelpWindow.h"
#include "app/Plantihoras.h"
#include "app/QtInteraction.h"
#include "app_test_support.h"
#include "itaca/chooser.h"
#include "itaca/document.h"
#include "text/error.h"
#include "text/text.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace pelmira;
using app::TPlantillas;
using itaca::TemplateChooser;

namespace {

std::shared_ptr<const itaca::ItacaDocument> document() {
    return itaca::ItacaDocument::load(APP_TEST_DATA "/plantillas.xml");
}

QStringList items(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

template <class T> T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

const QString kValencian = QString::fromUtf8("VALENCIÁ");

} // namespace

class TstPlantillas : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void storedWindow() {
        testing::RecordedErrors errors;
        TemplateChooser model(TemplateChooser::Mode::Export, document(),
                              std::string(text::kValencian));
        TPlantillas w(model);
        QCOMPARE(w.objectName(), QString("Plantillas"));
        QCOMPARE(w.windowTitle(), QString("Plantillas Horarias"));
        QCOMPARE(w.size(), QSize(369, 265));
        QCOMPARE(w.pos(), QPoint(444, 334));
        QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.maximumSize().width() > 369); // resizable
        QCOMPARE(w.property(app::kHelpContextProperty).toInt(), 1);

        auto* panel = child<app::GradientPanel>(w, "Draw3D4");
        QCOMPARE(panel->geometry(), QRect(0, 0, 369, 265));
        QCOMPARE(panel->startColor(), QColor(166, 202, 240));
        QCOMPARE(panel->middleColor(), QColor(Qt::white));

        struct Row {
            const char* name;
            QRect place;
            const char* caption;
        };
        const Row rows[] = {
            {"Label9", QRect(6, 10, -1, -1), "Recoger Textos en: -------------->"},
            {"LabelPlantillas", QRect(6, 33, 321, 33),
             "Seleccione la Plantilla Horaria que quiere aplicar a su Horario en Horvex."},
            {"Label1", QRect(228, 61, 67, 18), "HORAS"},
            {"Label3", QRect(2, 105, 63, 22), "Horario:"},
            {"LabelNombre", QRect(2, 127, 162, 36), "-"},
            {"Label2", QRect(2, 185, 39, 22), "Turno:"},
            {"LabelTurno", QRect(44, 185, 101, 23), "-"},
        };
        for (const Row& r : rows) {
            auto* l = child<QLabel>(*panel, r.name);
            QCOMPARE(l->pos(), r.place.topLeft());
            if (r.place.width() >= 0)
                QCOMPARE(l->size(), r.place.size());
            QCOMPARE(l->text(), QString::fromUtf8(r.caption));
            QVERIFY(l->font().bold());
        }
        QCOMPARE(child<QLabel>(*panel, "Label9")->palette().color(QPalette::WindowText), app::kRed);
        QCOMPARE(child<QLabel>(*panel, "Label1")->palette().color(QPalette::WindowText),
                 app::kMaroon);
        QCOMPARE(child<QLabel>(*panel, "LabelNombre")->palette().color(QPalette::WindowText),
                 app::kMaroon);
        QVERIFY(child<QLabel>(*panel, "LabelNombre")->wordWrap());

        auto* lang = child<QComboBox>(*panel, "ComboBoxValCast");
        QCOMPARE(lang->geometry().topLeft(), QPoint(205, 6));
        QCOMPARE(lang->width(), 133);
        QVERIFY(lang->isEditable());
        QCOMPARE(lang->currentText(), kValencian);
        auto* tpl = child<QComboBox>(*panel, "ComboBoxPlantilla");
        QCOMPARE(tpl->geometry().topLeft(), QPoint(8, 80));
        QCOMPARE(tpl->width(), 129);
        QVERIFY(tpl->isEditable());
        QVERIFY(!tpl->completer()); // no automatic completion
        QCOMPARE(tpl->palette().color(QPalette::Base), app::kYellow);
        auto* list = child<QListWidget>(*panel, "ListBox1");
        QCOMPARE(list->geometry(), QRect(168, 80, 197, 149));
        QCOMPARE(list->palette().color(QPalette::Text), app::kBlue);
        auto* ok = child<QPushButton>(*panel, "BitBtnContinuar");
        QCOMPARE(ok->geometry(), QRect(255, 234, 89, 25));
        QCOMPARE(ok->text(), QString("Continuar"));
        QVERIFY(ok->font().bold());
        QCOMPARE(ok->property(app::kButtonKindProperty).toString(), QString("confirm"));
        QCOMPARE(ok->property(app::kHelpContextProperty).toInt(), 3);

        w.show();
        w.resize(500, 400);
        QCOMPARE(panel->geometry(), QRect(0, 0, 500, 400)); // it fills the window
        QVERIFY(errors.texts.isEmpty());
    }

    void exportMode() {
        testing::RecordedErrors errors;
        TemplateChooser model(TemplateChooser::Mode::Export, document(),
                              std::string(text::kValencian));
        TPlantillas w(model);
        w.show(); // FormActivate
        QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join('\n')));
        auto* tpl = child<QComboBox>(w, "ComboBoxPlantilla");
        auto* lang = child<QComboBox>(w, "ComboBoxValCast");
        auto* list = child<QListWidget>(w, "ListBox1");
        QVERIFY(lang->isVisible());
        QCOMPARE(tpl->count(), 2);
        QCOMPARE(tpl->itemText(0), QString("MATI"));
        QCOMPARE(tpl->currentText(), QString("MATI"));
        QCOMPARE(child<QLabel>(w, "LabelNombre")->text(), QString::fromUtf8("Horari de matí"));
        QCOMPARE(child<QLabel>(w, "LabelTurno")->text(), QString::fromUtf8("Matí"));
        QCOMPARE(items(list), (QStringList{" 1 de 08:00 a 09:00", " 2 de 09:00 a 10:00"}));

        // The language: the description follows it.
        lang->setEditText("CASTELLANO");
        QCOMPARE(child<QLabel>(w, "LabelNombre")->text(), QString::fromUtf8("Horario de mañana"));
        QCOMPARE(items(list).size(), 2);

        // The second template, chosen from the list: its Monday periods in period order.
        tpl->setCurrentIndex(1);
        QCOMPARE(child<QLabel>(w, "LabelNombre")->text(), QString("Horario de tarde"));
        QCOMPARE(child<QLabel>(w, "LabelTurno")->text(), QString("Vesprada"));
        QCOMPARE(items(list), (QStringList{" 9 de 14:00 a 15:00", "10 de 15:00 a 16:00"}));

        // A typed code that matches nothing.
        tpl->setEditText("NADA");
        QCOMPARE(child<QLabel>(w, "LabelNombre")->text(), QString("-"));
        QVERIFY(items(list).isEmpty());
        tpl->setEditText("VESP");

        QTest::mouseClick(child<QPushButton>(w, "BitBtnContinuar"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        const itaca::ChooserResult r = model.result();
        QCOMPARE(r.templateCode, std::string("VESP"));
        QCOMPARE(r.templateShift, std::string("Vesprada"));
        QCOMPARE(r.languageText, std::string("CASTELLANO"));
        QCOMPARE(r.periods.size(), std::size_t(2));
        QVERIFY(errors.texts.isEmpty());
    }

    void closeBoxGivesTheSameResults() {
        testing::RecordedErrors errors;
        TemplateChooser model(TemplateChooser::Mode::Export, document(),
                              std::string(text::kValencian));
        testing::whenModal([](QWidget* w) {
            // The user picks the second template with the keyboard, then the close box.
            auto* tpl = w->findChild<QComboBox*>("ComboBoxPlantilla");
            tpl->lineEdit()->selectAll();
            QTest::keyClicks(tpl->lineEdit(), "VESP ");
            w->close();
        });
        app::QtInteraction ui(nullptr);
        ui.showChooser(model);
        const itaca::ChooserResult r = model.result();
        QCOMPARE(r.templateCode, std::string("VESP")); // trimmed
        QCOMPARE(r.templateShift, std::string("-"));   // untrimmed text matched no template
        QCOMPARE(r.languageText, std::string(text::kValencian));
        QVERIFY(errors.texts.isEmpty());
    }

    void importMode() {
        testing::RecordedErrors errors;
        TemplateChooser model(TemplateChooser::Mode::Import, document(),
                              std::string(text::kValencian), [] { return std::string("VESP"); });
        TPlantillas w(model);
        QCOMPARE(w.property("Tag").toInt(), 2);
        w.show();
        QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join('\n')));
        QCOMPARE(child<QLabel>(w, "Label9")->text(), QString::fromUtf8("EXPORTACIÓN A ITACA"));
        QCOMPARE(child<QLabel>(w, "LabelPlantillas")->text(),
                 QString::fromUtf8("Seleccione la Plantilla Horaria que quiere aplicar para "
                                   "Exportar su Horario a ITACA."));
        QVERIFY(!child<QComboBox>(w, "ComboBoxValCast")->isVisible());
        QCOMPARE(child<QComboBox>(w, "ComboBoxPlantilla")->currentText(), QString("VESP"));
        QCOMPARE(child<QLabel>(w, "LabelNombre")->text(), QString("Horari de vesprada"));
        QCOMPARE(items(child<QListWidget>(w, "ListBox1")),
                 (QStringList{" 9 de 14:00 a 15:00", "10 de 15:00 a 16:00"}));
        w.close();
        QCOMPARE(model.result().templateCode, std::string("VESP"));
    }

    // F1 asks for the topic of the focused control, or of the nearest parent that has a number:
    // the template box has none, its panel has 3.
    void f1() {
        testing::RecordedErrors errors;
        TemplateChooser model(TemplateChooser::Mode::Export, document(),
                              std::string(text::kValencian));
        TPlantillas w(model);
        w.show();
        app::HelpSystem::instance().setHelpFile(APP_TEST_CHM);
        auto press = [&](QWidget* focus) {
            focus->setFocus();
            QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
            QApplication::sendEvent(focus, &f1);
            return app::HelpSystem::instance().window()->browser()->currentTopic();
        };
        QCOMPARE(press(child<QComboBox>(w, "ComboBoxPlantilla")), std::string("/botones.html"));
        QCOMPARE(press(child<QComboBox>(w, "ComboBoxValCast")), std::string("/general.html"));
        QVERIFY(errors.texts.isEmpty());
        app::HelpSystem::instance().closeWindow();
    }

    void errorKeepsTheWindowOpen() {
        testing::RecordedErrors errors;
        TemplateChooser model(
            TemplateChooser::Mode::Import, document(), std::string(text::kValencian),
            []() -> std::string { throw Error("No se puede abrir la tabla DIASHORAST"); });
        TPlantillas w(model);
        w.show();
        QCOMPARE(errors.texts, QStringList{"No se puede abrir la tabla DIASHORAST."});
        QVERIFY(w.isVisible());
        QCOMPARE(child<QComboBox>(w, "ComboBoxPlantilla")->count(), 0);
        QCOMPARE(child<QLabel>(w, "LabelNombre")->text(), QString("-"));
        QTest::mouseClick(child<QPushButton>(w, "BitBtnContinuar"), Qt::LeftButton);
        QCOMPARE(model.result().templateCode, std::string());
        QVERIFY(model.result().periods.empty());
    }
};

QTEST_MAIN(TstPlantillas)
#include "tst_plantillas.moc"
