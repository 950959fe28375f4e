#include "ejecucion/win32/CanalTls.h"

// SCH_CREDENTIALS and TLS_PARAMETERS (the newer credentials) are declared
// only with this, and use UNICODE_STRING (subauth.h, first).
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "ejecucion/win32/Texto.h"

namespace ejecucion::win32 {

namespace {

// What the session asks of Schannel: a stream with integrity, replay and
// order checks; its buffers allocated by Schannel; the peer's certificate
// checked here, not by Schannel (which knows no private authority); no
// certificate of the user's offered on its own.
constexpr ULONG kPeticion = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                            ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                            ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                            ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;

// A handshake message is a few kilobytes; a peer that sends far more
// without completing one is not doing a handshake.
constexpr size_t kMaximoSaludo = 1 << 20;

// The server policy's flag that lets an unknown root pass (declared with
// the WinINet headers).
constexpr DWORD kIgnorarAutoridadDesconocida = 0x00000100;

// An authority file is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaximoArchivoPem = 1 << 20;

std::string hexadecimal(unsigned long numero) {
    char texto[16];
    std::snprintf(texto, sizeof texto, "0x%08lX", numero);
    return texto;
}

// A PEM file's text; false when it cannot be read or is far too large.
bool leerArchivo(const std::string& archivo, std::string& texto) {
    const std::filesystem::path ruta(aAncho(archivo));
    std::error_code e;
    const auto tamano = std::filesystem::file_size(ruta, e);
    std::ifstream entrada(ruta, std::ios::binary);
    if (e || tamano > kMaximoArchivoPem || !entrada) return false;
    texto.assign(std::istreambuf_iterator<char>(entrada), std::istreambuf_iterator<char>());
    return true;
}

// Why Schannel ended a handshake or a session.
std::string describirSchannel(SECURITY_STATUS estado) {
    switch (estado) {
        case SEC_E_ILLEGAL_MESSAGE:
        case SEC_E_INVALID_TOKEN:
            return "the peer's answer is not a valid TLS message";
        case SEC_E_UNSUPPORTED_FUNCTION:
        case SEC_E_ALGORITHM_MISMATCH:
            return "the peer has no TLS version or cipher in common with this system";
        case SEC_E_MESSAGE_ALTERED:
        case SEC_E_DECRYPT_FAILURE:
            return "a record from the peer failed its integrity check";
        case SEC_E_CERT_UNKNOWN:
        case SEC_E_CERT_EXPIRED:
        case SEC_E_UNTRUSTED_ROOT:
            return "the peer refused this site's certificate";
        case SEC_E_INTERNAL_ERROR:
            return "the TLS handshake failed (Schannel internal error)";
        default:
            break;
    }
    const std::string texto = textoDelSistema(static_cast<unsigned long>(estado));
    const std::string numero = hexadecimal(static_cast<unsigned long>(estado));
    return texto.empty() ? "Schannel error " + numero : texto + " (" + numero + ")";
}

// Why a certificate chain failed the server policy.
std::string describirCertificado(DWORD error, const std::wstring& host) {
    switch (error) {
        case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
            return "the certificate's authority is not trusted";
        case static_cast<DWORD>(CERT_E_CHAINING):
            return "the certificate does not chain to a trusted authority";
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
            return "the certificate is not for the name " + deAncho(host);
        case static_cast<DWORD>(CERT_E_EXPIRED):
            return "the certificate has expired or is not yet valid";
        case static_cast<DWORD>(CERT_E_WRONG_USAGE):
            return "the certificate is not for a TLS server";
        case static_cast<DWORD>(CERT_E_REVOKED):
            return "the certificate has been revoked";
        case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
        case static_cast<DWORD>(TRUST_E_BAD_DIGEST):
            return "the certificate's signature is not valid";
        default:
            break;
    }
    const std::string texto = textoDelSistema(error);
    return texto.empty() ? "certificate error " + hexadecimal(error) : texto;
}

// Moves a token Schannel allocated to `destino` and frees it.
void tomarSalida(SecBuffer& salida, std::string& destino) {
    if (salida.pvBuffer) {
        destino.append(static_cast<const char*>(salida.pvBuffer), salida.cbBuffer);
        ::FreeContextBuffer(salida.pvBuffer);
        salida.pvBuffer = nullptr;
        salida.cbBuffer = 0;
    }
}

// Drops from `entrada` what a call consumed: all of it but the bytes an
// extra buffer says are left (the start of the next record).
void dejarSobrante(std::string& entrada, const SecBuffer& sobrante) {
    if (sobrante.BufferType == SECBUFFER_EXTRA && sobrante.cbBuffer > 0 &&
        sobrante.cbBuffer <= entrada.size())
        entrada.erase(0, entrada.size() - sobrante.cbBuffer);
    else
        entrada.clear();
}

// The error bits a chain may carry and still be taken when its root is a
// private authority: that root is unknown to the system, and revocation is
// not asked for.
constexpr DWORD kErroresDeRaizPropia = CERT_TRUST_IS_UNTRUSTED_ROOT |
                                       CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                       CERT_TRUST_IS_OFFLINE_REVOCATION;

// Why a chain the system built is not good, from its error bits; "" when
// nothing is wrong. `ignorar` holds bits that are not faults here.
std::string describirCadena(DWORD errores, DWORD ignorar) {
    errores &= ~(ignorar | CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (errores == 0) return {};
    if (errores & CERT_TRUST_IS_PARTIAL_CHAIN)
        return "the certificate does not chain to a trusted authority";
    if (errores & CERT_TRUST_IS_UNTRUSTED_ROOT) return "the certificate's authority is not trusted";
    if (errores & CERT_TRUST_IS_NOT_TIME_VALID)
        return "the certificate has expired or is not yet valid";
    if (errores & CERT_TRUST_IS_REVOKED) return "the certificate has been revoked";
    if (errores & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
        return "the certificate's signature is not valid";
    if (errores & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
        return "the certificate is not for a TLS server";
    return "its chain is not valid (" + hexadecimal(errores) + ")";
}

// Whether the chain ends, self-signed, at one of the private authorities,
// with nothing wrong but that the system does not know that root.
bool terminaEnAutoridadPropia(PCCERT_CHAIN_CONTEXT cadena, HCERTSTORE propias) {
    if (!cadena || cadena->cChain == 0) return false;
    if ((cadena->TrustStatus.dwErrorStatus & ~kErroresDeRaizPropia) != 0) return false;
    const CERT_SIMPLE_CHAIN* simple = cadena->rgpChain[cadena->cChain - 1];
    if (!simple || simple->cElement == 0) return false;
    const CERT_CHAIN_ELEMENT* raiz = simple->rgpElement[simple->cElement - 1];
    if (!(raiz->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED)) return false;
    PCCERT_CONTEXT hallada =
        ::CertFindCertificateInStore(propias, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                     CERT_FIND_EXISTING, raiz->pCertContext, nullptr);
    if (!hallada) return false;
    ::CertFreeCertificateContext(hallada);
    return true;
}

}  // namespace

// ------------------------------------------------------------ authorities

AutoridadesTls::AutoridadesTls()
    : almacen_(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr)) {
}

AutoridadesTls::~AutoridadesTls() {
    if (almacen_) ::CertCloseStore(almacen_, 0);
}

int AutoridadesTls::agregarPem(std::string_view pem) {
    static constexpr std::string_view kInicio = "-----BEGIN CERTIFICATE-----";
    static constexpr std::string_view kFin = "-----END CERTIFICATE-----";
    int agregadas = 0;
    size_t desde = 0;
    for (;;) {
        const size_t inicio = pem.find(kInicio, desde);
        if (inicio == std::string_view::npos) break;
        const size_t fin = pem.find(kFin, inicio);
        if (fin == std::string_view::npos) break;
        desde = fin + kFin.size();
        const std::string_view bloque = pem.substr(inicio, desde - inicio);
        DWORD largo = 0;
        if (!::CryptStringToBinaryA(bloque.data(), static_cast<DWORD>(bloque.size()),
                                    CRYPT_STRING_BASE64HEADER, nullptr, &largo, nullptr, nullptr))
            continue;
        std::vector<BYTE> der(largo);
        if (!::CryptStringToBinaryA(bloque.data(), static_cast<DWORD>(bloque.size()),
                                    CRYPT_STRING_BASE64HEADER, der.data(), &largo, nullptr,
                                    nullptr))
            continue;
        if (almacen_ && ::CertAddEncodedCertificateToStore(
                            almacen_, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), largo,
                            CERT_STORE_ADD_USE_EXISTING, nullptr))
            ++agregadas;
    }
    cuantas_ += agregadas;
    return agregadas;
}

bool AutoridadesTls::leer(const std::string& archivo, std::string& error) {
    std::string texto;
    if (!leerArchivo(archivo, texto)) {
        error = "the file " + archivo + " cannot be read";
        return false;
    }
    if (agregarPem(texto) == 0) {
        error = "no PEM certificate could be read from " + archivo;
        return false;
    }
    return true;
}

// ------------------------------------------------------ own certificate

namespace {

// The DER bytes of the first PEM block of a kind ("CERTIFICATE", "PRIVATE
// KEY", ...); empty when there is none.
std::vector<BYTE> bloquePem(std::string_view pem, const std::string& tipo) {
    const std::string inicio = "-----BEGIN " + tipo + "-----";
    const std::string fin = "-----END " + tipo + "-----";
    const size_t a = pem.find(inicio);
    const size_t b = a == std::string_view::npos ? a : pem.find(fin, a);
    if (b == std::string_view::npos) return {};
    const std::string_view bloque = pem.substr(a, b + fin.size() - a);
    DWORD largo = 0;
    if (!::CryptStringToBinaryA(bloque.data(), static_cast<DWORD>(bloque.size()),
                                CRYPT_STRING_BASE64HEADER, nullptr, &largo, nullptr, nullptr))
        return {};
    std::vector<BYTE> der(largo);
    if (!::CryptStringToBinaryA(bloque.data(), static_cast<DWORD>(bloque.size()),
                                CRYPT_STRING_BASE64HEADER, der.data(), &largo, nullptr, nullptr))
        return {};
    der.resize(largo);
    return der;
}

// Decodes a structure of the CryptoAPI; empty when it does not decode.
std::vector<BYTE> decodificar(LPCSTR tipo, const BYTE* datos, DWORD largo) {
    DWORD n = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, tipo, datos, largo, 0,
                               nullptr, nullptr, &n))
        return {};
    std::vector<BYTE> resultado(n);
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, tipo, datos, largo, 0,
                               nullptr, resultado.data(), &n))
        return {};
    resultado.resize(n);
    return resultado;
}

