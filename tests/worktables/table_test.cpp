#include "test_support.h"
#include "text/error.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmira::worktables {
namespace {

using test::fixture;
using test::readBytes;
using test::ScratchFolder;
using test::workFolder;
using test::writeBytes;
using ::testing::HasSubstr;

FieldSpec text(const char* name, int width) {
    return {name, FieldType::Text, width};
}
FieldSpec logical(const char* name) {
    return {name, FieldType::Logical, 0};
}
FieldSpec integer(const char* name) {
    return {name, FieldType::Integer, 0};
}
FieldSpec number(const char* name) {
    return {name, FieldType::Float, 0};
}

// The seven work tables as the export run creates them.
struct NamedSchema {
    const char* table;
    Schema schema;
};

const std::vector<NamedSchema>& workTables() {
    static const std::vector<NamedSchema> tables = {
        {"ASIGNOMT",
         {text("COD", 10), text("CODLARGO", 10), text("NOMBRE", 80), text("MATERIA", 8),
          text("CODTAREA", 12), logical("ESTAREA"), text("ABREV_ITACA", 10)}},
        {"PROFT",
         {text("ABREV", 10), text("NOMBRE", 80), text("DEPART", 40), text("DNI", 14),
          text("X_EMPLEADO", 10), text("F_TOMAPOS", 10), text("ENSENANZA", 5)}},
        {"AULAT",
         {text("ABREV", 10), text("NOMBRE", 80), text("EDIFICIO", 1), integer("MAXALUM"),
          text("DEPCENTRO", 10), text("ABREV_ITACA", 10)}},
        {"CURSOST",
         {text("ABREV", 3), text("TURNO", 1), text("NIVEL", 5), text("CURSO", 3), text("CLAVE", 10),
          text("ESTUD", 40)}},
        {"GRUPOST",
         {text("ABREV", 10), text("TURNO", 1), text("NIVEL", 5), text("CURSO", 3), text("GRUPO", 2),
          text("CLAVE", 10), text("CLAVECURSO", 10), text("DESCRIP", 80), text("ENSENANZA", 10),
          text("TUTOR", 10)}},
        {"ASIGT",
         {text("CASIG", 10), text("CPROF", 10), text("CGRUP", 10), text("CAULA", 10),
          text("TURNO", 1), text("NIVEL", 5), text("CURSO", 3), text("GRUPO", 2), number("HORAS"),
          text("SESIONES", 20), text("CLAVE", 10), text("CLAVECURSO", 10), text("CTAREA", 10),
          text("ASIG_ITACA", 10)}},
        {"DIASHORAST",
         {text("DIHO", 10), text("CODDIHO", 10), text("DIA", 20), text("TEXTODIA", 20),
          text("HORA", 8), text("TEXTOHOR", 15), text("HORADESDE", 8), text("HORAHASTA", 8),
          text("MINUTOS", 8), integer("SESION_ORDEN"), text("PLANTILLA", 20)}},
    };
    return tables;
}

char letterOf(FieldType t) {
    switch (t) {
    case FieldType::Text:
        return 'C';
    case FieldType::Logical:
        return 'L';
    case FieldType::Integer:
        return 'I';
    case FieldType::Float:
        return 'O';
    }
    return '?';
}

int lengthOf(const FieldSpec& f) {
    switch (f.type) {
    case FieldType::Text:
        return f.width;
    case FieldType::Logical:
        return 1;
    case FieldType::Integer:
        return 4;
    case FieldType::Float:
        return 8;
    }
    return 0;
}

// A value that fills the field: a full-width text with an accented letter, or a number.
std::string fullText(const FieldSpec& f, int row) {
    std::string s = std::string(1, static_cast<char>('A' + row)) + "\xE9"; // "Aé"
    while (static_cast<int>(s.size()) < f.width)
        s += static_cast<char>('a' + (s.size() % 26));
    return s.substr(0, static_cast<std::size_t>(f.width));
}

TEST(WorkTableSchemas, RoundTripEverySchemaWithExactLayout) {
    for (const auto& [name, schema] : workTables()) {
        SCOPED_TRACE(name);
        ScratchFolder dir;
        {
            auto t = Table::rebuild(workFolder(dir), name, schema);
            for (int row = 0; row < 2; ++row) {
                t.append();
                for (const auto& f : schema) {
                    switch (f.type) {
                    case FieldType::Text:
                        t.setText(f.name, fullText(f, row));
                        break;
                    case FieldType::Logical:
                        t.setLogical(f.name, row == 0);
                        break;
                    case FieldType::Integer:
                        t.setInteger(f.name, row == 0 ? 42 : -7);
                        break;
                    case FieldType::Float:
                        t.setNumber(f.name, row == 0 ? 4 : 2.5);
                        break;
                    }
                }
                t.post();
            }
            t.append(); // a third row left blank
            t.post();
            t.close();
        }
        const fs::path file = dir / (std::string(name) + ".DBF");
        ASSERT_TRUE(fs::exists(file));

        const auto bytes = readBytes(file);
        const std::size_t headerLength = 68 + 48 * schema.size() + 1;
        std::size_t recordLength = 1;
        for (const auto& f : schema)
            recordLength += static_cast<std::size_t>(lengthOf(f));
        ASSERT_EQ(bytes.size(), headerLength + 3 * recordLength + 1);
        EXPECT_EQ(bytes[0], 0x04);
        EXPECT_EQ(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24, 3);
        EXPECT_EQ(static_cast<std::size_t>(bytes[8] | bytes[9] << 8), headerLength);
        EXPECT_EQ(static_cast<std::size_t>(bytes[10] | bytes[11] << 8), recordLength);
        EXPECT_EQ(bytes[headerLength - 1], 0x0D);
        EXPECT_EQ(bytes.back(), 0x1A);
        for (std::size_t i = 0; i < schema.size(); ++i) {
            const unsigned char* d = bytes.data() + 68 + 48 * i;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(d)), schema[i].name);
            EXPECT_EQ(d[32], letterOf(schema[i].type));
            EXPECT_EQ(d[33], lengthOf(schema[i]));
            EXPECT_EQ(d[34], 0);
        }

