// Damaged and unreadable tables: a clear error naming the file, never a crash nor a guess.

#include "test_support.h"
#include "text/error.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace pelmira::worktables {
namespace {

using test::fixture;
using test::readBytes;
using test::ScratchFolder;
using test::workFolder;
using test::writeBytes;
using ::testing::HasSubstr;

using Bytes = std::vector<unsigned char>;

void putU16(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v & 0xFF);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void putU32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// A level-7 table of two fields (C 5, I 4) and two records: header 68 + 2 x 48 + 1 = 165 bytes,
// records of 10 bytes.
Bytes level7Table() {
    ScratchFolder dir;
    {
        auto t = Table::rebuild(workFolder(dir), "T",
                                {{"NOMBRE", FieldType::Text, 5}, {"N", FieldType::Integer, 0}});
        for (int i = 0; i < 2; ++i) {
            t.append();
            t.setText("NOMBRE", "x");
            t.setInteger("N", i);
            t.post();
        }
    }
    return readBytes(dir / "T.DBF");
}

constexpr std::size_t kHeader = 165;
constexpr std::size_t kFirstDescriptor = 68;
constexpr std::size_t kSecondDescriptor = 68 + 48;

struct DamageCase {
    const char* what;
    std::function<Bytes()> make;
    const char* expected; // part of the message
};

TEST(DamagedTables, AreReportedWithTheFileName) {
    const Bytes good = level7Table();
    ASSERT_EQ(good.size(), kHeader + 2 * 10 + 1);
    const Bytes db3 = readBytes(fixture("db3_types.dbf"));
    const auto changed = [](Bytes b, const std::function<void(Bytes&)>& change) {
        change(b);
        return b;
    };
    const std::vector<DamageCase> cases = {
        {"zero-byte file", [] { return Bytes{}; }, "está vacío"},
        {"unknown version", [&] { return changed(good, [](Bytes& b) { b[0] = 0x99; }); },
         "no es una tabla dBase"},
        {"header cut short", [&] { return Bytes(good.begin(), good.begin() + 40); },
         "cabecera está incompleta"},
        {"dBase III header cut short", [&] { return Bytes(db3.begin(), db3.begin() + 20); },
         "cabecera está incompleta"},
        {"header length past the file",
         [&] { return changed(good, [](Bytes& b) { putU16(b, 8, 4000); }); },
         "más larga que el archivo"},
        {"header length below the minimum",
         [&] { return changed(good, [](Bytes& b) { putU16(b, 8, 40); }); }, "menor que el mínimo"},
        {"header length cutting a descriptor",
         [&] { return changed(good, [](Bytes& b) { putU16(b, 8, kSecondDescriptor + 20); }); },
         "pasa del final de la cabecera"},
        {"no terminator inside the header",
         [&] { return changed(good, [](Bytes& b) { putU16(b, 8, kHeader - 1); }); },
         "no terminan dentro de la cabecera"},
        {"terminator overwritten",
         [&] { return changed(good, [](Bytes& b) { b[kHeader - 1] = 0; }); },
         "pasa del final de la cabecera"},
        {"record length too long",
         [&] { return changed(good, [](Bytes& b) { putU16(b, 10, 11); }); },
         "no es la suma de las longitudes"},
        {"record length too short",
         [&] { return changed(good, [](Bytes& b) { putU16(b, 10, 9); }); },
         "no es la suma de las longitudes"},
        {"more records promised than present",
         [&] { return changed(good, [](Bytes& b) { putU32(b, 4, 3); }); },
         "anuncia 3 registros, pero el archivo solo tiene sitio para 2"},
        {"huge record count",
         [&] { return changed(good, [](Bytes& b) { putU32(b, 4, 0xFFFFFFFF); }); },
         "anuncia 4294967295 registros"},
        {"fewer records promised than present",
         [&] { return changed(good, [](Bytes& b) { putU32(b, 4, 1); }); }, "bytes de más"},
        {"a stray byte after the end mark",
         [&] { return changed(good, [](Bytes& b) { b.push_back(0x1A); }); }, "bytes de más"},
        {"a last byte that is no end mark",
         [&] { return changed(good, [](Bytes& b) { b.back() = 'x'; }); }, "bytes de más"},
        {"unknown field type",
         [&] { return changed(good, [](Bytes& b) { b[kSecondDescriptor + 32] = 'X'; }); },
         "tipo desconocido ('X')"},
        {"integer of the wrong length",
         [&] {
             return changed(good, [](Bytes& b) {
                 b[kSecondDescriptor + 33] = 3;
                 putU16(b, 10, 9);
             });
         },
         "mide 3 bytes en lugar de 4"},
        {"field of length zero",
         [&] {
             return changed(good, [](Bytes& b) {
                 b[kFirstDescriptor + 33] = 0;
                 putU16(b, 10, 5);
             });
         },
         "mide 0 bytes"},
        {"field without a name",
         [&] { return changed(good, [](Bytes& b) { b[kFirstDescriptor] = 0; }); },
         "no tiene nombre"},
        {"no fields",
         [&] {
             return changed(good, [](Bytes& b) {
                 b[kFirstDescriptor] = 0x0D;
                 putU16(b, 10, 1);
             });
         },
         "no tiene campos"},
        {"unknown status byte",
         [&] { return changed(good, [](Bytes& b) { b[kHeader + 10] = 'X'; }); },
         "el registro 2 empieza por una marca desconocida"},
        {"unknown code page", [&] { return changed(good, [](Bytes& b) { b[29] = 0xC8; }); },
         "página de códigos"},
        {"Visual FoxPro without its 263 bytes",
         [&] { return changed(db3, [](Bytes& b) { b[0] = 0x30; }); }, "263"},
        {"dBase III descriptor past the header",
         [&] { return changed(db3, [](Bytes& b) { putU16(b, 8, 32 + 32 * 2 + 10); }); },
         "pasa del final de la cabecera"},
        {"bad number in an N field",
         [&] {
             // QTY of the first dBase III record holds "    3"
             return changed(db3, [](Bytes& b) {
                 const std::size_t header = static_cast<std::size_t>(b[8] | b[9] << 8);
                 b[header + 1 + 10] = 'x';
             });
         },
         "no contiene un número válido"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder dir;
        const fs::path file = dir / "T.DBF";
        writeBytes(file, c.make());
        try {
            auto t = Table::open(workFolder(dir), "T");
            // Damage inside a value shows when the value is read.
            for (bool more = t.first(); more; more = t.next())
                for (const auto& f : t.fields())
                    (void)t.text(f.name);
            ADD_FAILURE() << "opened without an error";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(file.string()));
            EXPECT_THAT(e.what(), HasSubstr(c.expected));
        }
    }
}

TEST(DamagedTables, MissingEndMarkIsTolerated) {
    ScratchFolder dir;
    Bytes b = level7Table();
    b.pop_back();
    writeBytes(dir / "T.DBF", b);
    auto t = Table::open(workFolder(dir), "T");
    EXPECT_EQ(t.recordCount(), 2u);
    t.go(2);
    EXPECT_EQ(t.integer("N"), 1);
    t.append();
    t.post();
    t.close();
    const Bytes written = readBytes(dir / "T.DBF");
    EXPECT_EQ(written.size(), kHeader + 3 * 10 + 1);
    EXPECT_EQ(written.back(), 0x1A); // written back with the mark
}

TEST(DamagedTables, FieldPropertiesBlockIsSkippedThroughTheHeaderLength) {
    ScratchFolder dir;
    Bytes b = level7Table();
    // A properties block of 16 bytes after the terminator.
    b.insert(b.begin() + kHeader, 16, 0x00);
    putU16(b, 8, kHeader + 16);
    writeBytes(dir / "T.DBF", b);
    auto t = Table::open(workFolder(dir), "T");
    t.go(2);
    EXPECT_EQ(t.text("NOMBRE"), "x");
    EXPECT_EQ(t.integer("N"), 1);
    t.edit();
    t.setInteger("N", 7);
    t.post();
    t.close();
    const Bytes written = readBytes(dir / "T.DBF");
    ASSERT_EQ(written.size(), b.size());
    EXPECT_TRUE(std::equal(b.begin() + 4, b.begin() + kHeader + 16, written.begin() + 4));
}

// Random damage to every byte of the header and a few of the records: each file opens or fails
// with an Error; none crashes (run under the sanitizers to see overruns).
TEST(DamagedTables, RandomDamageNeverCrashes) {
    ScratchFolder dir;
    const Bytes good = level7Table();
    const Bytes db3 = readBytes(fixture("db3_types.dbf"));
    const Bytes vfp = readBytes(fixture("vfp_types.dbf"));
    std::mt19937 rng(7);
    int opened = 0;
    int refused = 0;
    for (int round = 0; round < 600; ++round) {
        const Bytes& base = round % 3 == 0 ? good : (round % 3 == 1 ? db3 : vfp);
        Bytes b = base;
        const int changes = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = rng() % std::min<std::size_t>(b.size(), 300);
            b[at] = static_cast<unsigned char>(rng());
        }
        if (rng() % 5 == 0)
            b.resize(rng() % b.size());
        writeBytes(dir / "T.DBF", b);
        try {
            auto t = Table::open(workFolder(dir), "T");
            for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
                t.go(r);
                for (const auto& f : t.fields()) {
                    try {
                        (void)t.text(f.name);
                        (void)t.isBlank(f.name);
                        (void)t.number(f.name);
                    } catch (const Error&) {
                    }
                }
            }
            ++opened;
        } catch (const Error&) {
            ++refused;
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
} // namespace pelmira::worktables
