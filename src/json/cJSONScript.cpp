#include "json/cJSONScript.h"

#include <algorithm>

#include "comun/Texto.h"

namespace json {

namespace {

std::shared_ptr<Diccionario> comoDiccionario(const Variant& v) {
    return v.esObjeto() ? v.objetoComo<Diccionario>() : nullptr;
}

// Plain text of a member that is compared or joined, not evaluated.
std::string textoDe(const Variant& v) {
    return v.esObjeto() ? std::string() : v.texto();
}

}  // namespace

std::string cJSONScript::Eval(const std::string& script) {
    const Analisis analisis = parse(script);
    const Variant& raiz = analisis.valor;
    std::string resultado;
    if (!analisis.correcto() || !raiz.esObjeto()) {
        dialogos_.mensaje(analisis.errores, "Parser Error", DialogosScript::Icono::Exclamacion);
        return resultado;
    }
    // An object at the root holds no numbered elements: it gives nothing.
    auto col = raiz.objetoComo<Coleccion>();
    if (!col) return resultado;
    for (const Variant& e : col->elementos()) {
        switch (e.tipo()) {
            case comun::TipoVariant::Null:
                resultado += "null";
                break;
            case comun::TipoVariant::Date:
            case comun::TipoVariant::String:
                resultado += e.texto();
                break;
            default:
                resultado += ExecCommand(e);
        }
    }
    return resultado;
}

std::string cJSONScript::ExecCommand(const Variant& valor) {
    if (nivel_ > kNivelMaximo) return "ERROR: Nesting level exceeded.";
    ++nivel_;
    std::string r;
    switch (valor.tipo()) {
        case comun::TipoVariant::Boolean:
            r = std::get<bool>(valor.interno()) ? "true" : "false";
            break;
        case comun::TipoVariant::Null:
            r = "null";
            break;
        case comun::TipoVariant::Date:
        case comun::TipoVariant::String:
            r = valor.texto();
            break;
        case comun::TipoVariant::Empty:
            break;
        case comun::TipoVariant::Object:
            if (auto col = valor.objetoComo<Coleccion>()) {
                for (const Variant& e : col->elementos()) r += ExecCommand(e);
            } else if (auto dic = valor.objetoComo<Diccionario>()) {
                r = comandos(*dic);
            }
            break;
        default:  // numbers: always "." as the decimal separator
            r = valor.texto();
            std::replace(r.begin(), r.end(), ',', '.');
    }
    --nivel_;
    return r;
}

std::string cJSONScript::comandos(const Diccionario& dic) {
    std::string r;
    for (size_t i = 0; i < dic.Count(); ++i) r += comando(dic.Keys()[i], dic.valorEn(i));
    return r;
}

// The evaluated member `nombre` of a command's value; empty when absent.
std::string cJSONScript::miembro(const Variant& v, std::string_view nombre) {
    auto dic = comoDiccionario(v);
    if (!dic) return {};
    return ExecCommand(dic->Item(nombre));
}

std::string cJSONScript::comando(const std::string& clave, const Variant& v) {
    const std::string k = comun::minusculas(clave);
    auto dic = comoDiccionario(v);
    const auto crudo = [&](std::string_view nombre) { return dic ? dic->Item(nombre) : Variant(); };
    if (k == "alert") {
        std::string texto = miembro(v, "message");
        std::string titulo = miembro(v, "title");
        dialogos_.mensaje(texto, titulo, DialogosScript::Icono::Informacion);
        return {};
    }
    if (k == "input") {
        std::string prompt = miembro(v, "prompt");
        std::string titulo = miembro(v, "title");
        std::string defecto = miembro(v, "default");
        return dialogos_.entrada(prompt, titulo, defecto);
    }
    if (k == "switch") {
        std::string resultado = miembro(v, "default");
        const std::string selector = comun::minusculas(miembro(v, "case"));
        Variant items = crudo("items");
        if (auto col = items.esObjeto() ? items.objetoComo<Coleccion>() : nullptr) {
            for (const Variant& item : col->elementos()) {
                auto caso = comoDiccionario(item);
                if (caso && comun::minusculas(textoDe(caso->Item("case"))) == selector) {
                    resultado = ExecCommand(caso->Item("return"));
                    break;
                }
            }
        }
        return resultado;
    }
    if (k == "set") {
        std::string valor = miembro(v, "value");
        variables_.Set(textoDe(crudo("name")), Variant(std::move(valor)));
        return {};
    }
    if (k == "get") {
        std::string r = ExecCommand(variables_.Item(textoDe(crudo("name"))));
        if (r.empty()) r = miembro(v, "default");
        return r;
    }
    if (k == "if") {
        const std::string a = miembro(v, "value1");
        const std::string b = miembro(v, "value2");
        const std::string tipo = comun::minusculas(textoDe(crudo("type")));
        bool condicion = false;
        // Byte order of UTF-8 text is the order of the character codes.
        if (tipo == "eq") {
            condicion = comun::minusculas(a) == comun::minusculas(b);
        } else if (tipo == "gt") {
            condicion = a > b;
        } else if (tipo == "lt") {
            condicion = a < b;
        } else if (tipo == "gte") {
            condicion = a >= b;
        } else if (tipo == "lte") {
            condicion = a <= b;
        }
        return miembro(v, condicion ? "true" : "false");
    }
    if (k == "return") return textoDe(v);
    // Any other key is a call marker with the texts of its parameters.
    std::string parametros;
    if (dic) {
        for (size_t i = 0; i < dic->Count(); ++i) {
            if (i > 0) parametros += ',';
            parametros += textoDe(dic->valorEn(i));
        }
    }
    return "<%" + comun::mayusculas(clave) + "(" + parametros + ")%>";
}

}  // namespace json
