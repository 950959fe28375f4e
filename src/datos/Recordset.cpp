// Recordset: the cursor handed out by Query, over the engine's record set.
#include "datos/Recordset.h"

#include "comun/Texto.h"
#include "datos/DAO_Conexion.h"
#include "datos/Motor.h"

namespace datos {

namespace {

constexpr const char* kCerrado = "Operation is not allowed when the object is closed.";
constexpr const char* kNoEncontrado =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";

void verificarAbierto(const std::unique_ptr<MotorRecordset>& motor) {
    if (!motor || !motor->abierto()) throw ErrorBD(kCerrado);
}

}  // namespace

Recordset::Recordset(std::unique_ptr<MotorRecordset> motor) : motor_(std::move(motor)) {}
Recordset::~Recordset() = default;

bool Recordset::eof() const {
    verificarAbierto(motor_);
    return motor_->eof();
}

bool Recordset::bof() const {
    verificarAbierto(motor_);
    return motor_->bof();
}

size_t Recordset::numeroCampos() const {
    verificarAbierto(motor_);
    return motor_->numeroCampos();
}

const std::string& Recordset::nombreCampo(size_t i) const {
    verificarAbierto(motor_);
    if (i >= motor_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    return motor_->nombreCampo(i);
}

TipoColumna Recordset::tipoCampo(size_t i) const {
    verificarAbierto(motor_);
    if (i >= motor_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    return motor_->tipoCampo(i);
}

size_t Recordset::indiceCampo(std::string_view nombre) const {
    verificarAbierto(motor_);
    const size_t n = motor_->numeroCampos();
    // Exact spelling first (the common case), then without regard to case.
    for (size_t i = 0; i < n; ++i)
        if (motor_->nombreCampo(i) == nombre) return i;
    const std::string buscado = comun::mayusculas(nombre);
    for (size_t i = 0; i < n; ++i)
        if (comun::mayusculas(motor_->nombreCampo(i)) == buscado) return i;
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
    verificarAbierto(motor_);
    if (i >= motor_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    return motor_->valorCampo(i);
}

void Recordset::MoveNext() {
    verificarAbierto(motor_);
    motor_->MoveNext();
}

void Recordset::Close() {
    // Closing twice is harmless (CerrarRs after an explicit Close).
    if (motor_) motor_->Close();
}

bool Recordset::abierto() const {
    return motor_ && motor_->abierto();
}

long Recordset::RecordCount() const {
    verificarAbierto(motor_);
    return motor_->RecordCount();
}

void Recordset::AddNew() {
    verificarAbierto(motor_);
    motor_->AddNew();
}

void Recordset::asignar(size_t i, const Variant& valor) {
    verificarAbierto(motor_);
    if (i >= motor_->numeroCampos()) throw ErrorBD(kNoEncontrado);
    motor_->asignar(i, valor);
}

void Recordset::Update() {
    verificarAbierto(motor_);
    motor_->Update();
}

bool Recordset::actualizable() const {
    return abierto() && motor_->actualizable();
}

}  // namespace datos
