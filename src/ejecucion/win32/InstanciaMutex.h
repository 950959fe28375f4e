// One instance per configuration file on Windows: a named mutex keyed by
// the configuration file's full path, in the machine's global namespace,
// so an instance started by a user and the one the service manager runs
// see each other. The system drops the mutex when the process ends,
// however it ends, and a new instance then starts.
#pragma once

#include <windows.h>

#include <string>

namespace ejecucion::win32 {

class InstanciaMutex {
  public:
    enum class Resultado { Tomada, EnEjecucion, SinBloqueo };
    explicit InstanciaMutex(const std::string& acceso);
    ~InstanciaMutex();
    InstanciaMutex(const InstanciaMutex&) = delete;
    InstanciaMutex& operator=(const InstanciaMutex&) = delete;
    Resultado tomar();
    // What the user is told when it was not taken: "La Aplicación ya esta
    // en ejecución", or why the mutex could not be made.
    std::string explicar(Resultado resultado) const;
    const std::wstring& nombre() const { return nombre_; }

  private:
    std::wstring nombre_;
    HANDLE mutex_ = nullptr;
    DWORD error_ = 0;
};

// The name of the mutex for a configuration file: the same for every
// spelling of one path (relative or absolute, any letter case, "/" or
// "\"), different for another file.
std::wstring nombreDeInstancia(const std::string& acceso);

}  // namespace ejecucion::win32