        auto t = Table::open(workFolder(dir), name);
        ASSERT_EQ(t.fields().size(), schema.size());
        for (std::size_t i = 0; i < schema.size(); ++i) {
            EXPECT_EQ(t.fields()[i].name, schema[i].name);
            EXPECT_EQ(t.fields()[i].type, letterOf(schema[i].type));
            EXPECT_EQ(t.fields()[i].length, lengthOf(schema[i]));
        }
        ASSERT_EQ(t.recordCount(), 3u);
        ASSERT_TRUE(t.first());
        for (int row = 0; row < 3; ++row) {
            ASSERT_FALSE(t.eof());
            EXPECT_EQ(t.recNo(), static_cast<std::uint32_t>(row + 1));
            for (const auto& f : schema) {
                SCOPED_TRACE(f.name);
                if (row == 2) {
                    EXPECT_TRUE(t.isBlank(f.name));
                    EXPECT_EQ(t.text(f.name), "");
                    continue;
                }
                switch (f.type) {
                case FieldType::Text:
                    EXPECT_EQ(t.text(f.name), fullText(f, row));
                    break;
                case FieldType::Logical:
                    EXPECT_EQ(t.logical(f.name), row == 0);
                    EXPECT_EQ(t.text(f.name), row == 0 ? "T" : "F");
                    break;
                case FieldType::Integer:
                    EXPECT_EQ(t.integer(f.name), row == 0 ? 42 : -7);
                    EXPECT_EQ(t.text(f.name), row == 0 ? "42" : "-7");
                    break;
                case FieldType::Float:
                    EXPECT_EQ(t.number(f.name), row == 0 ? 4 : 2.5);
                    EXPECT_EQ(t.text(f.name), row == 0 ? "4" : "2.5");
                    break;
                }
            }
            t.next();
        }
        EXPECT_TRUE(t.eof());
    }
}

