// A TLS session over Schannel for the Winsock socket: it takes the bytes
// that arrive from the peer and gives back the bytes to send and the
// plain text decrypted, so the socket keeps its own event-driven flow and
// nothing here ever waits on the network. The peer's certificate is
// checked by the program itself once the handshake ends, by name and by
// chain, against the system's authorities and the private ones given with
// --ca; until it passes, the session carries no data of ours.
#pragma once

#include <windows.h>
#define SECURITY_WIN32
#include <sspi.h>
#include <wincrypt.h>

#include <string>
#include <string_view>

namespace ejecucion::win32 {

// The number shown for a TLS handshake that failed (WinHTTP's "secure
// failure"), as the other runtime shows it.
constexpr int kErrorTls = 12175;

// Private certificate authorities trusted besides the system's.
class AutoridadesTls {
  public:
    AutoridadesTls();
    ~AutoridadesTls();
    AutoridadesTls(const AutoridadesTls&) = delete;
    AutoridadesTls& operator=(const AutoridadesTls&) = delete;

    // Adds the certificates of a PEM file (its path in UTF-8). False, with
    // the reason in `error`, when it holds none.
    bool leer(const std::string& archivo, std::string& error);
    // Adds the certificates of a PEM text; how many it held.
    int agregarPem(std::string_view pem);
    bool vacias() const { return cuantas_ == 0; }
    HCERTSTORE almacen() const { return almacen_; }

  private:
    HCERTSTORE almacen_ = nullptr;
    int cuantas_ = 0;
};

// The site's own certificate and its private key, presented to the TLS
// servers that ask for one. The key (RSA, PEM: PKCS#8 or PKCS#1,
// unencrypted) is imported into a key container of the CryptoAPI that
// lives while this object does: Schannel signs with a key of the system's
// store, never with one held only by this process.
class CertificadoPropioTls {
  public:
    CertificadoPropioTls() = default;
    ~CertificadoPropioTls();
    CertificadoPropioTls(const CertificadoPropioTls&) = delete;
    CertificadoPropioTls& operator=(const CertificadoPropioTls&) = delete;

    // False, with the reason in `error`, when either file cannot be read,
    // the key is not an RSA one, or it is not the certificate's.
    bool leer(const std::string& certificado, const std::string& clave, std::string& error);
    // The certificate with its key attached; null until read.
    PCCERT_CONTEXT contexto() const { return certificado_; }

  private:
    void soltar() noexcept;

    PCCERT_CONTEXT certificado_ = nullptr;
    std::wstring contenedor_;
};

class CanalTls {
  public:
    enum class Estado {
        Saludando,  // the handshake is under way
        Abierto,    // handshake done and the peer's certificate verified
        Cerrado,    // the peer ended the session (close_notify)
        Fallido,    // the handshake or the session failed: see `error`
    };

    // A session with `host` (the name its certificate must carry);
    // `destino` is how the console names the peer ("host:port").
    // `autoridades` may be null; it must outlive the session.
    // `propio`, the site's certificate, may be null; it must outlive the
    // session too.
    CanalTls(const std::string& host, const std::string& destino, const AutoridadesTls* autoridades,
             const CertificadoPropioTls* propio = nullptr);
    ~CanalTls();
    CanalTls(const CanalTls&) = delete;
    CanalTls& operator=(const CanalTls&) = delete;

    // Starts the handshake: the client's first message goes to `aEnviar`.
    void iniciar(std::string& aEnviar);
    // Takes bytes that came from the peer. What must go back to it is
    // appended to `aEnviar`, the decrypted data to `claro`.
    void recibir(std::string_view llegados, std::string& aEnviar, std::string& claro);
    // The peer ended the connection (TCP): a handshake under way fails.
    void finDelPar(const std::string& motivo);
    // Encrypts data of ours; only once the session is open.
    bool cifrar(std::string_view claro, std::string& aEnviar);
    // The close_notify of our side, to send before closing ("" when the
    // session is not open).
    std::string cerrar();

    Estado estado() const { return estado_; }
    // For a failed session, the console's description of why.
    const std::string& error() const { return error_; }

  private:
    // Goes on with the handshake on what has come in; `aunSinDatos` calls
    // Schannel once even with nothing (a handshake inside the session).
    void saludar(std::string& aEnviar, bool aunSinDatos);
    void descifrar(std::string& claro);
    bool verificarPar(std::string& motivo);
    void fallarSaludo(const std::string& motivo);
    void fallar(const std::string& descripcion);
    bool adquirirCredenciales(std::string& motivo);

    std::wstring host_;
    std::string destino_;
    const AutoridadesTls* autoridades_;
    const CertificadoPropioTls* propio_;
    CredHandle credenciales_{};
    bool conCredenciales_ = false;
    CtxtHandle contexto_{};
    bool conContexto_ = false;
    SecPkgContext_StreamSizes tamanos_{};
    Estado estado_ = Estado::Saludando;
    // A handshake again inside an open session (renegotiation, or the
    // messages TLS 1.3 sends after its handshake).
    bool renegociando_ = false;
    // Bytes from the peer not yet consumed (a record not yet whole).
    std::string entrada_;
    // Data of ours given while a handshake inside the session goes on.
    std::string pendienteClaro_;
    std::string error_;
};

}  // namespace ejecucion::win32
