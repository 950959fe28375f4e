#include "json/cStringBuilder.h"

#include <algorithm>

namespace json {

namespace {

// Lower case of one byte of a UTF-8 text for the case-insensitive search:
// ASCII letters, and the second byte of the Latin-1 capitals (U+00C0 to
// U+00DE except the multiplication sign), which keeps every length intact.
unsigned char plegar(std::string_view s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0x80 && c <= 0x9E && c != 0x97 && i > 0 &&
        static_cast<unsigned char>(s[i - 1]) == 0xC3) {
        return static_cast<unsigned char>(c + 32);
    }
    return c;
}

}  // namespace

void cStringBuilder::asegurar(size_t total) {
    if (total <= capacidad_) return;
    size_t faltan = total - capacidad_;
    size_t chunks = (faltan + chunk_ - 1) / chunk_;
    capacidad_ += chunks * chunk_;
    // The real allocation grows geometrically; the reported capacity keeps
    // the whole-chunk rule.
    if (texto_.capacity() < total) texto_.reserve(std::max(total, texto_.capacity() * 2));
}

void cStringBuilder::TheString(std::string_view texto) {
    if (texto.empty()) {
        Clear();
        return;
    }
    asegurar(texto.size());
    texto_.assign(texto);
}

void cStringBuilder::Clear() {
    std::string().swap(texto_);
    capacidad_ = 0;
}

void cStringBuilder::AppendNL(std::string_view texto) {
    Append(texto);
    Append("\r\n");
}

void cStringBuilder::Append(std::string_view texto) {
    if (texto.empty()) return;
    asegurar(texto_.size() + texto.size());
    texto_.append(texto);
}

void cStringBuilder::Append(char c) {
    asegurar(texto_.size() + 1);
    texto_.push_back(c);
}

void cStringBuilder::Insert(size_t indice, std::string_view texto) {
    if (indice > texto_.size()) throw ErrorIndice();
    if (texto.empty()) return;
    asegurar(texto_.size() + texto.size());
    texto_.insert(indice, texto);
}

void cStringBuilder::Remove(size_t indice, size_t cantidad) {
    if (indice > texto_.size() || cantidad > texto_.size() - indice) throw ErrorIndice();
    texto_.erase(indice, cantidad);
}

size_t cStringBuilder::Find(std::string_view buscado, long inicio, ModoComparacion modo) const {
    size_t desde = inicio < 1 ? 0 : static_cast<size_t>(inicio - 1);
    if (desde > texto_.size()) return 0;
    if (buscado.empty()) return desde + 1;
    if (modo == ModoComparacion::Binario) {
        size_t p = texto_.find(buscado, desde);
        return p == std::string::npos ? 0 : p + 1;
    }
    const std::string_view t = texto_;
    for (size_t p = desde; p + buscado.size() <= t.size(); ++p) {
        size_t k = 0;
        while (k < buscado.size() && plegar(t, p + k) == plegar(buscado, k)) ++k;
        if (k == buscado.size()) return p + 1;
    }
    return 0;
}

void cStringBuilder::HeapMinimize() {
    while (capacidad_ - texto_.size() > chunk_) capacidad_ -= chunk_;
    texto_.shrink_to_fit();
}

}  // namespace json
