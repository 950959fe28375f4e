// The parser's lenient grammar and error texts, the escaper and the record
// set serialiser.
#include "json/JSON.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using comun::Variant;
using json::Coleccion;
using json::Diccionario;
using json::parse;

namespace {

// Compact rendering of a parsed tree so that whole trees compare in one line:
// texts quoted, numbers bare, Empty as "~".
std::string volcar(const Variant& v) {
    switch (v.tipo()) {
        case comun::TipoVariant::Empty:
            return "~";
        case comun::TipoVariant::Null:
            return "null";
        case comun::TipoVariant::Boolean:
            return v.CBool() ? "true" : "false";
        case comun::TipoVariant::String:
            return "\"" + v.comoTexto() + "\"";
        case comun::TipoVariant::Decimal:
            return std::get<comun::Decimal>(v.interno()).digitos;
        case comun::TipoVariant::Object: {
            std::string r;
            if (auto d = v.objetoComo<Diccionario>()) {
                r = "{";
                for (size_t i = 0; i < d->Count(); ++i) {
                    r += (i ? "," : "") + d->Keys()[i] + ":" + volcar(d->valorEn(i));
                }
                return r + "}";
            }
            auto c = v.objetoComo<Coleccion>();
            r = "[";
            for (size_t i = 1; i <= c->Count(); ++i) r += (i > 1 ? "," : "") + volcar(c->Item(i));
            return r + "]";
        }
        default:
            return "?";
    }
}

std::string arbol(std::string_view texto) {
    return volcar(parse(texto).valor);
}

// The error text of a parse.
std::string errores(std::string_view texto) {
    return parse(texto).errores;
}

TEST(Parse, RootMustBeObjectOrArray) {
    for (const char* texto : {"", "   ", "42", "\"x\"", "true"}) {
        const json::Analisis a = parse(texto);
        EXPECT_TRUE(a.valor.esEmpty()) << texto;
        EXPECT_EQ(a.errores, "Invalid JSON") << texto;
        EXPECT_FALSE(a.correcto());
    }
    // Text after the root is ignored.
    EXPECT_EQ(arbol("[1] trailing {"), "[1]");
    EXPECT_TRUE(parse("[1] trailing {").correcto());
}

TEST(Parse, CommentsAndParenthesesAreBlank) {
    const char* simple = R"({"a":[1,2,{"b":"c"}],"d":true,"e":null})";
    const std::string limpio = arbol(simple);
    ASSERT_EQ(errores(simple), "");
    const char* adornado =
        "// header line\r\n{ /* block\n comment */ \"a\" : ( [ (1) , 2 // two\n"
        ", {\"b\":(\"c\")} ] ), \"d\":/**/true, \"e\": / null }";
    EXPECT_EQ(arbol(adornado), limpio);
    EXPECT_EQ(errores(adornado), "");
}

TEST(Parse, LenientKeysAndMissingCommas) {
    const char* claves = "{ nombre : 'Ana', 'la clave':1 \"otra\tclave\" : 2, \"a:b\":3 }";
    EXPECT_EQ(arbol(claves), "{nombre:\"Ana\",laclave:1,otraclave:2,a:b:3}");
    EXPECT_EQ(errores(claves), "");
    EXPECT_EQ(arbol("[1 2 'tres' {} []]"), "[1,2,\"tres\",{},[]]");
    EXPECT_EQ(errores("[1 2 'tres' {} []]"), "");
    // Keys are exact: case matters, backslashes are not interpreted.
    auto d = parse(R"({"Id":1,"id":2,"a\n":3})").valor.objetoComo<Diccionario>();
    EXPECT_EQ(volcar(d->Item("Id")), "1");
    EXPECT_EQ(volcar(d->Item("id")), "2");
    EXPECT_TRUE(d->Exists("a\\n"));
    EXPECT_TRUE(d->Item("missing").esEmpty());
}

TEST(Parse, DuplicateKeyKeepsFirstValueAndStops) {
    EXPECT_EQ(arbol(R"({"a":1,"a":2,"b":3})"), "{a:1}");
    EXPECT_EQ(errores(R"({"a":1,"a":2,"b":3})"),
              "This key is already associated with an element of this collection: a\r\n");
}

TEST(Parse, DuplicatesAreFoundInObjectsOfAnySize) {
    // Below and above the size at which dictionaries switch to a hash index.
    for (int n : {10, 60, 64, 65, 300}) {
        std::string t = "{";
        for (int i = 0; i < n; ++i)
            t += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
        t += "\"k" + std::to_string(n / 2) + "\":-1, \"extra\":0}";
        const json::Analisis a = parse(t);
        auto d = a.valor.objetoComo<Diccionario>();
        EXPECT_EQ(a.errores,
                  "This key is already associated with an element of this collection: k" +
                      std::to_string(n / 2) + "\r\n")
            << n;
        ASSERT_EQ(d->Count(), size_t(n));
        EXPECT_EQ(volcar(d->Item("k" + std::to_string(n / 2))), std::to_string(n / 2));
        EXPECT_EQ(volcar(d->Item("k" + std::to_string(n - 1))), std::to_string(n - 1));
        EXPECT_FALSE(d->Exists("extra"));
        EXPECT_FALSE(d->Add("k0", Variant("otro")));
        d->Set("k0", Variant("nuevo"));
        d->Set("nueva", Variant("x"));
        EXPECT_EQ(d->Item("k0").comoTexto(), "nuevo");
        EXPECT_EQ(d->Item("nueva").comoTexto(), "x");
        EXPECT_EQ(d->Keys().back(), "nueva");
    }
}

TEST(Parse, RecordsWithTheSameKeysStayIndependent) {
    // Objects with the same keys share their key list; changing the keys of
    // one must leave the others as parsed.
    auto lista =
        parse(R"([{"a":1,"b":2},{"a":3,"b":4},{"a":5,"b":6}])").valor.objetoComo<Coleccion>();
    auto primero = lista->Item(1).objetoComo<Diccionario>();
    auto segundo = lista->Item(2).objetoComo<Diccionario>();
    EXPECT_TRUE(primero->Add("c", Variant("nuevo")));
    segundo->Set("a", Variant("otro"));
    EXPECT_EQ(volcar(lista->Item(1)), "{a:1,b:2,c:\"nuevo\"}");
    EXPECT_EQ(volcar(lista->Item(2)), "{a:\"otro\",b:4}");
    EXPECT_EQ(volcar(lista->Item(3)), "{a:5,b:6}");
    EXPECT_FALSE(segundo->Exists("c"));
    // Above the size at which lookups go through a hash index too.
    std::string t = "[";
    for (int r = 0; r < 2; ++r) {
        t += r ? ",{" : "{";
        for (int i = 0; i < 100; ++i)
            t += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(r);
        t += "}";
    }
    lista = parse(t + "]").valor.objetoComo<Coleccion>();
    auto grande = lista->Item(2).objetoComo<Diccionario>();
    grande->Set("extra", Variant("x"));
    EXPECT_EQ(grande->Item("extra").comoTexto(), "x");
    EXPECT_EQ(volcar(grande->Item("k99")), "1");
    EXPECT_FALSE(lista->Item(1).objetoComo<Diccionario>()->Exists("extra"));
    EXPECT_EQ(lista->Item(1).objetoComo<Diccionario>()->Count(), 100u);
}

TEST(Parse, TruncatedTextsReportTheLastTwentyCharacters) {
    const char* cortado = R"({"lista":[10,20,"abcdefghijklmnopqrstuvwxyz)";
    EXPECT_EQ(arbol(cortado), "{lista:[10,20,\"abcdefghijklmnopqrstuvwxyz\"]}");
    EXPECT_EQ(errores(cortado),
              "Missing ']': ghijklmnopqrstuvwxyz\r\nMissing '}': ghijklmnopqrstuvwxyz\r\n");
    // Characters, not bytes: twenty ñ are forty bytes.
    std::string enies;
    for (int i = 0; i < 25; ++i) enies += "ñ";
    std::string veinte;
    for (int i = 0; i < 20; ++i) veinte += "ñ";
    EXPECT_EQ(errores("[\"" + enies), "Missing ']': " + veinte + "\r\n");
    // A number that runs into the end of the text is no value.
    EXPECT_EQ(arbol("[1,2"), "[1,~]");
    EXPECT_EQ(errores("[1,2"), "Missing ']': [1,2\r\n");
    EXPECT_EQ(arbol("{\"a\":1,"), "{a:1,:~}");
}