// Bytes written by hand from the level-7 layout: header, descriptors, terminator, records.
TEST(Level7Bytes, MatchHandWrittenFile) {
    ScratchFolder dir;
    {
        auto t = Table::rebuild(workFolder(dir), "bytes",
                                {text("NOMBRE", 4), logical("OK"), integer("N"), number("F")});
        t.append();
        t.setText("NOMBRE", "Jos\xE9");
        t.setLogical("OK", true);
        t.setInteger("N", 3);
        t.setNumber("F", 3.5);
        t.post();
        t.append();
        t.setText("NOMBRE", "ab");
        t.setLogical("OK", false);
        t.setInteger("N", -1);
        t.setNumber("F", -2);
        t.post();
        t.append(); // blank
        t.post();
        t.close();
    }
    std::vector<unsigned char> expected(68, 0);
    expected[0] = 0x04;
    expected[4] = 3;    // records
    expected[8] = 0x05; // header length 68 + 4 x 48 + 1 = 261 = 0x0105
    expected[9] = 0x01;
    expected[10] = 1 + 4 + 1 + 4 + 8; // record length
    expected[29] = 0x57;
    std::memcpy(expected.data() + 32, "DBWINWE0", 8);
    auto descriptor = [&](const char* name, char type, unsigned char length) {
        std::vector<unsigned char> d(48, 0);
        std::memcpy(d.data(), name, std::strlen(name));
        d[32] = static_cast<unsigned char>(type);
        d[33] = length;
        expected.insert(expected.end(), d.begin(), d.end());
    };
    descriptor("NOMBRE", 'C', 4);
    descriptor("OK", 'L', 1);
    descriptor("N", 'I', 4);
    descriptor("F", 'O', 8);
    expected.push_back(0x0D);
    const std::vector<unsigned char> records = {
        // live, "José", T, 3 -> 80 00 00 03, 3.5 = 40 0C 00.. with the sign bit set
        0x20, 'J', 'o', 's', 0xE9, 'T', 0x80, 0x00, 0x00, 0x03, //
        0xC0, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,         //
        // live, "ab  ", F, -1 -> 7F FF FF FF, -2 = C0 00.. with every bit inverted
        0x20, 'a', 'b', ' ', ' ', 'F', 0x7F, 0xFF, 0xFF, 0xFF, //
        0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,        //
        // live, blank: text blanks, logical blank, integer and float all zero
        0x20, ' ', ' ', ' ', ' ', ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, //
        0x1A};
    expected.insert(expected.end(), records.begin(), records.end());

    auto actual = readBytes(dir / "BYTES.DBF");
    ASSERT_EQ(actual.size(), expected.size());
    // The date of last update is today's.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(actual[1], local.tm_year);
    EXPECT_EQ(actual[2], local.tm_mon + 1);
    EXPECT_EQ(actual[3], local.tm_mday);
    actual[1] = actual[2] = actual[3] = 0;
    EXPECT_EQ(actual, expected);
}

TEST(Level7Bytes, RebuildLeavesAValidEmptyTableAtOnce) {
    ScratchFolder dir;
    auto t = Table::rebuild(workFolder(dir), "Proft", {text("ABREV", 10), integer("N")});
    EXPECT_EQ(t.name(), "Proft");
    EXPECT_EQ(t.path(), dir / "PROFT.DBF");
    const auto bytes = readBytes(dir / "PROFT.DBF");
    ASSERT_EQ(bytes.size(), 68u + 2 * 48 + 1 + 1);
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[4], 0);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(t.recordCount(), 0u);
    EXPECT_FALSE(t.first());
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recNo(), 0u);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"PROFT.DBF"});
}

TEST(Level7Bytes, NegativeAndExtremeNumbersRoundTrip) {
    ScratchFolder dir;
    const std::vector<double> floats = {0.0, -0.0, 1e-300, -1e300, 0.1, -123456.789, 4};
    const std::vector<std::int32_t> ints = {0, 1, -1, 2147483647, -2147483647, 100000};
    {
        auto t = Table::rebuild(workFolder(dir), "NUMS", {integer("I"), number("O")});
        for (std::size_t i = 0; i < std::max(floats.size(), ints.size()); ++i) {
            t.append();
            if (i < ints.size())
                t.setInteger("I", ints[i]);
            if (i < floats.size())
                t.setNumber("O", floats[i]);
            t.post();
        }
    }
    auto t = Table::open(workFolder(dir), "NUMS");
    std::size_t i = 0;
    for (bool more = t.first(); more; more = t.next(), ++i) {
        if (i < ints.size()) {
            EXPECT_FALSE(t.isBlank("I"));
            EXPECT_EQ(t.integer("I"), ints[i]);
        }
        if (i < floats.size()) {
            EXPECT_FALSE(t.isBlank("O"));
            EXPECT_EQ(t.number("O"), floats[i]);
        }
    }
    EXPECT_EQ(i, 7u);
}

TEST(FieldAccess, TextIsCutToItsWidthAndReadWithoutTrailingBlanks) {
    ScratchFolder dir;
    auto t = Table::rebuild(workFolder(dir), "CURSOST", {text("CURSO", 3), text("ESTUD", 40)});
    t.append();
    t.setText("CURSO", "1ESO A");
    t.setText("ESTUD", "  con blancos  ");
    EXPECT_EQ(t.text("CURSO"), "1ES"); // readable in the edit buffer
    t.post();
    t.close();
    auto r = Table::open(workFolder(dir), "CURSOST");
    EXPECT_EQ(r.text("CURSO"), "1ES");
    EXPECT_EQ(r.text("ESTUD"), "  con blancos"); // leading blanks stay
}