// One DER element at `de` of `datos`: its tag, and where its contents
// start and end. False when it does not fit.
bool elementoDer(const std::vector<BYTE>& datos, size_t de, BYTE& etiqueta, size_t& inicio,
                 size_t& fin) {
    if (de + 2 > datos.size()) return false;
    etiqueta = datos[de];
    size_t largo = datos[de + 1];
    size_t p = de + 2;
    if (largo & 0x80) {
        const size_t bytes = largo & 0x7F;
        if (bytes == 0 || bytes > 4 || p + bytes > datos.size()) return false;
        largo = 0;
        for (size_t k = 0; k < bytes; ++k) largo = (largo << 8) | datos[p++];
    }
    if (largo > datos.size() - p) return false;
    inicio = p;
    fin = p + largo;
    return true;
}

// The PKCS#1 key inside a PKCS#8 one (SEQUENCE { version, SEQUENCE {
// algorithm, parameters }, OCTET STRING key, ... }), when it is RSA.
bool rsaDePkcs8(const std::vector<BYTE>& pkcs8, std::vector<BYTE>& pkcs1, std::string& motivo) {
    // rsaEncryption, 1.2.840.113549.1.1.1.
    static const BYTE kRsa[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    motivo = "its private key cannot be decoded";
    BYTE etiqueta = 0;
    size_t todo = 0, finTodo = 0;
    if (!elementoDer(pkcs8, 0, etiqueta, todo, finTodo) || etiqueta != 0x30) return false;
    size_t version = 0, finVersion = 0;
    if (!elementoDer(pkcs8, todo, etiqueta, version, finVersion) || etiqueta != 0x02) return false;
    size_t algoritmo = 0, finAlgoritmo = 0;
    if (!elementoDer(pkcs8, finVersion, etiqueta, algoritmo, finAlgoritmo) || etiqueta != 0x30)
        return false;
    size_t oid = 0, finOid = 0;
    if (!elementoDer(pkcs8, algoritmo, etiqueta, oid, finOid) || etiqueta != 0x06) return false;
    if (finOid - oid != sizeof kRsa || std::memcmp(pkcs8.data() + oid, kRsa, sizeof kRsa) != 0) {
        motivo = "its private key is not an RSA key (only RSA keys are taken on Windows)";
        return false;
    }
    size_t clave = 0, finClave = 0;
    if (!elementoDer(pkcs8, finAlgoritmo, etiqueta, clave, finClave) || etiqueta != 0x04 ||
        finClave > finTodo)
        return false;
    pkcs1.assign(pkcs8.begin() + static_cast<std::ptrdiff_t>(clave),
                 pkcs8.begin() + static_cast<std::ptrdiff_t>(finClave));
    return true;
}

// The RSA private key of a PEM text as the CryptoAPI's PRIVATEKEYBLOB:
// from PKCS#8 ("PRIVATE KEY") or PKCS#1 ("RSA PRIVATE KEY").
std::vector<BYTE> claveRsa(std::string_view pem, std::string& motivo) {
    std::vector<BYTE> der = bloquePem(pem, "RSA PRIVATE KEY");
    if (der.empty()) {
        std::vector<BYTE> pkcs8 = bloquePem(pem, "PRIVATE KEY");
        if (pkcs8.empty()) {
            motivo = "no unencrypted PEM private key (PKCS#8 or RSA) in it";
            return {};
        }
        const bool rsa = rsaDePkcs8(pkcs8, der, motivo);
        ::SecureZeroMemory(pkcs8.data(), pkcs8.size());
        if (!rsa) return {};
    }
    std::vector<BYTE> blob =
        decodificar(PKCS_RSA_PRIVATE_KEY, der.data(), static_cast<DWORD>(der.size()));
    ::SecureZeroMemory(der.data(), der.size());
    if (blob.empty()) motivo = "its RSA private key cannot be decoded";
    return blob;
}

}  // namespace

