// The script evaluator's commands, with dialogs answered by the test.
#include "json/cJSONScript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using json::cJSONScript;
using json::DialogosScript;

namespace {

class DialogosDePrueba : public DialogosScript {
  public:
    struct Mensaje {
        std::string texto, titulo;
        Icono icono;
    };
    std::vector<Mensaje> mensajes;
    std::vector<std::string> preguntas;
    std::string respuesta = "respuesta";

    void mensaje(const std::string& texto, const std::string& titulo, Icono icono) override {
        mensajes.push_back({texto, titulo, icono});
    }
    std::string entrada(const std::string& prompt, const std::string& titulo,
                        const std::string& defecto) override {
        preguntas.push_back(prompt + "|" + titulo + "|" + defecto);
        return respuesta;
    }
};

class Script : public ::testing::Test {
  protected:
    DialogosDePrueba dialogos;
    cJSONScript script{dialogos};
};

TEST_F(Script, PlainValues) {
    EXPECT_EQ(script.Eval(R"([true, null, "x"])"), "truenullx");
    EXPECT_EQ(script.Eval(R"([[false, 1.5, -2], {}, "é"])"), "false1.5-2é");
    EXPECT_TRUE(dialogos.mensajes.empty());
}

TEST_F(Script, ParseErrorShowsTheParserText) {
    EXPECT_EQ(script.Eval("[1, tru]"), "");
    ASSERT_EQ(dialogos.mensajes.size(), 1u);
    EXPECT_EQ(dialogos.mensajes[0].texto, "Invalid Boolean at position 5 : tru]\r\n");
    EXPECT_EQ(dialogos.mensajes[0].titulo, "Parser Error");
    EXPECT_EQ(dialogos.mensajes[0].icono, DialogosScript::Icono::Exclamacion);
}

TEST_F(Script, IfComparesAsText) {
    const char* plantilla =
        R"([{"if":{"value1":"%1","value2":"%2","type":"%3","true":"T","false":{"return":"F"}}}])";
    auto evaluar = [&](std::string a, std::string b, std::string tipo) {
        std::string s = plantilla;
        s.replace(s.find("%1"), 2, a);
        s.replace(s.find("%2"), 2, b);
        s.replace(s.find("%3"), 2, tipo);
        return script.Eval(s);
    };
    EXPECT_EQ(evaluar("a", "A", "EQ"), "T");
    EXPECT_EQ(evaluar("Ñu", "ñU", "eq"), "T");
    EXPECT_EQ(evaluar("b", "a", "gt"), "T");
    EXPECT_EQ(evaluar("10", "9", "gt"), "F");  // text order, not numeric
    EXPECT_EQ(evaluar("a", "a", "gte"), "T");
    EXPECT_EQ(evaluar("a", "a", "lt"), "F");
    EXPECT_EQ(evaluar("a", "b", "lte"), "T");
    EXPECT_EQ(evaluar("a", "a", "ne"), "F");
}

TEST_F(Script, SwitchSetGetAndCallMarkers) {
    const char* s = R"([
        {"switch":{"case":"B","default":"none","items":[{"case":"a","return":"1"},
                                                         {"case":"b","return":{"return":"2"}}]}},
        {"switch":{"case":"z","default":"none","items":[{"case":"a","return":"1"}]}},
        {"get":{"name":"n","default":"unset"}},
        {"set":{"name":"n","value":["v",1]}},
        {"get":{"name":"n","default":"unset"}},
        {"total":{"a":1,"b":"dos"}},
        {"Hora":"x"}
    ])";
    EXPECT_EQ(script.Eval(s), "2noneunsetv1<%TOTAL(1,dos)%><%HORA()%>");
    // Variables live as long as the evaluator.
    EXPECT_EQ(script.Eval(R"([{"get":{"name":"n"}}])"), "v1");
}

TEST_F(Script, AlertAndInputGoThroughTheDialogs) {
    dialogos.respuesta = "42";
    EXPECT_EQ(script.Eval(R"([{"alert":{"message":["a","b"],"title":"T"}},
                              {"input":{"prompt":"P","title":"T2","default":{"get":{"name":"x","default":"d"}}}}])"),
              "42");
    ASSERT_EQ(dialogos.mensajes.size(), 1u);
    EXPECT_EQ(dialogos.mensajes[0].texto, "ab");
    EXPECT_EQ(dialogos.mensajes[0].titulo, "T");
    EXPECT_EQ(dialogos.mensajes[0].icono, DialogosScript::Icono::Informacion);
    ASSERT_EQ(dialogos.preguntas.size(), 1u);
    EXPECT_EQ(dialogos.preguntas[0], "P|T2|d");
}

TEST_F(Script, NestingBeyondFortyIsRefused) {
    auto anidado = [](int n) {
        return "[" + std::string(n, '[') + "\"x\"" + std::string(n, ']') + ", \"y\"]";
    };
    EXPECT_EQ(script.Eval(anidado(40)), "xy");
    EXPECT_EQ(script.Eval(anidado(41)), "ERROR: Nesting level exceeded.y");
    // The counter comes back down: a later script is not affected.
    EXPECT_EQ(script.Eval(anidado(40)), "xy");
}

}  // namespace
