// Every statement text the site's program issues (soporte/Sentencias.h),
// with its values filled in, must translate to SQLite that prepares and runs
// against tables holding the columns it names, and must still be a text of
// the program's sources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BaseMemoria.h"
#include "soporte/Sentencias.h"

namespace {

TEST(Corpus, CadaSentenciaSeTraduceYCorre) {
    prueba::BaseMemoria base;
    for (const auto& s : prueba::leerSentencias()) {
        SCOPED_TRACE("sentencias.txt:" + std::to_string(s.linea) + ": " + s.texto);
        EXPECT_NO_THROW(base.ejecutar(s.texto));
    }
}

// A statement changed in the code and not in the file (or the other way
// round) fails here, so the corpus the other tests run is the program's.
TEST(Corpus, CadaSentenciaEsLaDelPrograma) {
    const auto codigo = prueba::sentenciasDelCodigo(SINC_SOURCE_DIR "/src");
    ASSERT_GT(codigo.size(), 100u);
    for (const auto& s : prueba::leerSentencias())
        EXPECT_TRUE(prueba::estaEnElCodigo(s.plantilla, codigo))
            << "sentencias.txt:" << s.linea << " is not a statement of src/: " << s.texto;
}

// How the sources are read: literals joined directly or around values, and
// what is not a statement kept apart.
TEST(Corpus, LasSentenciasSeLeenDelCodigo) {
    const auto s = prueba::sentenciasDeFuente(
        "auto rs = Query(\"SELECT * FROM T WHERE A = '\" + a +\n"
        "                \"' AND B = \" \"1\"); // \"no\"\n"
        "f('\"'); g(std::string(\"DELETE FROM T WHERE ID = \") + std::to_string(id));\n"
        "h(R\"(x \" y)\", \"UPDATE T SET A = 1\");");
    const std::string valor(1, '\0');
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], "SELECT * FROM T WHERE A = '" + valor + "' AND B = 1");
    EXPECT_EQ(s[1], "DELETE FROM T WHERE ID = " + valor);
    EXPECT_EQ(s[2], "UPDATE T SET A = 1");
    EXPECT_TRUE(prueba::estaEnElCodigo(valor + "' AND B = 1 ", s));
    EXPECT_FALSE(prueba::estaEnElCodigo("A = '" + valor + "' AND C", s));
}

}  // namespace