TEST(FieldAccess, NumbersAsTextAndRounding) {
    ScratchFolder dir;
    auto t = Table::rebuild(workFolder(dir), "T", {number("F"), integer("I"), text("C", 10)});
    t.append();
    EXPECT_EQ(t.text("F"), ""); // never set
    EXPECT_EQ(t.text("I"), "");
    EXPECT_EQ(t.integer("F"), 0);
    EXPECT_EQ(t.number("I"), 0);
    t.setNumber("F", 3);
    EXPECT_EQ(t.text("F"), "3");
    t.setNumber("F", 3.5);
    EXPECT_EQ(t.text("F"), "3.5");
    EXPECT_EQ(t.integer("F"), 4);
    t.setNumber("F", 2.4);
    EXPECT_EQ(t.integer("F"), 2);
    t.setNumber("F", -2.6);
    EXPECT_EQ(t.integer("F"), -3);
    t.setNumber("F", 1e20);
    EXPECT_EQ(t.text("F"), "100000000000000000000");
    EXPECT_THROW(t.integer("F"), Error); // does not fit
    t.setNumber("I", 6.5);
    EXPECT_EQ(t.integer("I"), 7);
    t.setText("I", "12");
    EXPECT_EQ(t.integer("I"), 12);
    t.setText("I", "");
    EXPECT_TRUE(t.isBlank("I"));
    EXPECT_THROW(t.setText("I", "doce"), Error);
    // a text field read as a number
    t.setText("C", " 42");
    EXPECT_EQ(t.integer("C"), 42);
    EXPECT_EQ(t.number("C"), 42);
    t.setText("C", "4x");
    EXPECT_THROW(t.integer("C"), Error);
    t.setText("C", "");
    EXPECT_EQ(t.integer("C"), 0);
    EXPECT_THROW(t.setNumber("F", std::nan("")), Error);
    t.post();
}

TEST(FieldAccess, MissingFieldNamesTableAndField) {
    ScratchFolder dir;
    auto t = Table::rebuild(workFolder(dir), "PROFT", {text("ABREV", 10)});
    EXPECT_TRUE(t.hasField("ABREV"));
    EXPECT_TRUE(t.hasField("abrev")); // dBase field names ignore case
    EXPECT_FALSE(t.hasField("DNI"));
    t.append();
    const auto expectMessage = [](auto&& call) {
        try {
            call();
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr("PROFT"));
            EXPECT_THAT(e.what(), HasSubstr("DNI"));
        }
    };
    expectMessage([&] { t.setText("DNI", "x"); });
    expectMessage([&] { (void)t.text("DNI"); });
    expectMessage([&] { (void)t.integer("DNI"); });
    expectMessage([&] { t.locate({{"DNI", "x"}}); });
}

TEST(FieldAccess, SettingOutsideAnEditIsRefused) {
    ScratchFolder dir;
    auto t = Table::rebuild(workFolder(dir), "T", {text("A", 2)});
    EXPECT_THROW(t.setText("A", "x"), Error);
    EXPECT_THROW(t.edit(), Error); // no current record
    EXPECT_THROW(t.deleteRecord(), Error);
    EXPECT_THROW(t.go(1), Error);
}

// Builds a table with rows "r1".."rN" in field A.
Table tableWithRows(const ScratchFolder& dir, int rows) {
    auto t = Table::rebuild(workFolder(dir), "ROWS", {text("A", 5), integer("N")});
    for (int i = 1; i <= rows; ++i) {
        t.append();
        t.setText("A", "r" + std::to_string(i));
        t.setInteger("N", i);
        t.post();
    }
    return t;
}

std::vector<std::string> walk(Table& t) {
    std::vector<std::string> seen;
    for (bool more = t.first(); more; more = t.next())
        seen.push_back(t.text("A") + "@" + std::to_string(t.recNo()));
    return seen;
}

