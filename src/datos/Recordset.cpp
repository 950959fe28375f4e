// Recordset: the cursor handed out by Query, over the engine's record set.
#include "datos/Recordset.h"

#include "comun/Texto.h"
#include "datos/Controlador.h"
#include "datos/DAO_Conexion.h"

namespace datos {

namespace {

constexpr const char* kCerrado = "Operation is not allowed when the object is closed.";
constexpr const char* kNoEncontrado =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";

void verificarAbierto(const std::unique_ptr<ControladorRecordset>& controlador) {
    if (!controlador || !controlador->abierto()) throw ErrorBD(kCerrado);
}

bool esAscii(std::string_view t) {
    for (const char c : t)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

char mayusculaAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool igualesAsciiSinCaso(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (mayusculaAscii(a[i]) != mayusculaAscii(b[i])) return false;
    return true;
}

}  // namespace

Recordset::Recordset(std::unique_ptr<ControladorRecordset> controlador)
    : controlador_(std::move(controlador)) {}
Recordset::~Recordset() = default;

bool Recordset::eof() const {
    verificarAbierto(controlador_);
    return controlador_->eof();
}

bool Recordset::bof() const {
    verificarAbierto(controlador_);
    return controlador_->bof();
}

size_t Recordset::numeroCampos() const {
    verificarAbierto(controlador_);
    return controlador_->numeroCampos();
}

const std::string& Recordset::nombreCampo(size_t i) const {
    verificarAbierto(controlador_);
    if (i >= controlador_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    return controlador_->nombreCampo(i);
}

TipoColumna Recordset::tipoCampo(size_t i) const {
    verificarAbierto(controlador_);
    if (i >= controlador_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    return controlador_->tipoCampo(i);
}

size_t Recordset::indiceCampo(std::string_view nombre) const {
    verificarAbierto(controlador_);
    const size_t n = controlador_->numeroCampos();
    // Exact spelling first (the common case), then without regard to case:
    // plain ASCII letters by themselves, any other name through its capitals.
    for (size_t i = 0; i < n; ++i)
        if (controlador_->nombreCampo(i) == nombre) return i;
    if (esAscii(nombre)) {
        for (size_t i = 0; i < n; ++i)
            if (igualesAsciiSinCaso(controlador_->nombreCampo(i), nombre)) return i;
    }
    const std::string buscado = comun::mayusculas(nombre);
    for (size_t i = 0; i < n; ++i)
        if (comun::mayusculas(controlador_->nombreCampo(i)) == buscado) return i;
    throw ErrorBD(std::string(kNoEncontrado) + " (" + std::string(nombre) + ")");
}

bool Recordset::tieneCampo(std::string_view nombre) const {
    try {
        indiceCampo(nombre);
        return true;
    } catch (const ErrorBD&) {
        return false;
    }
}

Variant Recordset::valorCampo(size_t i) const {
    verificarAbierto(controlador_);
    if (i >= controlador_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    return controlador_->valorCampo(i);
}

void Recordset::MoveNext() {
    verificarAbierto(controlador_);
    controlador_->MoveNext();
}

void Recordset::Close() {
    // Closing twice is harmless (CerrarRs after an explicit Close).
    if (controlador_) controlador_->Close();
}

bool Recordset::abierto() const {
    return controlador_ && controlador_->abierto();
}

long Recordset::RecordCount() const {
    verificarAbierto(controlador_);
    return controlador_->RecordCount();
}

void Recordset::AddNew() {
    verificarAbierto(controlador_);
    controlador_->AddNew();
}

void Recordset::asignar(size_t i, const Variant& valor) {
    verificarAbierto(controlador_);
    if (i >= controlador_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    controlador_->asignar(i, valor);
}

void Recordset::Update() {
    verificarAbierto(controlador_);
    controlador_->Update();
}

void Recordset::CancelUpdate() {
    verificarAbierto(controlador_);
    controlador_->CancelUpdate();
}

bool Recordset::actualizable() const {
    return abierto() && controlador_->actualizable();
}

}  // namespace datos
