// What the program sets up before its windows, and how its captions come out: the names and the
// icon, Qt's Spanish texts, the Liberation fonts for Arial and "MS Sans Serif", and every caption
// of both windows whole at its stored size.

#include "app/AppSetup.h"
#include "app/FormKit.h"
#include "app/MainForm.h"
#include "app/Plantihoras.h"
#include "app_test_support.h"
#include "itaca/chooser.h"
#include "itaca/document.h"
#include "text/text.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QTest>

using namespace pelmira;

namespace {

// The captions of `window` that do not fit their place, one line each.
QStringList clippedCaptions(QWidget& window) {
    QStringList clipped;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().isEmpty())
            continue;
        const QFontMetrics fm(label->font());
        const QRect room = label->contentsRect();
        const QRect needed =
            label->wordWrap()
                ? fm.boundingRect(QRect(0, 0, room.width(), 10000),
                                  int(label->alignment()) | Qt::TextWordWrap, label->text())
                : fm.boundingRect(label->text());
        if (needed.width() > room.width() || fm.height() > room.height() ||
            needed.height() > room.height())
            clipped << QStringLiteral("%1: %2x%3 in %4x%5")
                           .arg(label->objectName())
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(room.width())
                           .arg(room.height());
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(&window) || button->text().isEmpty())
            continue;
        QString caption = button->text();
        caption.remove(QLatin1Char('&'));
        const QFontMetrics fm(button->font());
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        const int needed = fm.horizontalAdvance(caption) + icon + 2 * margin;
        if (needed > button->width() || fm.height() > button->height())
            clipped << QStringLiteral("%1: %2 in %3")
                           .arg(button->objectName())
                           .arg(needed)
                           .arg(button->width());
    }
    return clipped;
}

} // namespace

class TstAppSetup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { app::setUpApplication(*QCoreApplication::instance()); }

    void namesAndIcon() {
        QCOMPARE(QCoreApplication::applicationName(), QString("Pelmira"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QString("Pelmira"));
        const QIcon icon = QGuiApplication::windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        // Drawn from the SVG: the gradient's light middle, not an empty picture.
        const QImage image = icon.pixmap(64, 64).toImage();
        QCOMPARE(image.pixelColor(32, 32).alpha(), 255);
    }

    // Whatever the user's locale (ctest runs this with LANG=C too).
    void qtTextsInSpanish() {
        QVERIFY(!app::qtTranslationFile().isEmpty());
        QCOMPARE(QLocale().language(), QLocale::Spanish);
        QFileDialog dialog(nullptr, QStringLiteral("Archivo XML"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* lookIn = dialog.findChild<QLabel*>("lookInLabel");
        auto* fileName = dialog.findChild<QLabel*>("fileNameLabel");
        auto* fileType = dialog.findChild<QLabel*>("fileTypeLabel");
        QVERIFY(lookIn && fileName && fileType);
        QCOMPARE(lookIn->text(), QString("Ver en:"));
        QVERIFY2(fileName->text().remove('&') == "Nombre de fichero:",
                 qPrintable(fileName->text()));
        QCOMPARE(fileType->text(), QString("Ficheros de tipo:"));
    }

    void fonts_data() {
        QTest::addColumn<QString>("family");
        QTest::newRow("Arial") << "Arial";
        QTest::newRow("MS Sans Serif") << "MS Sans Serif";
    }

    // The packages depend on fonts-liberation: the stored faces become Liberation Sans.
    void fonts() {
        QFETCH(QString, family);
        const QFontInfo info(app::storedFont(family, 8));
        QVERIFY2(info.family() == "Liberation Sans" || info.family() == family,
                 qPrintable(info.family()));
    }

    void mainWindowCaptionsWhole() {
        testing::RecordedErrors errors;
        app::TMForm form;
        form.show();
        const QStringList clipped = clippedCaptions(form);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
    }

    void chooserCaptionsWhole_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("export") << int(itaca::TemplateChooser::Mode::Export);
        QTest::newRow("import") << int(itaca::TemplateChooser::Mode::Import);
    }

    void chooserCaptionsWhole() {
        QFETCH(int, mode);
        testing::RecordedErrors errors; // import mode finds no DIASHORAST here
        itaca::TemplateChooser model(static_cast<itaca::TemplateChooser::Mode>(mode),
                                     itaca::ItacaDocument::load(APP_TEST_DATA "/plantillas.xml"),
                                     std::string(text::kValencian));
        app::TPlantillas window(model);
        window.show();
        const QStringList clipped = clippedCaptions(window);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
    }
};

QTEST_MAIN(TstAppSetup)
#include "tst_appsetup.moc"