TEST(Parse, ErrorPositionsAreOneBasedCharacters) {
    EXPECT_EQ(arbol("{\"a\" 1}"), "{a:1}");
    EXPECT_EQ(errores("{\"a\" 1}"), "Invalid Key at position 6 : a\r\n");
    // ñ is one character (two bytes), so "nul" is the seventh character.
    EXPECT_EQ(arbol("[\"ñ\", nul]"), "[\"ñ\"]");
    EXPECT_EQ(errores("[\"ñ\", nul]"), "Invalid null value at position 7 : nul]\r\n");
    // Several errors in one text count on from the earlier ones.
    EXPECT_EQ(arbol("{'ñé' 1, 'ü' 2}"), "{ñé:1,ü:2}");
    EXPECT_EQ(errores("{'ñé' 1, 'ü' 2}"),
              "Invalid Key at position 7 : ñé\r\nInvalid Key at position 14 : ü\r\n");
}

TEST(Parse, InvalidLiteralEndsTheParseInsteadOfLooping) {
    EXPECT_EQ(arbol("[true, tru, 1]"), "[true]");
    EXPECT_EQ(errores("[true, tru, 1]"), "Invalid Boolean at position 8 : tru, 1]\r\n");
    EXPECT_EQ(arbol("[[1, nope], 2]"), "[[1]]");
    EXPECT_EQ(errores("[[1, nope], 2]"), "Invalid null value at position 6 : nope], 2]\r\n");
    EXPECT_EQ(arbol("{\"a\":1,\"b\":fals,\"c\":2}"), "{a:1}");
    EXPECT_EQ(errores("{\"a\":1,\"b\":fals,\"c\":2}"),
              "Invalid Boolean at position 12 : fals,\"c\":2}\r\n");
}

