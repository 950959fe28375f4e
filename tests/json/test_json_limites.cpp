// What a hostile or broken answer may cost: the tree's memory is bounded by
// a multiple of the text, the error text by a fixed size, and the work of
// a string by its length. The heap is counted through the global allocation
// functions of this test program.
#include <malloc.h>
#ifdef _WIN32
// The C runtime of Windows names it _msize.
#define malloc_usable_size _msize
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "json/JSON.h"

using comun::Variant;
using json::Coleccion;
using json::Diccionario;
using json::parse;

namespace {

size_t enUso = 0;
size_t pico = 0;

void* reservar(size_t n) {
    void* p = std::malloc(n == 0 ? 1 : n);
    if (!p) throw std::bad_alloc();
    enUso += malloc_usable_size(p);
    if (enUso > pico) pico = enUso;
    return p;
}

void liberar(void* p) {
    if (!p) return;
    enUso -= malloc_usable_size(p);
    std::free(p);
}

// Heap bytes the parse of `texto` held at its peak, beyond what was held
// before it; the tree is freed before returning.
size_t picoDeParse(const std::string& texto, std::string* errores = nullptr) {
    const size_t antes = enUso;
    pico = enUso;
    {
        json::Analisis arbol = parse(texto);
        if (errores) *errores = arbol.errores;
    }
    return pico - antes;
}

std::string repetir(std::string_view inicio, std::string_view pieza, size_t veces) {
    std::string t(inicio);
    t.reserve(t.size() + pieza.size() * veces + 1);
    for (size_t i = 0; i < veces; ++i) t += pieza;
    return t;
}

constexpr size_t kMiB = size_t{1} << 20;
// The bound the parser promises: four times the text, or 16 MiB for texts
// under 4 MiB; a little more for what lives outside the tree while parsing.
size_t cota(const std::string& texto) {
    return std::max(4 * texto.size(), 16 * kMiB) + kMiB;
}

}  // namespace

void* operator new(size_t n) {
    return reservar(n);
}
void* operator new[](size_t n) {
    return reservar(n);
}
void operator delete(void* p) noexcept {
    liberar(p);
}
void operator delete[](void* p) noexcept {
    liberar(p);
}
void operator delete(void* p, size_t) noexcept {
    liberar(p);
}
void operator delete[](void* p, size_t) noexcept {
    liberar(p);
}

