#include <clocale>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "comun/Variant.h"

using namespace comun;

namespace {

Fecha fecha(int a, int m, int d, int h = 0, int mi = 0, int s = 0) {
    Fecha f;
    f.anio = a;
    f.mes = m;
    f.dia = d;
    f.hora = h;
    f.minuto = mi;
    f.segundo = s;
    return f;
}

// Switches the C and C++ global locales to one with a decimal comma, if the
// machine has one, and restores "C" afterwards.
class LocaleComa {
  public:
    LocaleComa() {
        for (const char* nombre : {"es_ES.UTF-8", "es_ES.utf8", "de_DE.UTF-8", "de_DE.utf8",
                                   "fr_FR.UTF-8", "es_CO.UTF-8", "es_ES", "de_DE"}) {
            if (std::setlocale(LC_ALL, nombre) && *std::localeconv()->decimal_point == ',') {
                activo_ = true;
                return;
            }
        }
    }
    ~LocaleComa() { std::setlocale(LC_ALL, "C"); }
    bool activo() const { return activo_; }

  private:
    bool activo_ = false;
};

}  // namespace

TEST(VariantTexto, NumerosBooleanosYMonedaEnFormaFija) {
    EXPECT_EQ(Variant(0.5).CStr(), "0.5");
    EXPECT_EQ(Variant(1234.5).CStr(), "1234.5");
    EXPECT_EQ(Variant(3.0).CStr(), "3");
    EXPECT_EQ(Variant(-0.25).CStr(), "-0.25");
    EXPECT_EQ(Variant(0.1).CStr(), "0.1");
    EXPECT_EQ(Variant(0.1 + 0.2).CStr(), "0.30000000000000004");
    EXPECT_EQ(Variant(1e20).CStr(), "1E+20");
    EXPECT_EQ(Variant(-1.5e-7).CStr(), "-1.5E-07");
    EXPECT_EQ(Variant(0.0001).CStr(), "0.0001");
    EXPECT_EQ(Variant(1e15).CStr(), "1000000000000000");
    EXPECT_EQ(Variant(-0.0).CStr(), "0");
    EXPECT_EQ(Variant(0.1f).CStr(), "0.1");
    EXPECT_EQ(Variant(16777216.0f).CStr(), "16777216");
    EXPECT_EQ(Variant(true).CStr(), "True");
    EXPECT_EQ(Variant(false).CStr(), "False");
    EXPECT_EQ(Variant(int16_t{-7}).CStr(), "-7");
    EXPECT_EQ(Variant(Moneda{125000}).CStr(), "12.5");
    EXPECT_EQ(Variant(Moneda{-5}).CStr(), "-0.0005");
    EXPECT_EQ(Variant(Moneda{30000}).CStr(), "3");
    EXPECT_EQ(Variant(Moneda{std::numeric_limits<int64_t>::min()}).CStr(), "-922337203685477.5808");
    EXPECT_EQ(Variant(Decimal{"12345678901234567"}).CStr(), "12345678901234567");
    EXPECT_EQ(Variant().CStr(), "");
    EXPECT_THROW(Variant::Null().CStr(), ErrorTipo);
    EXPECT_EQ(Variant::Null().texto(), "");
}

TEST(VariantTexto, FechasSinHoraALaMedianoche) {
    EXPECT_EQ(Variant(fecha(2024, 3, 7)).CStr(), "07/03/2024");
    EXPECT_EQ(Variant(fecha(2024, 3, 7, 9, 5, 0)).CStr(), "07/03/2024 09:05:00");
    EXPECT_EQ(fecha(2024, 3, 7).iso(), "2024-03-07");
    EXPECT_EQ(fecha(2024, 3, 7, 23, 59, 59).iso(), "2024-03-07 23:59:59");
}

TEST(VariantConversion, RedondeoAlParYDesbordamiento) {
    EXPECT_EQ(Variant(2.5).CInt(), 2);
    EXPECT_EQ(Variant(3.5).CInt(), 4);
    EXPECT_EQ(Variant(-2.5).CInt(), -2);
    EXPECT_EQ(Variant(2.6).CInt(), 3);
    EXPECT_EQ(Variant("2.5").CInt(), 2);
    EXPECT_EQ(Variant(" 3.5 ").CLng(), 4);
    EXPECT_EQ(Variant(Moneda{25000}).CLng(), 2);
    EXPECT_EQ(Variant(Moneda{35000}).CLng(), 4);
    EXPECT_EQ(Variant(Moneda{-25000}).CLng(), -2);
    EXPECT_EQ(Variant(Decimal{"0.5"}).CLng(), 0);

    EXPECT_EQ(Variant(32767.0).CInt(), 32767);
    EXPECT_EQ(Variant(-32768.0).CInt(), -32768);
    EXPECT_THROW(Variant(32767.5).CInt(), ErrorTipo);  // rounds to 32768
    EXPECT_THROW(Variant("40000").CInt(), ErrorTipo);
    EXPECT_THROW(Variant(int32_t{70000}).CInt(), ErrorTipo);
    EXPECT_THROW(Variant(2147483648.0).CLng(), ErrorTipo);
    EXPECT_EQ(Variant(-2147483648.0).CLng(), std::numeric_limits<int32_t>::min());
    EXPECT_THROW(Variant(9.3e18).CLngLng(), ErrorTipo);
    EXPECT_THROW(Variant(std::numeric_limits<double>::quiet_NaN()).CLng(), ErrorTipo);
    EXPECT_THROW(Variant("1e400").CDbl(), ErrorTipo);
    EXPECT_EQ(Variant("1e-400").CDbl(), 0.0);
    EXPECT_THROW(Variant(1e300).CSng(), ErrorTipo);

    // Long identifiers survive whole, not squeezed through a double.
    EXPECT_EQ(Variant("12345678901234567").CLngLng(), 12345678901234567LL);
    EXPECT_EQ(Variant(Decimal{"-9007199254740993"}).CLngLng(), -9007199254740993LL);
    EXPECT_THROW(Variant("99999999999999999999").CLngLng(), ErrorTipo);
}

