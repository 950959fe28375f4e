// The SQL functions and the collation registered on each connection.
#include <gtest/gtest.h>

#include <regex>

#include "BaseMemoria.h"
#include "datos/sql/FuncionesSqlite.h"

namespace {

using datos::sql::coincideLike;
using datos::sql::compararAccess;
using datos::sql::convertirPatronLike;

TEST(Funciones, ColacionAccess) {
    EXPECT_EQ(compararAccess("José Peña", "JOSE PENA"), 0);
    EXPECT_EQ(compararAccess("ÁÉÍÓÚÜÇ", "aeiouuc"), 0);
    EXPECT_EQ(compararAccess("Łódź", "LODZ"), 0);
    EXPECT_LT(compararAccess("abc", "abd"), 0);
    EXPECT_LT(compararAccess("ab", "abc"), 0);
    EXPECT_GT(compararAccess("Éclair", "dulce"), 0);
    // Invalid UTF-8 reads as Latin-1 and still orders consistently.
    const std::string roto = "a\xE9z";
    EXPECT_EQ(compararAccess(roto, roto), 0);
    EXPECT_EQ(compararAccess(roto, "aéz"), 0);
    EXPECT_LT(compararAccess("a\xC3", "a\xC3\xA9"), 0);
    // Antisymmetric over a sample, as an index needs.
    const char* muestra[] = {"", "a", "A", "á", "b", "ñ", "N", "ø", "€", "z", "Ω", "\xFF"};
    for (const char* x : muestra)
        for (const char* y : muestra)
            EXPECT_EQ(compararAccess(x, y), -compararAccess(y, x)) << x << " / " << y;
}

TEST(Funciones, Like) {
    EXPECT_TRUE(coincideLike("Principal", "PRIN%"));
    EXPECT_TRUE(coincideLike("Peña", "pe_a"));
    EXPECT_TRUE(coincideLike("axxbxxc", "a%b%c"));
    EXPECT_FALSE(coincideLike("axxbxx", "a%b%c"));
    EXPECT_TRUE(coincideLike("", "%"));
    EXPECT_FALSE(coincideLike("", "_"));
    EXPECT_TRUE(coincideLike("50%", "50\\%", U'\\'));
    EXPECT_FALSE(coincideLike("500", "50\\%", U'\\'));
    // Long runs of % stay fast (no backtracking explosion).
    EXPECT_FALSE(coincideLike(std::string(20000, 'a'), std::string(200, '%') + "b"));
    EXPECT_EQ(convertirPatronLike("Prin*"), "Prin%");
    EXPECT_EQ(convertirPatronLike("a?b#c[*]d%_\\"), "a_b_c*d\\%\\_\\\\");
    EXPECT_EQ(convertirPatronLike("[a-c]x[!d]"), "_x_");
}

TEST(Funciones, CintMitadAlPar) {
    prueba::BaseMemoria base;
    EXPECT_EQ(
        base.ejecutar("SELECT CINT(2.5), CINT(3.5), CINT(-2.5), CINT('1234.5'), CINT(' "
                      "234.5 '), CINT(7), CINT('1E3')"),
        (std::vector<std::vector<std::string>>{{"2", "4", "-2", "1234", "234", "7", "1000"}}));
    EXPECT_EQ(base.valor("SELECT CINT(NULL)"), "NULL");
    EXPECT_THROW(base.ejecutar("SELECT CINT('abc')"), std::runtime_error);
    EXPECT_THROW(base.ejecutar("SELECT CINT(32767.5)"), std::runtime_error);
    EXPECT_THROW(base.ejecutar("SELECT CINT(40000)"), std::runtime_error);
    EXPECT_EQ(base.valor("SELECT CINT(-32768.4)"), "-32768");
}

TEST(Funciones, IsNumericUcaseCstrLeftNow) {
    prueba::BaseMemoria base;
    EXPECT_EQ(
        base.ejecutar("SELECT ISNUMERIC(6), ISNUMERIC(2.5), ISNUMERIC(' -12 '), "
                      "ISNUMERIC('1.5E3'), ISNUMERIC(''), ISNUMERIC(NULL), ISNUMERIC('abc'), "
                      "ISNUMERIC('12a'), ISNUMERIC('07/12/2026')"),
        (std::vector<std::vector<std::string>>{{"1", "1", "1", "1", "0", "0", "0", "0", "0"}}));
    EXPECT_EQ(base.ejecutar("SELECT UCASE('peña josé'), UCASE(NULL), UCASE(5)"),
              (std::vector<std::vector<std::string>>{{"PEÑA JOSÉ", "NULL", "5"}}));
    EXPECT_EQ(base.ejecutar("SELECT CSTR(101), CSTR(2.5), CSTR(3.0), CSTR(0.1), CSTR('x')"),
              (std::vector<std::vector<std::string>>{{"101", "2.5", "3", "0.1", "x"}}));
    EXPECT_EQ(base.ejecutar("SELECT LEFT('Señor', 3), LEFT('ab', 5), LEFT(12345, 2)"),
              (std::vector<std::vector<std::string>>{{"Señ", "ab", "12"}}));
    EXPECT_THROW(base.ejecutar("SELECT LEFT('ab', -1)"), std::runtime_error);
    const std::string ahora = base.valor("SELECT Now");
    EXPECT_TRUE(std::regex_match(ahora, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << ahora;
    EXPECT_EQ(base.valor("SELECT Now() = now"), "1");
}

}  // namespace