TEST(ParseLimites, TinyValuesStopAtTheMemoryBound) {
    // Each tiny value costs the tree far more than its two or three bytes;
    // past the bound the parse stops with the runtime's out-of-memory line
    // and keeps what it read.
    for (const char* pieza : {"1,", "[],", "{},", "\"\","}) {
        const std::string texto = repetir("[", pieza, 2'000'000);
        std::string errores;
        EXPECT_LE(picoDeParse(texto, &errores), cota(texto)) << pieza;
        EXPECT_EQ(errores.rfind("Out of memory: ", 0), 0u) << pieza;
        EXPECT_EQ(errores.find("\r\n"), errores.size() - 2) << pieza;
        auto lista = parse(texto).valor.objetoComo<Coleccion>();
        EXPECT_GT(lista->Count(), 10'000u) << pieza;
        EXPECT_LT(lista->Count(), 2'000'000u) << pieza;
    }
    // An object of ever new keys.
    std::string claves = "{";
    for (int i = 0; i < 1'000'000; ++i) claves += "k" + std::to_string(i) + ":1 ";
    std::string errores;
    EXPECT_LE(picoDeParse(claves, &errores), cota(claves));
    EXPECT_EQ(errores.rfind("Out of memory: k", 0), 0u);
}

TEST(ParseLimites, SmallObjectsAfterALargeOneStaySmall) {
    // Objects reserve room for their values by the size of the previous one
    // at their depth; an empty or small object must not keep that room.
    std::string texto = "[{";
    for (int i = 0; i < 2000; ++i) texto += "\"k" + std::to_string(i) + "\":1,";
    texto += "\"fin\":1}" + repetir("", ",{}", 2000) + ",{\"a\":1}]";
    std::string errores;
    EXPECT_LT(picoDeParse(texto, &errores), 4 * kMiB);
    EXPECT_EQ(errores, "");
}

TEST(ParseLimites, RealAnswersFitTheBound) {
    // The answer with the most values per byte a server sends: records whose
    // payload members are all empty, far beyond the 500 records of one
    // answer, still parse whole.
    std::string texto = "[";
    for (int r = 0; r < 40'000; ++r) {
        texto += r ? ",{\"id\":\"" : "{\"id\":\"";
        texto += std::to_string(r) + "\",\"Tabla\":\"2\",\"Funcion\":\"A\"";
        for (int c = 1; c <= 39; ++c) texto += ",\"Campo" + std::to_string(c) + "\":\"\"";
        texto += "}";
    }
    texto += "]";
    ASSERT_GT(texto.size(), 16 * kMiB);
    std::string errores;
    EXPECT_LE(picoDeParse(texto, &errores), cota(texto));
    EXPECT_EQ(errores, "");
    EXPECT_EQ(parse(texto).valor.objetoComo<Coleccion>()->Count(), 40'000u);
}

TEST(ParseLimites, ErrorTextKeepsTheFirstLinesAndCountsTheRest) {
    // Every record's key lacks its colon: one error line each.
    const std::string texto = repetir("[{\"a\" 1}", ",{\"a\" 1}", 19'999) + "]";
    const json::Analisis analisis = parse(texto);
    auto lista = analisis.valor.objetoComo<Coleccion>();
    const std::string& errores = analisis.errores;
    EXPECT_EQ(lista->Count(), 20'000u);
    EXPECT_LE(errores.size(), 65u * 1024);
    EXPECT_EQ(
        errores.rfind("Invalid Key at position 7 : a\r\nInvalid Key at position 15 : a\r\n", 0),
        0u);
    // The last line counts those left out; with the one cut at the bound,
    // every error is accounted for.
    const size_t ultima = errores.rfind("\r\n", errores.size() - 3) + 2;
    const std::string cierre = errores.substr(ultima);
    ASSERT_EQ(cierre.front(), '(') << cierre;
    const size_t omitidas = std::stoul(cierre.substr(1));
    EXPECT_EQ(cierre, "(" + std::to_string(omitidas) + " more errors left out)\r\n");
    size_t lineas = 0;
    for (size_t i = errores.find("\r\n"); i < ultima; i = errores.find("\r\n", i + 1)) ++lineas;
    EXPECT_EQ(lineas + omitidas, 20'000u);

    // One huge excerpt is cut at the bound, at a whole character.
    const std::string resto = repetir("", "ñ", 100'000);
    const std::string corto = parse("[tru" + resto).errores;
    EXPECT_LE(corto.size(), 64u * 1024 + 8);
    EXPECT_EQ(corto.rfind("Invalid Boolean at position 2 : truñ", 0), 0u);
    EXPECT_EQ(corto.substr(corto.size() - 7), "ñ...\r\n");
}

TEST(ParseLimites, LongStringsWithManyEscapesReadWhole) {
    // Long strings of escapes, of both quote kinds, with escaped quotes of
    // the other kind around them: each escape must be read where it stands.
    std::string linea(38, 'x');
    std::string doble = repetir("", linea + "\\n", 20'000);
    std::string simple = repetir("", "\\'\\\"\\u00F1", 20'000);
    const json::Analisis analisis =
        parse("[\"" + doble + "\", '" + simple + "', \"a'b\\\"c\", 'd\"e\\'f']");
    ASSERT_EQ(analisis.errores, "");
    auto lista = analisis.valor.objetoComo<Coleccion>();
    ASSERT_EQ(lista->Count(), 4u);
    EXPECT_EQ(lista->Item(1).comoTexto(), repetir("", linea + "\n", 20'000));
    EXPECT_EQ(lista->Item(2).comoTexto(), repetir("", "'\"ñ", 20'000));
    EXPECT_EQ(lista->Item(3).comoTexto(), "a'b\"c");
    EXPECT_EQ(lista->Item(4).comoTexto(), "d\"e'f");
}
