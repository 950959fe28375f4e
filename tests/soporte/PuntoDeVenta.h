// What the site's point of sale writes when a user adds a product or sends a
// chat message: the row itself and the record it queues for the other sites,
// as the statements it runs. Shared by the in-process and the end-to-end
// tests, which run them each in their own way.
#pragma once

#include <string>
#include <vector>

namespace prueba {

// A text between single quotes, each quote doubled.
std::string comillas(const std::string& texto);

// A product row in PRODUCTOS and its catalogue record (table code 2), queued
// by site `origen` for all of its client's sites.
std::vector<std::string> sqlProductoNuevo(const std::string& origen, const std::string& codigo,
                                          const std::string& nombre);

// A chat message in MENSAJE and its record (table code 14), queued by site
// `origen` for all of its client's sites.
std::vector<std::string> sqlMensajeNuevo(const std::string& origen, const std::string& texto);

}  // namespace prueba