TEST(Parse, StringEscapes) {
    const char* escapes =
        R"(["\u00F1\u00e9", "\ud83d\ude00", "\q\%", "a\"b", 'it\'s', "\/\\", "\u20AC"])";
    EXPECT_EQ(arbol(escapes), "[\"ñé\",\"😀\",\"q%\",\"a\"b\",\"it's\",\"/\\\",\"€\"]");
    EXPECT_EQ(errores(escapes), "");
    auto c = parse(R"(["\b\f\n\r\t", "\ud800x", 'a"b'])").valor.objetoComo<Coleccion>();
    EXPECT_EQ(c->Item(1).comoTexto(), "\b\f\n\r\t");
    EXPECT_EQ(c->Item(2).comoTexto(), "\xEF\xBF\xBDx");  // lone surrogate: U+FFFD
    EXPECT_EQ(c->Item(3).comoTexto(), "a\"b");
    // A string cut by the end of the text keeps what was read.
    EXPECT_EQ(arbol("[\"abc"), "[\"abc\"]");
    // A \u without four hexadecimal digits is a conversion error.
    EXPECT_EQ(arbol("[1,\"\\uZZZZ\"]"), "[1]");
    EXPECT_EQ(errores("[1,\"\\uZZZZ\"]").rfind("Type mismatch: ", 0), 0u);
}

TEST(Parse, NumbersKeepTheirExactTextAndBadOnesAreConversionErrors) {
    const char* numeros = "[12345678901234567, -1.5e+3, 0.10, +7, .5]";
    EXPECT_EQ(arbol(numeros), "[12345678901234567,-1.5e+3,0.10,+7,.5]");
    EXPECT_EQ(errores(numeros), "");
    for (const char* malo : {"[-]", "[1.2.3]", "[1e]", "[--1]"}) {
        EXPECT_EQ(arbol(malo), "[]") << malo;
        EXPECT_EQ(errores(malo), "Type mismatch: ]\r\n") << malo;
    }
    EXPECT_EQ(arbol("{\"a\":1,\"b\":}"), "{a:1}");
    EXPECT_EQ(errores("{\"a\":1,\"b\":}"), "Type mismatch: b\r\n");
    EXPECT_EQ(arbol("[1,]"), "[1]");
    EXPECT_EQ(errores("[1,]"), "Type mismatch: ]\r\n");
}

