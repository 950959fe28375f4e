// A small command language written as JSON: a script is an array of values,
// each turned into text; objects are read as commands (message, input,
// switch, if, set/get of named variables, call markers).
#pragma once

#include <cstdint>
#include <string>

#include "json/JSON.h"

namespace json {

// The message box and the input box the scripts use; the window face shows
// real dialogs, tests answer them.
class DialogosScript {
  public:
    enum class Icono { Informacion, Exclamacion };
    virtual ~DialogosScript() = default;
    virtual void mensaje(const std::string& texto, const std::string& titulo, Icono icono) = 0;
    // The user's answer to the prompt, `defecto` being the proposed one.
    virtual std::string entrada(const std::string& prompt, const std::string& titulo,
                                const std::string& defecto) = 0;
};

class cJSONScript {
  public:
    static constexpr int16_t kNivelMaximo = 40;

    explicit cJSONScript(DialogosScript& dialogos) : dialogos_(dialogos) {}

    // The concatenated texts of the script's values; a script that does not
    // parse shows the parser's errors and gives the empty text.
    std::string Eval(const std::string& script);
    // The text of one parsed value, objects being read as commands.
    std::string ExecCommand(const Variant& valor);

  private:
    std::string comandos(const Diccionario& dic);
    std::string comando(const std::string& clave, const Variant& v);
    std::string miembro(const Variant& v, std::string_view nombre);

    DialogosScript& dialogos_;
    Diccionario variables_;
    int16_t nivel_ = 0;
};

}  // namespace json