TEST(VariantConversion, TextosYTiposNoNumericos) {
    EXPECT_DOUBLE_EQ(Variant(" -1.5e3 ").CDbl(), -1500.0);
    EXPECT_DOUBLE_EQ(Variant("+.5").CDbl(), 0.5);
    EXPECT_DOUBLE_EQ(Variant("7.").CDbl(), 7.0);
    EXPECT_EQ(Variant().CDbl(), 0.0);
    EXPECT_EQ(Variant(true).CLng(), -1);
    EXPECT_THROW(Variant("").CDbl(), ErrorTipo);
    EXPECT_THROW(Variant("abc").CLng(), ErrorTipo);
    EXPECT_THROW(Variant("1,5").CDbl(), ErrorTipo);
    EXPECT_THROW(Variant("inf").CDbl(), ErrorTipo);
    EXPECT_THROW(Variant("0x1A").CDbl(), ErrorTipo);
    EXPECT_THROW(Variant::Null().CLng(), ErrorTipo);
    EXPECT_THROW(Variant(std::shared_ptr<Objeto>()).CDbl(), ErrorTipo);

    EXPECT_TRUE(Variant("TRUE").CBool());
    EXPECT_FALSE(Variant("false").CBool());
    EXPECT_TRUE(Variant("-1").CBool());
    EXPECT_FALSE(Variant("0").CBool());
    EXPECT_TRUE(Variant(0.1).CBool());
    EXPECT_THROW(Variant("si").CBool(), ErrorTipo);

    EXPECT_EQ(Variant(1.00005).CCur().diezmilesimas, 10000);  // 1.00005 is below the half
    EXPECT_EQ(Moneda::desdeDouble(0.00005).diezmilesimas, 0);
    EXPECT_EQ(Moneda::desdeDouble(0.00015).diezmilesimas, 2);
    EXPECT_EQ(Moneda::desdeDouble(2.5 / 10000).diezmilesimas, 2);
    EXPECT_EQ(Moneda::desdeDouble(-12.34567).diezmilesimas, -123457);
    EXPECT_THROW(Moneda::desdeDouble(1e16), ErrorTipo);
    EXPECT_EQ(Variant("12.5").CCur(), Moneda{125000});
}

TEST(VariantConversion, IndependienteDelLocale) {
    LocaleComa locale;
    if (!locale.activo()) GTEST_SKIP() << "no comma-decimal locale installed";
    EXPECT_EQ(Variant(1234.5).CStr(), "1234.5");
    EXPECT_EQ(Variant(0.5f).CStr(), "0.5");
    EXPECT_EQ(Variant(Moneda{125000}).CStr(), "12.5");
    EXPECT_DOUBLE_EQ(Variant("1234.5").CDbl(), 1234.5);
    EXPECT_THROW(Variant("1234,5").CDbl(), ErrorTipo);
    EXPECT_TRUE(IsNumeric("1.5"));
}

TEST(VariantPredicados, IsNumeric) {
    for (const char* t : {"0", " -1.5e3 ", "+3", ".5", "5.", "1E+10", "\t42\t", "007"})
        EXPECT_TRUE(IsNumeric(t)) << t;
    for (const char* t : {"", " ", "abc", "1.2.3", "-", ".", "1e", "1e+", "e5", "1 2", "1,5", "--1",
                          "0x10", "inf", "nan", "12a"})
        EXPECT_FALSE(IsNumeric(t)) << t;
    EXPECT_TRUE(IsNumeric(Variant(int16_t{3})));
    EXPECT_TRUE(IsNumeric(Variant(Decimal{"1.5"})));
    EXPECT_TRUE(IsNumeric(Variant(std::string("2.5"))));
    EXPECT_FALSE(IsNumeric(Variant()));
    EXPECT_FALSE(IsNumeric(Variant::Null()));
    EXPECT_FALSE(IsNumeric(Variant(fecha(2024, 1, 1))));
}