TEST(Cursor, WalkSkipsDeletedRecordsAndPackRenumbers) {
    ScratchFolder dir;
    auto t = tableWithRows(dir, 5);
    EXPECT_EQ(t.recNo(), 5u); // the appended record is current
    t.go(2);
    t.deleteRecord();
    EXPECT_TRUE(t.isDeleted());
    EXPECT_EQ(t.recNo(), 2u);
    EXPECT_TRUE(t.next()); // goes on after the deleted record
    EXPECT_EQ(t.text("A"), "r3");
    t.go(5);
    t.deleteRecord();
    EXPECT_EQ(walk(t), (std::vector<std::string>{"r1@1", "r3@3", "r4@4"}));
    t.go(2); // a deleted record can be reached directly
    EXPECT_TRUE(t.isDeleted());
    EXPECT_EQ(t.text("A"), "r2");
    EXPECT_EQ(t.recordCount(), 5u);

    t.pack();
    EXPECT_EQ(t.recordCount(), 3u);
    EXPECT_EQ(t.recNo(), 1u);
    EXPECT_EQ(walk(t), (std::vector<std::string>{"r1@1", "r3@2", "r4@3"}));
    // pack wrote the file at once
    EXPECT_EQ(readBytes(dir / "ROWS.DBF").size(), 68u + 2 * 48 + 1 + 3 * 10 + 1);
    t.close();
    auto r = Table::open(workFolder(dir), "ROWS");
    EXPECT_EQ(walk(r), (std::vector<std::string>{"r1@1", "r3@2", "r4@3"}));
}

TEST(Cursor, EditPostAndCancel) {
    ScratchFolder dir;
    auto t = tableWithRows(dir, 3);
    t.go(2);
    t.edit();
    t.setText("A", "dos");
    t.cancel();
    EXPECT_EQ(t.text("A"), "r2");
    t.edit();
    t.setText("A", "dos");
    t.post();
    EXPECT_EQ(t.text("A"), "dos");
    t.edit();
    t.setText("A", "DOS");
    t.next(); // moving posts the pending edit
    t.go(2);
    EXPECT_EQ(t.text("A"), "DOS");
    t.append();
    t.setText("A", "never");
    t.close(); // an unposted record is dropped
    auto r = Table::open(workFolder(dir), "ROWS");
    EXPECT_EQ(r.recordCount(), 3u);
    r.go(2);
    EXPECT_EQ(r.text("A"), "DOS");
}

TEST(Cursor, DeletesSurviveClosing) {
    ScratchFolder dir;
    {
        auto t = tableWithRows(dir, 3);
        t.go(1);
        t.deleteRecord();
    } // the destructor writes
    const auto bytes = readBytes(dir / "ROWS.DBF");
    EXPECT_EQ(bytes[68 + 2 * 48 + 1], '*');
    auto r = Table::open(workFolder(dir), "ROWS");
    EXPECT_EQ(r.recordCount(), 3u);
    EXPECT_EQ(walk(r), (std::vector<std::string>{"r2@2", "r3@3"}));
}

TEST(Locate, SeveralFieldsEmptyValuesAndChanges) {
    ScratchFolder dir;
    auto t = Table::rebuild(
        workFolder(dir), "ASIGT",
        {text("CLAVE", 10), text("CURSO", 3), text("CPROF", 10), integer("N"), number("H")});
    const auto add = [&](const char* clave, const char* curso, const char* prof, int n) {
        t.append();
        t.setText("CLAVE", clave);
        t.setText("CURSO", curso);
        if (*prof)
            t.setText("CPROF", prof);
        t.setInteger("N", n);
        t.setNumber("H", n + 0.5);
        t.post();
    };
    add("1A", "1", "ANA", 1);  // 1
    add("1A", "2", "", 2);     // 2
    add("1B", "1", "LUIS", 3); // 3
    add("1A", "2", "PEPE", 4); // 4
    EXPECT_TRUE(t.locate({{"CLAVE", "1A"}, {"CURSO", "2"}}));
    EXPECT_EQ(t.recNo(), 2u);
    EXPECT_TRUE(t.locate({{"CURSO", "2"}, {"CLAVE", "1A"}})); // order of the criteria is free
    EXPECT_EQ(t.recNo(), 2u);
    EXPECT_TRUE(t.locate({{"CPROF", ""}}));
    EXPECT_EQ(t.recNo(), 2u);
    EXPECT_TRUE(t.locate({{"N", "3"}}));
    EXPECT_EQ(t.recNo(), 3u);
    EXPECT_TRUE(t.locate({{"H", "4.5"}}));
    EXPECT_EQ(t.recNo(), 4u);
    EXPECT_FALSE(t.locate({{"N", "3.0"}}));    // text forms, exactly
    EXPECT_FALSE(t.locate({{"CLAVE", "1a"}})); // case-sensitive
    EXPECT_FALSE(t.locate({{"CLAVE", "1"}}));  // whole value
    EXPECT_FALSE(t.locate({{"CLAVE", "1A "}}));
    EXPECT_EQ(t.recNo(), 4u); // a failed lookup leaves the cursor

    t.go(2);
    t.edit();
    t.setText("CPROF", "MARIA");
    t.post();
    EXPECT_FALSE(t.locate({{"CPROF", ""}}));
    EXPECT_TRUE(t.locate({{"CPROF", "MARIA"}, {"CLAVE", "1A"}}));
    EXPECT_EQ(t.recNo(), 2u);
    t.deleteRecord();
    EXPECT_TRUE(t.locate({{"CLAVE", "1A"}, {"CURSO", "2"}}));
    EXPECT_EQ(t.recNo(), 4u);
    add("9Z", "2", "", 5); // 5
    EXPECT_TRUE(t.locate({{"CPROF", ""}}));
    EXPECT_EQ(t.recNo(), 5u);
    t.go(1);
    t.deleteRecord();
    t.pack(); // 3, 4, 5 become 1, 2, 3
    EXPECT_TRUE(t.locate({{"CLAVE", "9Z"}}));
    EXPECT_EQ(t.recNo(), 3u);
    EXPECT_TRUE(t.locate({{"CLAVE", "1A"}, {"CURSO", "2"}}));
    EXPECT_EQ(t.recNo(), 2u);
    EXPECT_FALSE(t.locate({{"CLAVE", "1A"}, {"CLAVE", "1B"}}));
}