CertificadoPropioTls::~CertificadoPropioTls() {
    soltar();
}

void CertificadoPropioTls::soltar() noexcept {
    if (certificado_) ::CertFreeCertificateContext(certificado_);
    certificado_ = nullptr;
    if (!contenedor_.empty()) {
        // The container goes with its key.
        HCRYPTPROV proveedor = 0;
        ::CryptAcquireContextW(&proveedor, contenedor_.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                               CRYPT_DELETEKEYSET);
        contenedor_.clear();
    }
}

bool CertificadoPropioTls::leer(const std::string& certificado, const std::string& clave,
                                std::string& error) {
    soltar();
    std::string texto;
    std::vector<BYTE> der;
    if (leerArchivo(certificado, texto)) der = bloquePem(texto, "CERTIFICATE");
    if (der.empty()) {
        error = "no PEM certificate could be read from " + certificado;
        return false;
    }
    // X.509 alone: Schannel implementations take no other encoding type.
    PCCERT_CONTEXT contexto = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                             static_cast<DWORD>(der.size()));
    if (!contexto) {
        error = "the certificate of " + certificado + " cannot be decoded";
        return false;
    }
    std::string motivo;
    std::vector<BYTE> blob;
    if (!leerArchivo(clave, texto))
        motivo = "it cannot be read";
    else
        blob = claveRsa(texto, motivo);
    if (blob.empty()) {
        ::CertFreeCertificateContext(contexto);
        error = "the key file " + clave + ": " + motivo;
        return false;
    }

    // A container of this process's own, removed with this object.
    static int cuenta = 0;
    const std::wstring nombre = L"sincronizador-" + std::to_wstring(::GetCurrentProcessId()) +
                                L"-" + std::to_wstring(++cuenta);
    HCRYPTPROV proveedor = 0;
    bool abierto = ::CryptAcquireContextW(&proveedor, nombre.c_str(), MS_ENH_RSA_AES_PROV_W,
                                          PROV_RSA_AES, CRYPT_NEWKEYSET) != FALSE;
    if (!abierto && ::GetLastError() == static_cast<DWORD>(NTE_EXISTS)) {
        // Left by an earlier process of the same number that did not end
        // cleanly: its key is of no use to anyone.
        HCRYPTPROV viejo = 0;
        ::CryptAcquireContextW(&viejo, nombre.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                               CRYPT_DELETEKEYSET);
        abierto = ::CryptAcquireContextW(&proveedor, nombre.c_str(), MS_ENH_RSA_AES_PROV_W,
                                         PROV_RSA_AES, CRYPT_NEWKEYSET) != FALSE;
    }
    if (!abierto) {
        const DWORD fallo = ::GetLastError();
        ::CertFreeCertificateContext(contexto);
        error = "no key container for the site's key: " + describirCertificado(fallo, L"");
        return false;
    }
    contenedor_ = nombre;
    HCRYPTKEY llave = 0;
    const bool importada = ::CryptImportKey(proveedor, blob.data(), static_cast<DWORD>(blob.size()),
                                            0, 0, &llave) != FALSE;
    // The key's bytes do not stay in this process's memory.
    ::SecureZeroMemory(blob.data(), blob.size());
    ::SecureZeroMemory(texto.data(), texto.size());
    // The key must be the certificate's: its public half as the
    // certificate's.
    bool suya = false;
    if (importada) {
        DWORD n = 0;
        ::CryptExportPublicKeyInfo(proveedor, AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &n);
        std::vector<BYTE> publica(n);
        if (n &&
            ::CryptExportPublicKeyInfo(proveedor, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                       reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(publica.data()), &n))
            suya = ::CertComparePublicKeyInfo(
                       X509_ASN_ENCODING, reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(publica.data()),
                       &contexto->pCertInfo->SubjectPublicKeyInfo) != FALSE;
        ::CryptDestroyKey(llave);
    }
    ::CryptReleaseContext(proveedor, 0);
    if (!importada || !suya) {
        ::CertFreeCertificateContext(contexto);
        soltar();
        error = importada ? "the key of " + clave + " is not the key of " + certificado
                          : "the key of " + clave + " cannot be imported";
        return false;
    }
    CRYPT_KEY_PROV_INFO proveedorDeLaClave{};
    proveedorDeLaClave.pwszContainerName = const_cast<LPWSTR>(contenedor_.c_str());
    proveedorDeLaClave.pwszProvName = const_cast<LPWSTR>(MS_ENH_RSA_AES_PROV_W);
    proveedorDeLaClave.dwProvType = PROV_RSA_AES;
    proveedorDeLaClave.dwKeySpec = AT_KEYEXCHANGE;
    if (!::CertSetCertificateContextProperty(contexto, CERT_KEY_PROV_INFO_PROP_ID, 0,
                                             &proveedorDeLaClave)) {
        ::CertFreeCertificateContext(contexto);
        soltar();
        error = "the key cannot be attached to the certificate of " + certificado;
        return false;
    }
    certificado_ = contexto;
    return true;
}