TEST(VariantPredicados, IsDateYLeerFecha) {
    Fecha f;
    ASSERT_TRUE(leerFecha("07/03/2024", f));
    EXPECT_EQ(f, fecha(2024, 3, 7));
    ASSERT_TRUE(leerFecha("7/3/2024 9:05", f));
    EXPECT_EQ(f, fecha(2024, 3, 7, 9, 5, 0));
    ASSERT_TRUE(leerFecha("2024-03-07T10:20:30", f));
    EXPECT_EQ(f, fecha(2024, 3, 7, 10, 20, 30));
    ASSERT_TRUE(leerFecha("2024-03-07 10:20:30.250", f));
    EXPECT_EQ(f, fecha(2024, 3, 7, 10, 20, 30));
    ASSERT_TRUE(leerFecha("2024/12/31 23:59:59", f));
    EXPECT_EQ(f, fecha(2024, 12, 31, 23, 59, 59));
    EXPECT_TRUE(IsDate("29/02/2024"));

    for (const char* t :
         {"", "abc", "31/02/2024", "29/02/2023", "32/01/2024", "01/13/2024", "2024-02-30",
          "07/03/24", "2024-03-07 24:00", "2024-03-07 10:60", "2024/03/07T10:00",
          "07/03/2024T10:00", "07-03-2024", "2024-03-07x", "12345", "2024-03", "07/03/2024 10"})
        EXPECT_FALSE(IsDate(t)) << t;
    EXPECT_TRUE(IsDate(Variant(fecha(2024, 3, 7))));
    EXPECT_FALSE(IsDate(Variant(45000.0)));
}

TEST(VariantFecha, SerialIdaYVuelta) {
    EXPECT_EQ(fecha(1899, 12, 30).serial(), 0.0);
    EXPECT_EQ(fecha(1900, 1, 1).serial(), 2.0);
    EXPECT_EQ(fecha(2024, 3, 7).serial(), 45358.0);
    EXPECT_DOUBLE_EQ(fecha(2024, 3, 7, 18, 0, 0).serial(), 45358.75);
    EXPECT_EQ(Fecha::desdeSerial(45358.75), fecha(2024, 3, 7, 18, 0, 0));
    // Before the zero date the fraction still counts forward from midnight.
    EXPECT_DOUBLE_EQ(fecha(1899, 12, 29, 6, 0, 0).serial(), -1.25);
    EXPECT_EQ(Fecha::desdeSerial(-1.25), fecha(1899, 12, 29, 6, 0, 0));
    // A fraction a hair below midnight rounds into the next day.
    EXPECT_EQ(Fecha::desdeSerial(45358.9999999), fecha(2024, 3, 8));
    for (int d = 1; d <= 31; d += 3) {
        const Fecha f = fecha(2023, 10, d, d % 24, (d * 7) % 60, (d * 13) % 60);
        EXPECT_EQ(Fecha::desdeSerial(f.serial()), f);
    }
    EXPECT_THROW(Fecha::desdeSerial(1e12), ErrorTipo);

    EXPECT_EQ(Variant(0.0).CDate(), fecha(1899, 12, 30));
    EXPECT_EQ(Variant(int32_t{45358}).CDate(), fecha(2024, 3, 7));
    EXPECT_EQ(Variant("2024-03-07").CDate(), fecha(2024, 3, 7));
    EXPECT_THROW(Variant("31/02/2024").CDate(), ErrorTipo);
    EXPECT_DOUBLE_EQ(Variant(fecha(2024, 3, 7, 12, 0, 0)).CDbl(), 45358.5);

    EXPECT_TRUE(fecha(2000, 2, 29).valida());
    EXPECT_FALSE(fecha(1900, 2, 29).valida());
    EXPECT_FALSE(fecha(2024, 4, 31).valida());
    EXPECT_FALSE(fecha(2024, 1, 1, 0, 0, 60).valida());
}

TEST(VariantIgualdad, TipoYValor) {
    auto objeto = std::make_shared<Objeto>();
    EXPECT_EQ(Variant(), Variant());
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_NE(Variant(), Variant::Null());
    EXPECT_EQ(Variant("a"), Variant(std::string("a")));
    EXPECT_NE(Variant(int16_t{1}), Variant(int32_t{1}));
    EXPECT_NE(Variant(1.0), Variant("1"));
    EXPECT_EQ(Variant(Decimal{"1.50"}), Variant(Decimal{"1.50"}));
    EXPECT_NE(Variant(Decimal{"1.50"}), Variant(Decimal{"1.5"}));
    EXPECT_EQ(Variant(objeto), Variant(objeto));
    EXPECT_NE(Variant(objeto), Variant(std::make_shared<Objeto>()));
    EXPECT_EQ(Variant(objeto).tipo(), TipoVariant::Object);
    EXPECT_EQ(Variant(objeto).objeto(), objeto);
    EXPECT_THROW(Variant(1.0).objeto(), ErrorTipo);
    EXPECT_THROW(Variant(1.0).comoTexto(), ErrorTipo);
}