TEST(Exclusive, SecondOpenInTheSameProcessIsRefused) {
    ScratchFolder dir;
    auto t = tableWithRows(dir, 1);
    try {
        auto again = Table::open(workFolder(dir), "ROWS");
        FAIL() << "opened twice";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "No se puede abrir la tabla " +
                                             (dir / "ROWS.DBF").string() +
                                             ": está en uso por otro programa");
    }
    EXPECT_THROW(Table::rebuild(workFolder(dir), "ROWS", {text("A", 1)}), Error);
    t.close();
    EXPECT_NO_THROW(Table::open(workFolder(dir), "ROWS"));
}

// Runs `body` in a child process; its result is the child's exit status.
template <class F> int inChild(F body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
            status = 98;
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int tryOpen(const WorkFolder& folder) {
    try {
        Table::open(folder, "ROWS");
        return 0;
    } catch (const Error& e) {
        return std::string(e.what()).find("está en uso por otro programa") != std::string::npos ? 1
                                                                                                : 2;
    }
}

TEST(Exclusive, AnotherProcessIsRefusedWhileTheTableIsHeld) {
    ScratchFolder dir;
    const WorkFolder folder = workFolder(dir);
    auto t = tableWithRows(dir, 3);
    EXPECT_EQ(inChild([&] { return tryOpen(folder); }), 1);
    // Saving replaces the file; the lock moves with it.
    t.go(1);
    t.deleteRecord();
    t.pack();
    EXPECT_EQ(inChild([&] { return tryOpen(folder); }), 1);
    t.close();
    EXPECT_EQ(inChild([&] { return tryOpen(folder); }), 0);
    // And the other way round: the child holds it while the parent tries.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 0;
        try {
            auto held = Table::open(folder, "ROWS");
            char c = 'x';
            (void)!::write(pipeFds[1], &c, 1);
            (void)!::read(release[0], &c, 1);
        } catch (...) {
            status = 1;
        }
        ::_exit(status);
    }
    char c = 0;
    ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
    EXPECT_EQ(tryOpen(folder), 1);
    (void)!::write(release[1], &c, 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(tryOpen(folder), 0);
    for (int fd : {pipeFds[0], pipeFds[1], release[0], release[1]})
        ::close(fd);
}

TEST(Files, OnlyChangedTablesAreRewritten) {
    ScratchFolder dir;
    tableWithRows(dir, 2).close();
    struct stat before {};
    ASSERT_EQ(::stat((dir / "ROWS.DBF").c_str(), &before), 0);
    {
        auto t = Table::open(workFolder(dir), "ROWS");
        walk(t);
        (void)t.locate({{"A", "r2"}});
        t.pack(); // nothing to compact
    }
    struct stat after {};
    ASSERT_EQ(::stat((dir / "ROWS.DBF").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    {
        auto t = Table::open(workFolder(dir), "ROWS");
        t.append();
        t.post();
    }
    ASSERT_EQ(::stat((dir / "ROWS.DBF").c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino); // replaced by a new file
    EXPECT_EQ(dir.names(), std::vector<std::string>{"ROWS.DBF"});
}

TEST(Files, FailedSaveReportsAndLeavesNoTemporaryFile) {
    ScratchFolder dir;
    fs::create_directory(dir / "HTEMP");
    const WorkFolder folder(dir / "HTEMP");
    auto t = Table::rebuild(folder, "ROWS", {text("A", 3)});
    t.append();
    t.setText("A", "x");
    t.post();
    fs::rename(dir / "HTEMP", dir / "MOVED"); // the folder vanishes under the open table
    try {
        t.close();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("No se puede guardar la tabla"));
        EXPECT_THAT(e.what(), HasSubstr("ROWS.DBF"));
    }
    EXPECT_TRUE(t.isOpen()); // nothing lost: the records are still there
    fs::rename(dir / "MOVED", dir / "HTEMP");
    t.close(); // and can be saved once the folder is back
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir / "HTEMP"))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"ROWS.DBF"});
    auto r = Table::open(folder, "ROWS");
    EXPECT_EQ(r.text("A"), "x");
}

