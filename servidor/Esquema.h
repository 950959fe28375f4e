// The store's layout and its versions.
#pragma once

namespace servidor {

class ConexionSQL;

// Creates the tables of a new store, or brings those of a store of the
// previous layout up to date, in one transaction. Throws ErrorBase for a
// store of a layout this server does not know.
void prepararEsquema(ConexionSQL& c);

}  // namespace servidor
