// How a site's peer fails, in every test that makes one fail: the socket of
// the two-site tier (DosSitios.h), the misbehaving loopback peer
// (Entorno.h) and the fault matrix of the end-to-end tests. Each peer plays
// the ones it can and refuses the others. The name of each is the name of
// the test cases run with it.
#pragma once

#include <ostream>
#include <string>

namespace prueba {

enum class Falla {
    Ninguna,                         // a sound peer
    Rechaza,                         // the connection is refused
    NuncaResponde,                   // takes the request, never answers nor closes
    CierraAMitad,                    // closes in the middle of its answer
    Reinicia,                        // resets the connection without answering
    Basura,                          // answers bytes that are no HTTP
    Error500,                        // answers status 500 (with a body that would change things)
    SinDato,                         // answers 200 with a body that is not "dato="
    SobreElLimite,                   // answers, then more bytes than a site takes
    MuereTrasGuardar,                // does what a post asks, then closes without answering
    EntregaDosVeces,                 // gives a getData answer again, then with each record twice
    AcusaLoQueNoSeEnvio,             // lists as stored row ids the batch did not carry
    RegistroInguardableEntreBuenos,  // offers a record no column can hold among sound ones
    // A sound peer, with records at the edge of what a batch or an answer
    // may carry.
    RegistroEnormeEnLaCola,       // the site's queue starts with a record no batch takes
    RegistrosEnormesParaElSitio,  // two records of 40 MiB wait for the site
};

inline std::string nombreFalla(Falla falla) {
    switch (falla) {
        case Falla::Ninguna:
            return "Ninguna";
        case Falla::Rechaza:
            return "ServidorRechaza";
        case Falla::NuncaResponde:
            return "AceptaYNuncaResponde";
        case Falla::CierraAMitad:
            return "CierraAMitadDeLaRespuesta";
        case Falla::Reinicia:
            return "ReiniciaLaConexion";
        case Falla::Basura:
            return "RespondeBasura";
        case Falla::Error500:
            return "Responde500";
        case Falla::SinDato:
            return "Responde200SinDato";
        case Falla::SobreElLimite:
            return "CuerpoSobreElLimite";
        case Falla::MuereTrasGuardar:
            return "MuereEntreGuardarElLoteYResponder";
        case Falla::EntregaDosVeces:
            return "EntregaDosVecesLaRespuestaDeGetData";
        case Falla::AcusaLoQueNoSeEnvio:
            return "AcusaIdsQueNuncaSeLeEnviaron";
        case Falla::RegistroInguardableEntreBuenos:
            return "OfreceUnRegistroInguardableEntreBuenos";
        case Falla::RegistroEnormeEnLaCola:
            return "LaColaEmpiezaConUnRegistroQueNingunLoteAdmite";
        case Falla::RegistrosEnormesParaElSitio:
            return "ElServidorGuardaDosRegistrosDe40MiBParaElSitio";
    }
    return "Desconocida";
}

// The name of a test case run with `info.param` (a testing::TestParamInfo).
struct NombreDeFalla {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return nombreFalla(info.param);
    }
};

inline void PrintTo(Falla falla, std::ostream* salida) {
    *salida << nombreFalla(falla);
}

}  // namespace prueba