TEST(Files, ReadOnlyFolderIsReported) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    ScratchFolder dir;
    tableWithRows(dir, 1).close();
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    auto t = Table::open(workFolder(dir), "ROWS"); // reading still works
    EXPECT_EQ(t.text("A"), "r1");
    t.edit();
    t.setText("A", "x");
    t.post();
    try {
        t.close();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("no se puede escribir en la carpeta"));
    }
    EXPECT_THROW(Table::rebuild(workFolder(dir), "NEW", {text("A", 1)}), Error);
}

TEST(Files, MissingTableAndMissingFolder) {
    ScratchFolder dir;
    try {
        Table::open(workFolder(dir), "PROFT");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "No se puede abrir la tabla " + (dir / "PROFT.DBF").string() + ": no existe");
    }
    const WorkFolder missing(dir / "HTEMP");
    try {
        Table::rebuild(missing, "PROFT", {text("A", 1)});
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("no existe la carpeta"));
    }
    EXPECT_FALSE(fs::exists(dir / "HTEMP")); // the folder is never created
}

TEST(Rebuild, RemovesOldFilesInAnyLetterCase) {
    ScratchFolder dir;
    writeBytes(dir / "Asignomt.mdx", {1, 2, 3});
    writeBytes(dir / "asignomt.dbf", {4, 5, 6}); // even a damaged old table goes
    writeBytes(dir / "OTRA.MDX", {7});
    auto t = Table::rebuild(workFolder(dir), "ASIGNOMT", {text("COD", 10)});
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"ASIGNOMT.DBF", "OTRA.MDX"}));
    t.close();
    auto r = Table::open(workFolder(dir), "asignomt");
    EXPECT_EQ(r.recordCount(), 0u);
}

TEST(Rebuild, ReplacesAnExistingTable) {
    ScratchFolder dir;
    tableWithRows(dir, 4).close();
    auto t = Table::rebuild(workFolder(dir), "ROWS", {integer("X")});
    EXPECT_EQ(t.recordCount(), 0u);
    t.close();
    auto r = Table::open(workFolder(dir), "ROWS");
    EXPECT_EQ(r.fields().size(), 1u);
    EXPECT_EQ(r.fields()[0].name, "X");
}

