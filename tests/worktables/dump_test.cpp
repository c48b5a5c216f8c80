// pelmira-cli dump, called in-process with its output captured.

#include "cli/commands.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace pelmira::worktables {
namespace {

using test::fixture;
using test::ScratchFolder;
using test::writeBytes;
using ::testing::HasSubstr;

struct Captured {
    int status = 0;
    std::string out;
    std::string err;
};

Captured dump(const cli::Args& args) {
    std::ostringstream out;
    std::ostringstream err;
    auto* oldOut = std::cout.rdbuf(out.rdbuf());
    auto* oldErr = std::cerr.rdbuf(err.rdbuf());
    Captured c;
    c.status = cli::dumpCommand(args);
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    c.out = out.str();
    c.err = err.str();
    return c;
}

TEST(DumpCommand, ListsFieldsAndRecordsInUtf8) {
    const auto c = dump({fixture("db3_types.dbf").string()});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_THAT(c.out, HasSubstr("Campos (6):"));
    EXPECT_THAT(c.out, HasSubstr("PRICE   N  8,2"));
    EXPECT_THAT(c.out, HasSubstr("Registros (5, 1 borrado):"));
    EXPECT_THAT(c.out, HasSubstr("  2   José | -12 | -0.25 |  | F | \n"));
    EXPECT_THAT(c.out, HasSubstr("  4 * Borrado | 9 | 9 | 9 | T | 19991231\n"));
    EXPECT_THAT(c.out, HasSubstr("  5   Último | 100 | 1234.56 | -2.5 |  | 20261210\n"));
}

TEST(DumpCommand, Csv) {
    const auto c = dump({"--csv", fixture("db3_types.dbf").string()});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.out.substr(0, c.out.find("\r\n")),
              "REGISTRO,BORRADO,NAME,QTY,PRICE,RATIO,ACTIVE,BORN");
    EXPECT_THAT(c.out, HasSubstr("\r\n1,,Ana,3,3.5,0.125,T,20010203\r\n"));
    EXPECT_THAT(c.out, HasSubstr("\r\n4,*,Borrado,9,9,9,T,19991231\r\n"));
}

TEST(DumpCommand, ErrorsAndUsage) {
    EXPECT_EQ(dump({}).status, 2);
    EXPECT_EQ(dump({"a.dbf", "b.dbf"}).status, 2);
    EXPECT_EQ(dump({"--xml", "a.dbf"}).status, 2);
    ScratchFolder dir;
    const auto missing = dump({(dir / "NADA.DBF").string()});
    EXPECT_EQ(missing.status, 3);
    EXPECT_THAT(missing.err, HasSubstr("NADA.DBF"));
    writeBytes(dir / "MALA.DBF", {0x04, 1, 2});
    const auto bad = dump({(dir / "MALA.DBF").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_THAT(bad.err, HasSubstr("MALA.DBF"));
    EXPECT_EQ(bad.out, ""); // nothing that could pass for a listing
}

} // namespace
} // namespace pelmira::worktables