// ---------------------------------------------------------------- session

CanalTls::CanalTls(const std::string& host, const std::string& destino,
                   const AutoridadesTls* autoridades, const CertificadoPropioTls* propio)
    : host_(aAncho(host)), destino_(destino), autoridades_(autoridades), propio_(propio) {}

CanalTls::~CanalTls() {
    if (conContexto_) ::DeleteSecurityContext(&contexto_);
    if (conCredenciales_) ::FreeCredentialsHandle(&credenciales_);
}

bool CanalTls::adquirirCredenciales(std::string& motivo) {
    const DWORD banderas =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TimeStamp vence{};
    // The newer form first: it is the one that allows TLS 1.3. TLS 1.0 and
    // 1.1 are left out.
    TLS_PARAMETERS parametros{};
    parametros.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    // The site's certificate, when it has one. Its key is a CryptoAPI one,
    // which cannot make the signatures TLS 1.3 asks of a client: with it,
    // TLS 1.2.
    PCCERT_CONTEXT propio = propio_ ? propio_->contexto() : nullptr;
    if (propio) parametros.grbitDisabledProtocols |= SP_PROT_TLS1_3_CLIENT;
    SCH_CREDENTIALS nuevas{};
    nuevas.dwVersion = SCH_CREDENTIALS_VERSION;
    nuevas.dwFlags = banderas;
    nuevas.cCreds = propio ? 1 : 0;
    nuevas.paCred = propio ? &propio : nullptr;
    nuevas.cTlsParameters = 1;
    nuevas.pTlsParameters = &parametros;
    SECURITY_STATUS estado = ::AcquireCredentialsHandleW(
        nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &nuevas,
        nullptr, nullptr, &credenciales_, &vence);
    if (estado != SEC_E_OK) {
        // Systems before Windows 10 1809 know only the older form, and
        // TLS 1.2 at most.
        SCHANNEL_CRED viejas{};
        viejas.dwVersion = SCHANNEL_CRED_VERSION;
        viejas.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        viejas.dwFlags = banderas;
        viejas.cCreds = nuevas.cCreds;
        viejas.paCred = nuevas.paCred;
        estado = ::AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W),
                                             SECPKG_CRED_OUTBOUND, nullptr, &viejas, nullptr,
                                             nullptr, &credenciales_, &vence);
    }
    if (estado != SEC_E_OK) {
        motivo = "Schannel gives no TLS credentials: " + describirSchannel(estado);
        return false;
    }
    conCredenciales_ = true;
    return true;
}