TEST(Rebuild, RefusesSchemasDBaseCannotHold) {
    ScratchFolder dir;
    EXPECT_THROW(Table::rebuild(workFolder(dir), "T", {}), Error);
    EXPECT_THROW(Table::rebuild(workFolder(dir), "T", {text("A", 0)}), Error);
    EXPECT_THROW(Table::rebuild(workFolder(dir), "T", {text("A", 255)}), Error);
    EXPECT_THROW(Table::rebuild(workFolder(dir), "T", {text("A", 1), text("a", 1)}), Error);
    EXPECT_THROW(
        Table::rebuild(workFolder(dir), "T", {text("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 1)}), Error);
    EXPECT_THROW(Table::rebuild(workFolder(dir), "../T", {text("A", 1)}), Error);
    EXPECT_TRUE(dir.names().empty());
    // 31 characters is the longest name
    EXPECT_NO_THROW(
        Table::rebuild(workFolder(dir), "T", {text("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", 1)}));
}

// ---- tables made by another tool (python3-dbf, see data/README.md) ----

TEST(ForeignTables, DBaseThree) {
    ScratchFolder dir;
    fs::copy_file(fixture("db3_types.dbf"), dir / "db3_types.dbf");
    auto t = Table::open(workFolder(dir), "DB3_TYPES");
    ASSERT_EQ(t.fields().size(), 6u);
    EXPECT_EQ(t.fields()[2].name, "PRICE");
    EXPECT_EQ(t.fields()[2].type, 'N');
    EXPECT_EQ(t.fields()[2].length, 8);
    EXPECT_EQ(t.fields()[2].decimals, 2);
    EXPECT_EQ(t.recordCount(), 5u);

    ASSERT_TRUE(t.first());
    EXPECT_EQ(t.text("NAME"), "Ana");
    EXPECT_EQ(t.text("QTY"), "3");
    EXPECT_EQ(t.integer("QTY"), 3);
    EXPECT_EQ(t.text("PRICE"), "3.5");
    EXPECT_EQ(t.number("PRICE"), 3.5);
    EXPECT_EQ(t.text("RATIO"), "0.125");
    EXPECT_TRUE(t.logical("ACTIVE"));
    EXPECT_EQ(t.text("ACTIVE"), "T");
    EXPECT_EQ(t.text("BORN"), "20010203");

    ASSERT_TRUE(t.next());
    EXPECT_EQ(t.text("NAME"), "Jos\xE9");
    EXPECT_EQ(t.integer("QTY"), -12);
    EXPECT_EQ(t.text("PRICE"), "-0.25");
    EXPECT_TRUE(t.isBlank("RATIO"));
    EXPECT_EQ(t.text("ACTIVE"), "F");
    EXPECT_TRUE(t.isBlank("BORN"));

    ASSERT_TRUE(t.next()); // every field blank
    for (const auto& f : t.fields()) {
        EXPECT_TRUE(t.isBlank(f.name)) << f.name;
        EXPECT_EQ(t.text(f.name), "") << f.name;
    }
    EXPECT_FALSE(t.logical("ACTIVE")); // "?" is not set
    EXPECT_EQ(t.integer("QTY"), 0);

    ASSERT_TRUE(t.next()); // record 4 is deleted
    EXPECT_EQ(t.recNo(), 5u);
    EXPECT_EQ(t.text("NAME"), "\xDAltimo");
    EXPECT_EQ(t.text("PRICE"), "1234.56");
    EXPECT_FALSE(t.next());

    EXPECT_TRUE(t.locate({{"QTY", "100"}}));
    EXPECT_EQ(t.recNo(), 5u);
    EXPECT_FALSE(t.locate({{"NAME", "Borrado"}}));
    t.go(4);
    EXPECT_TRUE(t.isDeleted());
    EXPECT_EQ(t.text("NAME"), "Borrado");

    // Pelmira writes level 7 only.
    EXPECT_THROW(t.append(), Error);
    EXPECT_THROW(t.deleteRecord(), Error);
    t.close();
    EXPECT_EQ(readBytes(dir / "db3_types.dbf"), readBytes(fixture("db3_types.dbf")));
}

TEST(ForeignTables, VisualFoxPro) {
    auto t = Table::openFile(fixture("vfp_types.dbf"));
    EXPECT_EQ(t.name(), "vfp_types");
    ASSERT_EQ(t.fields().size(), 8u);
    ASSERT_TRUE(t.first());
    EXPECT_EQ(t.text("NAME"), "Ana");
    EXPECT_EQ(t.integer("CNT"), 3);
    EXPECT_EQ(t.text("CNT"), "3");
    EXPECT_EQ(t.number("RATE"), 3.5);
    EXPECT_EQ(t.text("MONEY"), "12.34");
    EXPECT_EQ(t.text("STAMP"), "20200506070809");
    EXPECT_TRUE(t.logical("ACTIVE"));
    EXPECT_EQ(t.text("BORN"), "20010203");
    EXPECT_EQ(t.text("QTY"), "2.5");
    ASSERT_TRUE(t.next());
    EXPECT_EQ(t.text("NAME"), "N\xFAria");
    EXPECT_EQ(t.integer("CNT"), -7);
    EXPECT_EQ(t.text("RATE"), "-1.25");
    EXPECT_EQ(t.number("MONEY"), -1);
    EXPECT_TRUE(t.isBlank("STAMP"));
    EXPECT_EQ(t.text("STAMP"), "");
    EXPECT_FALSE(t.logical("ACTIVE"));
    EXPECT_TRUE(t.isBlank("QTY"));
    EXPECT_FALSE(t.next());
    EXPECT_TRUE(t.locate({{"CNT", "-7"}, {"NAME", "N\xFAria"}}));
    EXPECT_EQ(t.recNo(), 2u);
}

} // namespace
} // namespace pelmira::worktables
