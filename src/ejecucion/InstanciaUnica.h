// One instance per configuration file: two sites with their own files run
// side by side on one machine.
#pragma once

#include <QString>
#include <string>

namespace ejecucion {

// The lock is a lock of the system on a file in the temporary folder, keyed
// by the configuration file's absolute path: the system drops it when the
// process ends, however it ends, so a new instance starts as soon as a
// killed one is gone (as a service manager expects when it restarts the
// service). Nothing is guessed from process ids, which the system gives out
// again. The holder removes the file when it ends.
class InstanciaUnica {
  public:
    enum class Resultado { Tomada, EnEjecucion, SinBloqueo };
    explicit InstanciaUnica(const std::string& acceso);
    ~InstanciaUnica();
    InstanciaUnica(const InstanciaUnica&) = delete;
    InstanciaUnica& operator=(const InstanciaUnica&) = delete;
    Resultado tomar();
    // What the user is told when the lock was not taken: "La Aplicación ya
    // esta en ejecución", or which lock file could not be created.
    std::string explicar(Resultado resultado) const;
    const QString& archivo() const { return archivo_; }

  private:
    QString archivo_;
    int descriptor_ = -1;  // the locked file, while held
};

}  // namespace ejecucion