void CanalTls::fallarSaludo(const std::string& motivo) {
    fallar("Fallo el saludo TLS con " + destino_ + ": " + motivo);
}

void CanalTls::fallar(const std::string& descripcion) {
    estado_ = Estado::Fallido;
    renegociando_ = false;
    entrada_.clear();
    pendienteClaro_.clear();
    error_ = descripcion;
}

void CanalTls::iniciar(std::string& aEnviar) {
    std::string motivo;
    if (!adquirirCredenciales(motivo)) {
        fallarSaludo(motivo);
        return;
    }
    SecBuffer salida{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc dSalida{SECBUFFER_VERSION, 1, &salida};
    ULONG atributos = 0;
    // The host name also goes in the hello (SNI), for servers of many names.
    const SECURITY_STATUS estado =
        ::InitializeSecurityContextW(&credenciales_, nullptr, host_.data(), kPeticion, 0, 0,
                                     nullptr, 0, &contexto_, &dSalida, &atributos, nullptr);
    if (estado == SEC_I_CONTINUE_NEEDED || estado == SEC_E_OK) conContexto_ = true;
    tomarSalida(salida, aEnviar);
    if (estado != SEC_I_CONTINUE_NEEDED) fallarSaludo(describirSchannel(estado));
}

void CanalTls::recibir(std::string_view llegados, std::string& aEnviar, std::string& claro) {
    if (estado_ == Estado::Fallido || estado_ == Estado::Cerrado) return;
    entrada_.append(llegados);
    for (;;) {
        if (estado_ == Estado::Saludando || renegociando_) {
            if (entrada_.size() > kMaximoSaludo) {
                fallarSaludo("the peer sent " + std::to_string(entrada_.size()) +
                             " bytes without completing a handshake");
                return;
            }
            saludar(aEnviar, false);
            if (estado_ != Estado::Abierto || renegociando_) return;
        }
        descifrar(claro);
        if (estado_ != Estado::Abierto || !renegociando_) return;
        // The handshake message has already reached Schannel: it is called
        // at once, with what is left (perhaps nothing).
        saludar(aEnviar, true);
        if (estado_ != Estado::Abierto || renegociando_) return;
    }
}

void CanalTls::saludar(std::string& aEnviar, bool aunSinDatos) {
    // Schannel asks at most once for a certificate of ours when the server
    // wants one; with none given, the handshake goes on without it.
    int credencialesPedidas = 0;
    for (bool primera = true; !entrada_.empty() || (primera && aunSinDatos); primera = false) {
        SecBuffer entrada[2] = {
            {static_cast<ULONG>(entrada_.size()), SECBUFFER_TOKEN, entrada_.data()},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc dEntrada{SECBUFFER_VERSION, 2, entrada};
        SecBuffer salida{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc dSalida{SECBUFFER_VERSION, 1, &salida};
        ULONG atributos = 0;
        const SECURITY_STATUS estado =
            ::InitializeSecurityContextW(&credenciales_, &contexto_, host_.data(), kPeticion, 0, 0,
                                         &dEntrada, 0, nullptr, &dSalida, &atributos, nullptr);
        // An alert that explains a failure goes to the peer as well.
        tomarSalida(salida, aEnviar);
        if (estado == SEC_E_INCOMPLETE_MESSAGE) return;
        if (estado == SEC_I_INCOMPLETE_CREDENTIALS && ++credencialesPedidas <= 2) continue;
        if (estado != SEC_E_OK && estado != SEC_I_CONTINUE_NEEDED) {
            if (estado_ == Estado::Abierto)
                fallar("Error de la sesion TLS con " + destino_ + ": " + describirSchannel(estado));
            else
                fallarSaludo(describirSchannel(estado));
            return;
        }
        dejarSobrante(entrada_, entrada[1]);
        if (estado == SEC_I_CONTINUE_NEEDED) continue;

        // The handshake is done: nothing of ours goes through the session
        // until the peer's certificate passes.
        if (::QueryContextAttributesW(&contexto_, SECPKG_ATTR_STREAM_SIZES, &tamanos_) !=
            SEC_E_OK) {
            fallarSaludo("Schannel does not give the session's record sizes");
            return;
        }
        std::string motivo;
        if (!verificarPar(motivo)) {
            fallar("Certificado no valido de " + destino_ + ": " + motivo);
            return;
        }
        estado_ = Estado::Abierto;
        if (renegociando_) {
            renegociando_ = false;
            const std::string retenido = std::move(pendienteClaro_);
            pendienteClaro_.clear();
            if (!retenido.empty()) cifrar(retenido, aEnviar);
        }
        return;
    }
}

void CanalTls::descifrar(std::string& claro) {
    while (estado_ == Estado::Abierto && !renegociando_ && !entrada_.empty()) {
        SecBuffer b[4] = {{static_cast<ULONG>(entrada_.size()), SECBUFFER_DATA, entrada_.data()},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc d{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS estado = ::DecryptMessage(&contexto_, &d, 0, nullptr);
        if (estado == SEC_E_INCOMPLETE_MESSAGE) return;
        if (estado != SEC_E_OK && estado != SEC_I_RENEGOTIATE && estado != SEC_I_CONTEXT_EXPIRED) {
            fallar("Error de la sesion TLS con " + destino_ + ": " + describirSchannel(estado));
            return;
        }
        // The buffers point into entrada_ (decrypted in place): copied out
        // before it changes.
        std::string sobrante;
        for (const SecBuffer& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.cbBuffer > 0 && x.pvBuffer)
                claro.append(static_cast<const char*>(x.pvBuffer), x.cbBuffer);
            else if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer > 0 && x.pvBuffer)
                sobrante.assign(static_cast<const char*>(x.pvBuffer), x.cbBuffer);
        }
        entrada_ = std::move(sobrante);
        if (estado == SEC_I_CONTEXT_EXPIRED) {
            // The peer's close_notify: the session has ended in order.
            estado_ = Estado::Cerrado;
            entrada_.clear();
            return;
        }
        // A handshake message inside the session (a renegotiation, or what
        // TLS 1.3 sends after its handshake): the rest goes through the
        // handshake again.
        if (estado == SEC_I_RENEGOTIATE) renegociando_ = true;
    }
}

void CanalTls::finDelPar(const std::string& motivo) {
    if (estado_ == Estado::Saludando)
        fallarSaludo(motivo);
    else if (renegociando_)
        fallar("Error de la sesion TLS con " + destino_ + ": " + motivo);
}

bool CanalTls::cifrar(std::string_view claro, std::string& aEnviar) {
    if (estado_ != Estado::Abierto) return false;
    if (renegociando_) {
        // Sent once the handshake in course ends.
        pendienteClaro_.append(claro);
        return true;
    }
    const size_t maximo = std::max<size_t>(tamanos_.cbMaximumMessage, 1);
    for (size_t de = 0; de < claro.size();) {
        const size_t trozo = std::min(claro.size() - de, maximo);
        std::string registro(tamanos_.cbHeader + trozo + tamanos_.cbTrailer, '\0');
        std::memcpy(registro.data() + tamanos_.cbHeader, claro.data() + de, trozo);
        SecBuffer b[4] = {
            {tamanos_.cbHeader, SECBUFFER_STREAM_HEADER, registro.data()},
            {static_cast<ULONG>(trozo), SECBUFFER_DATA, registro.data() + tamanos_.cbHeader},
            {tamanos_.cbTrailer, SECBUFFER_STREAM_TRAILER,
             registro.data() + tamanos_.cbHeader + trozo},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc d{SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS estado = ::EncryptMessage(&contexto_, 0, &d, 0);
        if (estado != SEC_E_OK) {
            fallar("Error de la sesion TLS con " + destino_ + ": " + describirSchannel(estado));
            return false;
        }
        for (int i = 0; i < 3; ++i)
            aEnviar.append(static_cast<const char*>(b[i].pvBuffer), b[i].cbBuffer);
        de += trozo;
    }
    return true;
}

std::string CanalTls::cerrar() {
    if (estado_ != Estado::Abierto || !conContexto_) return {};
    estado_ = Estado::Cerrado;
    DWORD tipo = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof tipo, SECBUFFER_TOKEN, &tipo};
    SecBufferDesc dControl{SECBUFFER_VERSION, 1, &control};
    if (::ApplyControlToken(&contexto_, &dControl) != SEC_E_OK) return {};
    SecBuffer salida{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc dSalida{SECBUFFER_VERSION, 1, &salida};
    ULONG atributos = 0;
    ::InitializeSecurityContextW(&credenciales_, &contexto_, host_.data(), kPeticion, 0, 0, nullptr,
                                 0, nullptr, &dSalida, &atributos, nullptr);
    std::string aviso;
    tomarSalida(salida, aviso);
    return aviso;
}

bool CanalTls::verificarPar(std::string& motivo) {
    PCCERT_CONTEXT remoto = nullptr;
    if (::QueryContextAttributesW(&contexto_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remoto) !=
            SEC_E_OK ||
        !remoto) {
        motivo = "the peer presented no certificate";
        return false;
    }
    // The chain is built from the certificates the peer sent and, when
    // given, the private authorities.
    HCERTSTORE otras =
        ::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
    if (otras) {
        if (remoto->hCertStore) ::CertAddStoreToCollection(otras, remoto->hCertStore, 0, 0);
        if (autoridades_ && !autoridades_->vacias())
            ::CertAddStoreToCollection(otras, autoridades_->almacen(), 0, 0);
    }
    LPSTR usos[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA pedido{};
    pedido.cbSize = sizeof pedido;
    pedido.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    pedido.RequestedUsage.Usage.cUsageIdentifier = 1;
    pedido.RequestedUsage.Usage.rgpszUsageIdentifier = usos;
    PCCERT_CHAIN_CONTEXT cadena = nullptr;
    const bool construida = ::CertGetCertificateChain(nullptr, remoto, nullptr, otras, &pedido, 0,
                                                      nullptr, &cadena) != FALSE;
    bool valida = false;
    if (!construida || !cadena) {
        motivo = "its chain cannot be built: " + describirCertificado(::GetLastError(), host_);
    } else {
        // An authority of --ca is trusted as the root of the chain only
        // when the chain really ends there; the policy then checks the rest
        // (name, dates, usage) as for any other.
        const bool propia = autoridades_ && !autoridades_->vacias() &&
                            terminaEnAutoridadPropia(cadena, autoridades_->almacen());
        // The chain's own verdict first: the policy below is not relied on
        // to repeat every one of its faults.
        motivo = describirCadena(cadena->TrustStatus.dwErrorStatus,
                                 propia ? CERT_TRUST_IS_UNTRUSTED_ROOT : 0);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = propia ? kIgnorarAutoridadDesconocida : 0;
        ssl.pwszServerName = host_.data();
        CERT_CHAIN_POLICY_PARA politica{};
        politica.cbSize = sizeof politica;
        politica.dwFlags = propia ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
        politica.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS resultado{};
        resultado.cbSize = sizeof resultado;
        if (motivo.empty()) {
            if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, cadena, &politica,
                                                    &resultado))
                motivo =
                    "its chain cannot be checked: " + describirCertificado(::GetLastError(), host_);
            else if (resultado.dwError != 0)
                motivo = describirCertificado(resultado.dwError, host_);
            else
                valida = true;
        }
        ::CertFreeCertificateChain(cadena);
    }
    if (otras) ::CertCloseStore(otras, 0);
    ::CertFreeCertificateContext(remoto);
    return valida;
}

}  // namespace ejecucion::win32
