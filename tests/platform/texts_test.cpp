#include "platform/error_text.h"
#include "platform/local_time.h"
#include "platform/path_text.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace pelmira::platform {
namespace {

struct ErrnoCase {
    const char* name;
    int err;
    const char* text;
};

class ErrnoText : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoText, IsSpanishForTheCommonCases) {
    const ErrnoCase& c = GetParam();
    EXPECT_EQ(errnoText(c.err), c.text);
    EXPECT_EQ(systemErrorText(c.err), c.text); // on this system the system's codes are errno
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrnoText,
    ::testing::Values(ErrnoCase{"None", 0, "error desconocido"},
                      ErrnoCase{"ENOENT", ENOENT, "no existe el archivo o la carpeta"},
                      ErrnoCase{"EACCES", EACCES, "permiso denegado"},
                      ErrnoCase{"EPERM", EPERM, "permiso denegado"},
                      ErrnoCase{"ENOTDIR", ENOTDIR, "una parte de la ruta no es una carpeta"},
                      ErrnoCase{"EISDIR", EISDIR, "es una carpeta"},
                      ErrnoCase{"ENOSPC", ENOSPC, "no queda espacio en el disco"},
                      ErrnoCase{"EDQUOT", EDQUOT, "no queda espacio en el disco"},
                      ErrnoCase{"EROFS", EROFS, "el sistema de archivos es de solo lectura"},
                      ErrnoCase{"ENAMETOOLONG", ENAMETOOLONG, "el nombre es demasiado largo"},
                      ErrnoCase{"EBUSY", EBUSY, "el archivo está en uso"},
                      ErrnoCase{"ETXTBSY", ETXTBSY, "el archivo está en uso"},
                      ErrnoCase{"EIO", EIO, "error de entrada/salida"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrnoText, LeavesTheRestToTheSystem) {
    EXPECT_EQ(errnoText(EXDEV), std::strerror(EXDEV));
}

TEST(PathText, IsTheUtf8OfThePath) {
    const std::u8string name = u8"/tmp/Ñandú/año.xml";
    EXPECT_EQ(pathText(std::filesystem::path(name)), "/tmp/Ñandú/año.xml");
}

TEST(LocalDateTimeText, IsDayMonthYearAndTheTime) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    EXPECT_EQ(localDateTimeText(t), "05/03/2024 07:08:09");
}

} // namespace
} // namespace pelmira::platform
