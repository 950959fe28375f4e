#include <string>

#include <gtest/gtest.h>

#include "comun/Texto.h"

using namespace comun;

TEST(Texto, Cp1252IdaYVueltaDeLosDoscientosCincuentaYSeisBytes) {
    std::string todos;
    for (int b = 0; b < 256; ++b) todos.push_back(static_cast<char>(b));
    const std::string utf8 = cp1252AUtf8(todos);
    EXPECT_TRUE(esUtf8Valido(utf8));
    EXPECT_EQ(utf8ACp1252(utf8), todos);
}

TEST(Texto, Cp1252TablaAlta) {
    EXPECT_EQ(cp1252AUtf8("\x80"), "\u20AC");
    EXPECT_EQ(cp1252AUtf8("\x99"), "\u2122");
    EXPECT_EQ(cp1252AUtf8("\x9F"), "\u0178");
    EXPECT_EQ(cp1252AUtf8("\x81"), "\u0081");
    EXPECT_EQ(cp1252AUtf8("Espa\xF1"
                          "a"),
              "España");
    EXPECT_EQ(utf8ACp1252("€ “ok” — ñ"), "\x80 \x93ok\x94 \x97 \xF1");
    // Characters the code page lacks, and U+0080 (whose byte is the euro).
    EXPECT_EQ(utf8ACp1252("a\u4E2Db\U0001F600c\u0080"), "a?b?c?");
    // A stray invalid byte in the UTF-8 side reads as itself.
    EXPECT_EQ(utf8ACp1252("caf\xE9"), "caf\xE9");
}

TEST(Texto, DecodificacionUtf8) {
    const std::string texto = "aé€😀";
    size_t pos = 0;
    EXPECT_EQ(leerCodigo(texto, pos), U'a');
    EXPECT_EQ(leerCodigo(texto, pos), U'é');
    EXPECT_EQ(leerCodigo(texto, pos), U'€');
    EXPECT_EQ(leerCodigo(texto, pos), U'\U0001F600');
    EXPECT_EQ(pos, texto.size());
    EXPECT_EQ(leerCodigo(texto, pos), 0U);
    EXPECT_EQ(pos, texto.size());

    // Overlong, surrogate, truncated and lone continuation bytes each read
    // as one byte.
    for (const std::string malo :
         {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\x80", "\xF5\x80\x80\x80"}) {
        pos = 0;
        EXPECT_EQ(leerCodigo(malo, pos), static_cast<unsigned char>(malo[0]));
        EXPECT_EQ(pos, 1U);
        EXPECT_FALSE(esUtf8Valido(malo));
    }

    std::string escrito;
    for (char32_t c : {U'A', U'ñ', U'€', U'\U0001F600'}) escribirCodigo(escrito, c);
    EXPECT_EQ(escrito, "Añ€😀");
    escrito.clear();
    escribirCodigo(escrito, 0xD800);
    escribirCodigo(escrito, 0x110000);
    EXPECT_EQ(escrito, "\uFFFD\uFFFD");
}

TEST(Texto, MayusculasYMinusculas) {
    EXPECT_EQ(mayusculas("año café pingüino œuvre ÿ ß 123"), "AÑO CAFÉ PINGÜINO ŒUVRE Ÿ ß 123");
    EXPECT_EQ(minusculas("AÑO CAFÉ PINGÜINO ŠŽ Ÿ ×"), "año café pingüino šž ÿ ×");
    EXPECT_EQ(mayusculas("÷"), "÷");
    // Bytes that are not UTF-8 pass through untouched.
    EXPECT_EQ(mayusculas("a\xE9z"), "A\xE9Z");
}

TEST(Texto, RecortarIzquierdaLongitudReemplazar) {
    EXPECT_EQ(recortar("  hola mundo  "), "hola mundo");
    EXPECT_EQ(recortar("\thola\t"), "\thola\t");
    EXPECT_EQ(recortar("    "), "");
    EXPECT_EQ(izquierda("ñandú", 3), "ñan");
    EXPECT_EQ(izquierda("ñandú", 10), "ñandú");
    EXPECT_EQ(izquierda("abc", 0), "");
    EXPECT_EQ(longitudCaracteres("ñandú€"), 6U);
    EXPECT_EQ(longitudCaracteres(""), 0U);
    EXPECT_EQ(reemplazar("O'Brien's", "'", "''"), "O''Brien''s");
    EXPECT_EQ(reemplazar("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(reemplazar("abc", "", "x"), "abc");
    EXPECT_EQ(reemplazar("abcabc", "bc", ""), "aa");
}
