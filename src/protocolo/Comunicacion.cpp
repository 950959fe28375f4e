#include "protocolo/Comunicacion.h"

#include <algorithm>

#include "json/JSON.h"
#include "protocolo/Entero.h"

namespace protocolo {

namespace {

using comun::Variant;

// What the server ignores around a member of a batch.
std::string_view recortado(std::string_view t) {
    const size_t inicio = t.find_first_not_of(" \t\r\n");
    if (inicio == std::string_view::npos) return {};
    return t.substr(inicio, t.find_last_not_of(" \t\r\n") - inicio + 1);
}

std::string nombreCampo(size_t k) {
    return "Campo" + std::to_string(k);
}

// The names of Campo1 .. Campo40, made once.
const std::array<std::string, kCamposCarga + 1>& nombresCampos() {
    static const auto nombres = [] {
        std::array<std::string, kCamposCarga + 1> n;
        for (size_t k = 1; k <= kCamposCarga; ++k) n[k] = nombreCampo(k);
        return n;
    }();
    return nombres;
}

// A value of a queue row as a batch carries it: its backslashes dropped,
// as the sites have always sent them.
std::string sinBarras(std::string texto) {
    std::erase(texto, '\\');
    return texto;
}

// A member of a delivery: absent or null is no value; an object or a list
// is no text any column can hold.
struct Leido {
    bool valor = false;
    bool compuesto = false;
    std::string texto;
};

Leido leerMiembro(const json::Diccionario& d, std::string_view nombre) {
    Leido l;
    const Variant v = d.Item(nombre);
    if (v.esEmpty() || v.esNull()) return l;
    l.valor = true;
    l.compuesto = v.esObjeto();
    l.texto = v.texto();
    return l;
}

// A table code or a record kind of a delivery: no value, the empty text
// (stored as null) or a whole number.
std::string leerCodigo(const json::Diccionario& d, const char* nombre, Comunicacion& r,
                       size_t miembro, std::string& destino) {
    const Leido l = leerMiembro(d, nombre);
    if (!l.valor) {
        r.sinValor.set(miembro);
        return {};
    }
    if (l.compuesto) return std::string(nombre) + " es un objeto o una lista";
    destino = l.texto;
    if (!l.texto.empty() && !entero32(l.texto))
        return std::string(nombre) + " no es un numero entero: '" + l.texto + "'";
    return {};
}

// A text member of a delivery; a member no column can hold refuses the
// record as the column would ("Type mismatch").
std::string leerTexto(const json::Diccionario& d, std::string_view nombre, Comunicacion& r,
                      size_t miembro, std::string& destino) {
    const Leido l = leerMiembro(d, nombre);
    if (!l.valor) {
        r.sinValor.set(miembro);
        return {};
    }
    if (l.compuesto) return "Type mismatch";
    destino = l.texto;
    return {};
}

// Nothing for an object whose id is empty, absent or null: no record the
// server keeps.
std::optional<Recibido> leerEntrega(const Variant& elemento) {
    Recibido e;
    const auto d = elemento.esObjeto() ? elemento.objetoComo<json::Diccionario>() : nullptr;
    if (!d) {
        e.objeto = false;
        e.rechazo = "el elemento no es un objeto";
        e.elemento = elemento;
        return e;
    }
    Comunicacion& r = e.registro;
    const Variant id = d->Item("id");
    if (id.esObjeto()) {
        e.rechazo = "el id es un objeto o una lista";
    } else {
        r.id = id.texto();
        if (r.id.empty()) return std::nullopt;
    }
    const auto tabla = entero32DeValor(d->Item("Tabla"));
    if (tabla && *tabla > 0) e.tablaAcuse = *tabla;

    // The first reason found, in the order the members are stored.
    auto motivo = [&](std::string m) {
        if (e.rechazo.empty()) e.rechazo = std::move(m);
    };
    motivo(leerCodigo(*d, "Tabla", r, Comunicacion::kTabla, r.tabla));
    motivo(leerCodigo(*d, "Servicio", r, Comunicacion::kServicio, r.servicio));
    motivo(leerTexto(*d, "Origen", r, Comunicacion::kOrigen, r.origen));
    motivo(leerTexto(*d, "Destino", r, Comunicacion::kDestino, r.destino));
    motivo(leerTexto(*d, "Funcion", r, Comunicacion::kFuncion, r.funcion));
    const auto& nombres = nombresCampos();
    for (size_t k = 1; k <= kCamposEntregados; ++k)
        motivo(leerTexto(*d, nombres[k], r, Comunicacion::miembroCampo(k), r.campo(k)));
    r.campo(kCampoIdServidor) = r.id;
    r.enviado = true;
    e.elemento = elemento;
    return e;
}

}  // namespace

std::string Recibido::texto() const {
    return json::escribir(elemento);
}

const std::string& Comunicacion::campo(size_t k) const {
    static const std::string nada;
    return k >= 1 && k <= kCamposCarga ? campos[k - 1] : nada;
}

std::string codificarSaliente(const Comunicacion& r) {
    json::ObjetoTextos o;
    o.agregar("Id", r.id);
    o.agregar("Servicio", sinBarras(r.servicio));
    o.agregar("Tabla", sinBarras(r.tabla));
    o.agregar("Origen", sinBarras(r.origen));
    o.agregar("Destino", sinBarras(r.destino));
    o.agregar("Funcion", sinBarras(r.funcion));
    o.agregar("Enviado", r.enviado ? "True" : "False");
    const auto& nombres = nombresCampos();
    for (size_t k = 1; k <= kCamposCarga; ++k) o.agregar(nombres[k], sinBarras(r.campo(k)));
    return o.cerrar();
}

std::string codificar(const LoteSaliente& lote) {
    if (lote.vacio()) return "null";
    std::vector<std::string> filas;
    filas.reserve(lote.registros.size());
    for (const Comunicacion& r : lote.registros) filas.push_back(codificarSaliente(r));
    return json::lista(filas, kSeparadorSalientes);
}

Comunicacion leerSaliente(const json::Diccionario& d) {
    Comunicacion r;
    r.id = d.Item("Id").texto();
    r.servicio = d.Item("Servicio").texto();
    r.tabla = d.Item("Tabla").texto();
    r.origen = d.Item("Origen").texto();
    r.destino = d.Item("Destino").texto();
    r.funcion = d.Item("Funcion").texto();
    const auto& nombres = nombresCampos();
    for (size_t k = 1; k <= kCamposCarga; ++k) r.campo(k) = d.Item(nombres[k]).texto();
    return r;
}

std::string codificarRecibos(const std::vector<std::string>& filas) {
    std::vector<std::string> objetos;
    objetos.reserve(filas.size());
    for (const std::string& id : filas) {
        json::ObjetoTextos o;
        o.agregar("valor", id);
        objetos.push_back(o.cerrar());
    }
    return json::lista(objetos);
}

Recibos leerRecibos(const Variant& respuesta) {
    const auto lista = respuesta.esObjeto() ? respuesta.objetoComo<json::Coleccion>() : nullptr;
    if (!lista)
        throw ErrorProtocolo(
            "The reply to setData is not a JSON array of objects; nothing was marked");
    for (const Variant& e : lista->elementos()) {
        if (!e.esObjeto() || !e.objetoComo<json::Diccionario>())
            throw ErrorProtocolo(
                "The reply to setData holds an element that is not an object; nothing was "
                "marked");
    }
    Recibos r;
    for (const Variant& e : lista->elementos()) {
        const Variant valor = e.objetoComo<json::Diccionario>()->Item("valor");
        const std::string texto = valor.texto();
        if (texto.empty()) continue;
        const auto id = entero64DeValor(valor);
        if (id && *id >= 1)
            r.filas.push_back(*id);
        else
            r.ilegibles.push_back(texto);
    }
    return r;
}

std::string codificarEntrega(int64_t id, const Comunicacion& r) {
    json::ObjetoTextos o;
    o.agregar("id", std::to_string(id));
    o.agregar("Tabla", r.tabla);
    o.agregar("Origen", r.origen);
    o.agregar("Destino", r.destino);
    o.agregar("Servicio", r.servicio);
    o.agregar("Funcion", r.funcion);
    const auto& nombres = nombresCampos();
    for (size_t k = 1; k <= kCamposEntregados; ++k) o.agregar(nombres[k], r.campo(k));
    return o.cerrar();
}

std::vector<Recibido> leerEntregas(const Variant& respuesta) {
    const auto lista = respuesta.esObjeto() ? respuesta.objetoComo<json::Coleccion>() : nullptr;
    if (!lista)
        throw ErrorProtocolo(
            "The answer to getData is not a JSON array of objects; nothing was stored");
    std::vector<Recibido> recibidos;
    recibidos.reserve(lista->Count());
    for (const Variant& elemento : lista->elementos()) {
        if (auto e = leerEntrega(elemento)) recibidos.push_back(std::move(*e));
    }
    return recibidos;
}

Comunicacion Acuse::comoComunicacion() const {
    Comunicacion r;
    r.servicio = "0";
    r.tabla = std::to_string(tabla);
    r.origen = origen;
    r.destino = kDestinoGeneral;
    r.funcion = "A";
    r.campo(1) = entrega;
    r.enviado = false;
    for (size_t k = 2; k <= kCamposCarga; ++k) r.sinValor.set(Comunicacion::miembroCampo(k));
    return r;
}

bool esAcuse(const Comunicacion& r) {
    return recortado(r.servicio) == "0";
}

std::optional<int64_t> entregaAcusada(const Comunicacion& r) {
    const auto id = entero64(recortado(r.campo(1)));
    if (id && *id > 0) return id;
    return std::nullopt;
}

}  // namespace protocolo
