// The command line and the error box text.

#include "app/ErrorBox.h"
#include "app/StartMode.h"

#include <QTest>

using namespace pelmira::app;

class TstStartMode : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsing_data() {
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<int>("launchParamCount");
        QTest::addColumn<int>("panel");
        QTest::addColumn<quint32>("handle");
        QTest::addColumn<QString>("error");

        const int both = int(RunPanel::Both), exp = int(RunPanel::Export),
                  imp = int(RunPanel::Import);
        QTest::newRow("no parameters") << QStringList{} << 0 << both << 0u << QString();
        QTest::newRow("one parameter") << QStringList{"exportar"} << 0 << both << 0u << QString();
        QTest::newRow("three parameters")
            << QStringList{"exportar", "1A2B", "x"} << 0 << both << 0u << QString();
        QTest::newRow("exportar") << QStringList{"exportar", "1A2B"} << 2 << exp << 0x1A2Bu
                                  << QString();
        QTest::newRow("EXPORTAR in capitals")
            << QStringList{"EXPORTAR", "3e00007"} << 2 << exp << 0x3E00007u << QString();
        QTest::newRow("Importar mixed case")
            << QStringList{"Importar", "ff"} << 2 << imp << 0xFFu << QString();
        QTest::newRow("unknown keyword: embedded, both panels")
            << QStringList{"otra", "10"} << 2 << both << 0x10u << QString();
        QTest::newRow("accented capital is not folded")
            << QStringList{"IMPORTAR\u00C1", "10"} << 2 << both << 0x10u << QString();
        QTest::newRow("full 32-bit handle")
            << QStringList{"exportar", "FFFFFFFF"} << 2 << exp << 0xFFFFFFFFu << QString();
        QTest::newRow("0x prefix") << QStringList{"exportar", "0x1A"} << 0 << both << 0u
                                   << QString::fromUtf8("'$0x1A' no es un valor entero válido");
        QTest::newRow("not hexadecimal") << QStringList{"importar", "zz"} << 0 << both << 0u
                                         << QString::fromUtf8("'$zz' no es un valor entero válido");
        QTest::newRow("empty handle") << QStringList{"importar", ""} << 0 << both << 0u
                                      << QString::fromUtf8("'$' no es un valor entero válido");
    }

    void parsing() {
        QFETCH(QStringList, params);
        QFETCH(int, launchParamCount);
        QFETCH(int, panel);
        QFETCH(quint32, handle);
        QFETCH(QString, error);

        const StartMode mode = parseStartMode(params);
        QCOMPARE(mode.launchParamCount, launchParamCount);
        QCOMPARE(int(mode.panel), panel);
        QCOMPARE(mode.hostWindow, handle);
        QCOMPARE(mode.error ? QString::fromStdString(*mode.error) : QString(), error);
    }

    void errorText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "No existe la tabla"
                               << "No existe la tabla.";
        QTest::newRow("ends in full stop") << "Hecho."
                                           << "Hecho.";
        QTest::newRow("ends in blank") << "Hecho "
                                       << "Hecho ";
        QTest::newRow("ends in hyphen (below the full stop)") << "a-"
                                                              << "a-";
        QTest::newRow("ends in slash (above the full stop)") << "C:/HTEMP/"
                                                             << "C:/HTEMP/.";
        QTest::newRow("ends in closing quote") << "'$zz' no es un valor entero 'x'"
                                               << "'$zz' no es un valor entero 'x'";
        QTest::newRow("ends in accented letter")
            << QString::fromUtf8("válido") << QString::fromUtf8("válido.");
        QTest::newRow("ends in digit") << "linea 3"
                                       << "linea 3.";
        QTest::newRow("ends in line feed") << "dos\nlineas\n"
                                           << "dos\nlineas\n";
        QTest::newRow("empty") << ""
                               << "";
    }

    void errorText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(errorBoxText(message.toStdString()), shown);
    }
};

QTEST_GUILESS_MAIN(TstStartMode)
#include "tst_startmode.moc"