TEST(Parse, NestingDepthIsLimited) {
    auto anidado = [](int n) { return std::string(n, '[') + std::string(n, ']'); };
    EXPECT_EQ(errores(anidado(1000)), "");
    const json::Analisis hondo = parse(anidado(1001));
    EXPECT_TRUE(hondo.valor.esObjeto());
    EXPECT_EQ(hondo.errores, "Maximum nesting depth exceeded at position 1001\r\n");
    // Far deeper than any stack could recurse, and unbalanced.
    EXPECT_EQ(errores(std::string(2'000'000, '[')),
              "Maximum nesting depth exceeded at position 1001\r\n");
    std::string objetos;
    for (int i = 0; i < 100'000; ++i) objetos += "{\"a\":";
    EXPECT_NE(errores(objetos).find("Maximum nesting depth exceeded"), std::string::npos);
}

TEST(Parse, ArbitraryTextsAlwaysEnd) {
    // Texts made of the grammar's own characters in random order: every
    // parse must end, and a failed one must say why.
    const std::string alfabeto = "{}[]()\"':,/*\\ \n\r\ttfnrlsue0123456789.+-Eaxñ";
    uint32_t semilla = 12345;
    auto azar = [&] {
        semilla = semilla * 1103515245u + 12345u;
        return (semilla >> 16) & 0x7FFF;
    };
    for (int caso = 0; caso < 20000; ++caso) {
        std::string t = (caso % 2) ? "[" : "{";
        const size_t largo = azar() % 40;
        for (size_t i = 0; i < largo; ++i) t += alfabeto[azar() % alfabeto.size()];
        const json::Analisis a = parse(t);
        EXPECT_TRUE(a.valor.esObjeto()) << t;
    }
}

TEST(Encode, EscapesByCodePoint) {
    using json::Encode;
    EXPECT_EQ(Encode("Tom's"), "Tom s");
    EXPECT_EQ(Encode("\t\b\f\n\r"), "\\t\\b\\f\\n\\r");
    EXPECT_EQ(Encode("a\"b\\c/d"), "a\\\"b\\\\c/d");
    EXPECT_EQ(Encode("&{}"), "\\u0026\\u007B\\u007D");
    EXPECT_EQ(Encode(std::string("\x01\x1f\x7f", 3)), "\\u0001\\u001F\x7f");
    EXPECT_EQ(Encode("ñé"), "\\u00F1\\u00E9");
    EXPECT_EQ(Encode("€"), "\\u20AC");
    EXPECT_EQ(Encode("😀"), "\\uD83D\\uDE00");
    EXPECT_EQ(Encode("\xE9t\xE9"), "\\u00E9t\\u00E9");  // stray Latin-1 bytes
    EXPECT_EQ(Encode(""), "");
    // Whatever Encode writes, the parser reads back (quotes become blanks).
    const std::string original = "Peña \"el\" C:\\dir\t€ 😀 {x} & \x01 fin";
    const json::Analisis a = parse("[\"" + Encode(original) + "\"]");
    ASSERT_EQ(a.errores, "");
    auto c = a.valor.objetoComo<Coleccion>();
    EXPECT_EQ(c->Item(1).comoTexto(), original);
}

class FilasEnMemoria : public json::FuenteFilas {
  public:
    FilasEnMemoria(std::vector<std::string> nombres, std::vector<std::vector<Variant>> filas)
        : nombres_(std::move(nombres)), filas_(std::move(filas)) {}
    bool eof() const override { return actual_ >= filas_.size(); }
    bool bof() const override { return filas_.empty(); }
    size_t numeroCampos() const override { return nombres_.size(); }
    const std::string& nombreCampo(size_t i) const override { return nombres_[i]; }
    Variant valorCampo(size_t i) const override { return filas_[actual_][i]; }
    void MoveNext() override { ++actual_; }

  private:
    std::vector<std::string> nombres_;
    std::vector<std::vector<Variant>> filas_;
    size_t actual_ = 0;
};

TEST(RStoJSON, RowsAsObjectsOfStrings) {
    FilasEnMemoria vacio({"Id"}, {});
    EXPECT_EQ(json::RStoJSON(vacio), "null");

    FilasEnMemoria filas({"Id", "Nombre", "Ruta", "Precio", "Activo", "Nota"},
                         {{Variant(int32_t{1}), Variant("Peña's \"bar\""), Variant("C:\\tmp\\x"),
                           Variant(1.5), Variant(true), Variant::Null()},
                          {Variant(comun::Decimal{"12345678901234567"}), Variant("&"), Variant(""),
                           Variant(int16_t{-3}), Variant(false), Variant()}});
    EXPECT_EQ(json::RStoJSON(filas),
              "[{\"Id\":\"1\",\"Nombre\":\"Pe\\u00F1a s \\\"bar\\\"\",\"Ruta\":\"C:tmpx\","
              "\"Precio\":\"1.5\",\"Activo\":\"True\",\"Nota\":\"\"},\r\n"
              "{\"Id\":\"12345678901234567\",\"Nombre\":\"\\u0026\",\"Ruta\":\"\","
              "\"Precio\":\"-3\",\"Activo\":\"False\",\"Nota\":\"\"}]");
    EXPECT_TRUE(filas.eof());
}

}  // namespace
