#include "programa/Ejecutar.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "datos/DAO_Conexion.h"
#include "ejecucion/Terminal.h"
#include "programa/Comando.h"

namespace programa {

namespace {

bool esConsulta(std::string_view sql) {
    size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
    std::string palabra;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        palabra += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return palabra == "SELECT";
}

void imprimirFilas(datos::Recordset& rs, std::ostream& salida) {
    while (!datos::DAO_Conexion::RsVacio(&rs)) {
        for (size_t i = 0; i < rs.numeroCampos(); ++i) {
            if (i) salida << '|';
            salida << rs.valorCampo(i).texto();
        }
        salida << '\n';
        rs.MoveNext();
    }
}

// Characters a text takes on a terminal: its UTF-8 code points.
size_t anchoVisible(const std::string& texto) {
    size_t ancho = 0;
    for (unsigned char c : texto)
        if ((c & 0xC0) != 0x80) ++ancho;
    return ancho;
}

// A value as one terminal cell: line ends and tabs would break the columns.
std::string celda(const comun::Variant& valor) {
    std::string texto = valor.texto();
    for (char& c : texto)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return texto;
}

// The rows under a header of the column names, each column as wide as its
// widest value among the first rows (later rows are not held in memory:
// a longer value only widens its own line), numbers to the right.
void imprimirTabla(datos::Recordset& rs, std::ostream& salida) {
    constexpr size_t kFilasMedidas = 1000;
    const size_t campos = rs.numeroCampos();
    std::vector<std::string> nombres(campos);
    std::vector<size_t> anchos(campos);
    std::vector<bool> numericas(campos, false);
    for (size_t i = 0; i < campos; ++i) {
        nombres[i] = rs.nombreCampo(i);
        anchos[i] = anchoVisible(nombres[i]);
    }
    std::vector<std::vector<std::string>> filas;
    auto leerFila = [&] {
        std::vector<std::string> fila(campos);
        for (size_t i = 0; i < campos; ++i) {
            const comun::Variant valor = rs.valorCampo(i);
            if (valor.esNumero()) numericas[i] = true;
            fila[i] = celda(valor);
        }
        rs.MoveNext();
        return fila;
    };
    while (filas.size() < kFilasMedidas && !datos::DAO_Conexion::RsVacio(&rs)) {
        filas.push_back(leerFila());
        for (size_t i = 0; i < campos; ++i)
            anchos[i] = std::max(anchos[i], anchoVisible(filas.back()[i]));
    }
    auto imprimir = [&](const std::vector<std::string>& fila, bool cabecera) {
        std::string linea;
        for (size_t i = 0; i < campos; ++i) {
            if (i) linea += " | ";
            const size_t relleno = anchos[i] - std::min(anchos[i], anchoVisible(fila[i]));
            const bool derecha = numericas[i] && !cabecera;
            if (derecha) linea.append(relleno, ' ');
            linea += fila[i];
            if (!derecha && i + 1 < campos) linea.append(relleno, ' ');
        }
        salida << linea << '\n';
    };
    imprimir(nombres, true);
    std::string raya;
    for (size_t i = 0; i < campos; ++i) {
        if (i) raya += "-+-";
        raya.append(anchos[i], '-');
    }
    salida << raya << '\n';
    for (const auto& fila : filas) imprimir(fila, false);
    size_t total = filas.size();
    while (!datos::DAO_Conexion::RsVacio(&rs)) {
        imprimir(leerFila(), false);
        ++total;
    }
    salida << "(" << total << (total == 1 ? " row)" : " rows)") << '\n';
}

}  // namespace

int ejecutarSql(const std::string& archivo, const std::string& sql, std::ostream& salida,
                std::ostream& errores, bool tabla) {
    datos::DAO_Conexion conexion;
    conexion.dataFile(archivo);
    try {
        conexion.conectar();
        if (esConsulta(sql)) {
            auto rs = conexion.Query(sql);
            if (tabla) {
                imprimirTabla(*rs, salida);
            } else {
                imprimirFilas(*rs, salida);
            }
        } else {
            salida << conexion.comando(sql) << '\n';
        }
        conexion.desconectar();
    } catch (const std::exception& e) {
        errores << "ejecutar: " << e.what() << '\n';
        return 1;
    }
    return 0;
}

namespace {

// The rows of one of the synchronizer's own tables, one per line, oldest
// first; nothing when a database made by an earlier build lacks the table.
int listarTablaPropia(const std::string& archivo, const char* tabla, const char* columnas,
                      const char* orden, std::ostream& salida, std::ostream& errores) {
    datos::DAO_Conexion conexion;
    conexion.dataFile(archivo);
    try {
        conexion.conectar();
        if (conexion.existeTabla(tabla)) {
            auto rs = conexion.Query(std::string("SELECT ") + columnas + " FROM " + tabla +
                                     " ORDER BY Id");
            imprimirFilas(*rs, salida);
        }
        conexion.desconectar();
    } catch (const std::exception& e) {
        errores << orden << ": " << e.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int listarCuarentena(const std::string& archivo, std::ostream& salida, std::ostream& errores) {
    return listarTablaPropia(archivo, "CUARENTENA", "Id, Fecha, IdServidor, Motivo, Texto",
                             "cuarentena", salida, errores);
}

int listarPedidosNoAplicados(const std::string& archivo, std::ostream& salida,
                             std::ostream& errores) {
    return listarTablaPropia(archivo, "PEDIDOS_NO_APLICADOS",
                             "Id, Fecha, IdComunicacion, IdServidor, Origen, Motivo, Texto",
                             "pedidos-no-aplicados", salida, errores);
}

namespace {

// The commands over the site database: one statement, and the listings of
// the program's own tables.
class ComandoEjecutar : public Comando {
  public:
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        CLI::App* sub = programa.add_subcommand(
            "ejecutar", "Run one SQL statement (Access dialect) on a site database");
        sub->add_option("archivo", archivo_, "Site database file")->required();
        sub->add_option("sql", sql_, "The statement")->required();
        return sub;
    }
    int ejecutar(const OpcionesGlobales&) override {
        // A person at a terminal reads a table; a script reads "|" lines.
        return ejecutarSql(archivo_, sql_, std::cout, std::cerr, ejecucion::salidaEsTerminal());
    }

  private:
    std::string archivo_;
    std::string sql_;
};

class ComandoListado : public Comando {
  public:
    using Listar = int (*)(const std::string&, std::ostream&, std::ostream&);
    ComandoListado(const char* nombre, const char* descripcion, Listar listar)
        : nombre_(nombre), descripcion_(descripcion), listar_(listar) {}
    CLI::App* declarar(CLI::App& programa, OpcionesGlobales&) override {
        CLI::App* sub = programa.add_subcommand(nombre_, descripcion_);
        sub->add_option("archivo", archivo_, "Site database file")->required();
        return sub;
    }
    int ejecutar(const OpcionesGlobales&) override {
        return listar_(archivo_, std::cout, std::cerr);
    }

  private:
    const char* nombre_;
    const char* descripcion_;
    Listar listar_;
    std::string archivo_;
};

}  // namespace

std::unique_ptr<Comando> comandoEjecutar() {
    return std::make_unique<ComandoEjecutar>();
}

std::unique_ptr<Comando> comandoCuarentena() {
    return std::make_unique<ComandoListado>(
        "cuarentena", "List the inbound records set aside because they could not be stored",
        listarCuarentena);
}

std::unique_ptr<Comando> comandoPedidosNoAplicados() {
    return std::make_unique<ComandoListado>(
        "pedidos-no-aplicados",
        "List the remote order actions that changed nothing at the site (an unknown product, a "
        "telephone nobody has, ...), with why",
        listarPedidosNoAplicados);
}

}  // namespace programa
