// The Horvex.ini line editor: one key set, every other line as it was.

#include "app/HorvexIni.h"
#include "support/temp_dir.h"
#include "text/error.h"

#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace pelmira;

namespace {

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

class TstHorvexIni : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void editing_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("empty file") << QByteArray("") << QByteArray("1")
                                    << QByteArray("[Transformadores]\r\nTransformado=1\r\n");
        QTest::newRow("other section kept, ours appended")
            << QByteArray("[Horvex]\r\nRuta=C:\\HORVEX\r\n") << QByteArray("-1")
            << QByteArray(
                   "[Horvex]\r\nRuta=C:\\HORVEX\r\n[Transformadores]\r\nTransformado=-1\r\n");
        QTest::newRow("last line without line end")
            << QByteArray("[Horvex]\r\nRuta=X") << QByteArray("0")
            << QByteArray("[Horvex]\r\nRuta=X\r\n[Transformadores]\r\nTransformado=0\r\n");
        QTest::newRow("value replaced, neighbours kept")
            << QByteArray("; comentario\r\n[Transformadores]\r\nAntes=1\r\nTransformado=0\r\n"
                          "Despues=2\r\n\r\n[Otra]\r\nTransformado=7\r\n")
            << QByteArray("1")
            << QByteArray("; comentario\r\n[Transformadores]\r\nAntes=1\r\nTransformado=1\r\n"
                          "Despues=2\r\n\r\n[Otra]\r\nTransformado=7\r\n");
        QTest::newRow("names ignore letter case, blanks around the key")
            << QByteArray("[TRANSFORMADORES]\r\n  transformado = 0\r\n") << QByteArray("1")
            << QByteArray("[TRANSFORMADORES]\r\nTransformado=1\r\n");
        QTest::newRow("key added at the end of its section, before the blank line")
            << QByteArray("[Transformadores]\r\nOtro=3\r\n\r\n[Horvex]\r\nA=1\r\n")
            << QByteArray("1")
            << QByteArray(
                   "[Transformadores]\r\nOtro=3\r\nTransformado=1\r\n\r\n[Horvex]\r\nA=1\r\n");
        QTest::newRow("LF-only file stays LF")
            << QByteArray("[Horvex]\nA=1\n") << QByteArray("1")
            << QByteArray("[Horvex]\nA=1\n[Transformadores]\nTransformado=1\n");
        QTest::newRow("commented key is not the key")
            << QByteArray("[Transformadores]\r\n;Transformado=5\r\n") << QByteArray("1")
            << QByteArray("[Transformadores]\r\n;Transformado=5\r\nTransformado=1\r\n");
        QTest::newRow("only the first section of that name")
            << QByteArray(
                   "[Transformadores]\r\nTransformado=0\r\n[Transformadores]\r\nTransformado=0\r\n")
            << QByteArray("1")
            << QByteArray("[Transformadores]\r\nTransformado=1\r\n[Transformadores]"
                          "\r\nTransformado=0\r\n");
        QTest::newRow("8-bit bytes of other lines untouched")
            << QByteArray("[Horvex]\r\nCentro=Val\xE8ncia\r\n") << QByteArray("1")
            << QByteArray(
                   "[Horvex]\r\nCentro=Val\xE8ncia\r\n[Transformadores]\r\nTransformado=1\r\n");
    }

    void editing() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        const std::string result = app::setIniValue(before.toStdString(), "Transformadores",
                                                    "Transformado", value.toStdString());
        QCOMPARE(QByteArray::fromStdString(result), after);
    }

    void writeCreatesAndKeeps() {
        testing::TempDir dir;
        const auto ini = dir / "Horvex.ini";
        app::writeIniValue(ini, "Transformadores", "Transformado", "-1");
        QCOMPARE(readAll(ini), std::string("[Transformadores]\r\nTransformado=-1\r\n"));

        dir.write("Horvex.ini", "[Horvex]\r\nRuta=C:\\HORVEX\r\n[Transformadores]\r\n"
                                "Transformado=0\r\nOtro=x\r\n");
        app::writeIniValue(ini, "Transformadores", "Transformado", "1");
        QCOMPARE(readAll(ini), std::string("[Horvex]\r\nRuta=C:\\HORVEX\r\n[Transformadores]\r\n"
                                           "Transformado=1\r\nOtro=x\r\n"));
        // No temporary file is left beside it.
        int files = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
            ++files;
        QCOMPARE(files, 1);
    }

    void unwritableFolder() {
        testing::TempDir dir;
        const auto ini = dir / "no-such-folder" / "Horvex.ini";
        try {
            app::writeIniValue(ini, "Transformadores", "Transformado", "1");
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(std::string(e.what()), "Unable to write to " + ini.string());
        }
    }

    void pathIsAFolder() {
        testing::TempDir dir;
        std::filesystem::create_directory(dir / "Horvex.ini");
        QVERIFY_THROWS_EXCEPTION(
            Error, app::writeIniValue(dir / "Horvex.ini", "Transformadores", "Transformado", "1"));
    }

    void readOnlyFolderWithWritableFile() {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        testing::TempDir dir;
        const auto ini = dir.write("Horvex.ini", "[Horvex]\r\nA=1\r\n");
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        app::writeIniValue(ini, "Transformadores", "Transformado", "1");
        QCOMPARE(readAll(ini),
                 std::string("[Horvex]\r\nA=1\r\n[Transformadores]\r\nTransformado=1\r\n"));
    }

    void writesThroughALink() {
        testing::TempDir dir;
        const auto real = dir.write("real.ini", "[Horvex]\r\nA=1\r\n");
        std::filesystem::create_symlink(real, dir / "Horvex.ini");
        app::writeIniValue(dir / "Horvex.ini", "Transformadores", "Transformado", "1");
        QVERIFY(std::filesystem::is_symlink(dir / "Horvex.ini"));
        QCOMPARE(readAll(real),
                 std::string("[Horvex]\r\nA=1\r\n[Transformadores]\r\nTransformado=1\r\n"));
    }
};

QTEST_GUILESS_MAIN(TstHorvexIni)
#include "tst_horvexini.moc"
