// A property a fuzz target checks beyond "no crash": when it does not hold,
// the target says which and aborts, which libFuzzer records as a crash with
// the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void exigir(bool cumple, const char* propiedad) {
    if (!cumple) {
        std::fprintf(stderr, "property broken: %s\n", propiedad);
        std::abort();
    }
}

}  // namespace fuzz
