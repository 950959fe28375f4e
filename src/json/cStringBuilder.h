// A text buffer that grows by whole chunks, so that building a long text
// from many small pieces copies each piece once. Lengths and positions count
// bytes of the UTF-8 text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace json {

// Error 9, "Subscript out of range": an index or range beyond the built text.
class ErrorIndice : public std::out_of_range {
  public:
    ErrorIndice() : std::out_of_range("Subscript out of range") {}
    int numero() const { return 9; }
};

enum class ModoComparacion {
    Binario,  // exact, byte by byte
    Texto,    // without regard to case (ASCII and Latin-1 letters)
};

class cStringBuilder {
  public:
    static constexpr size_t kChunkInicial = 8192;

    size_t Length() const { return texto_.size(); }
    size_t Capacity() const { return capacidad_; }
    size_t ChunkSize() const { return chunk_; }
    // Affects only later growth. A step of 0 would never grow the buffer, so
    // it is taken as 1.
    void ChunkSize(size_t caracteres) { chunk_ = caracteres == 0 ? 1 : caracteres; }

    const std::string& toString() const { return texto_; }
    // Replaces the whole content; an empty text drops the buffer.
    void TheString(std::string_view texto);
    void Clear();

    void AppendNL(std::string_view texto);
    void Append(std::string_view texto);
    void Append(char c);
    void AppendByVal(std::string_view texto) { Append(texto); }
    // Inserts before the character at the 0-based index; ErrorIndice when the
    // index is beyond the built text.
    void Insert(size_t indice, std::string_view texto);
    void InsertByVal(size_t indice, std::string_view texto) { Insert(indice, texto); }
    // Deletes `cantidad` characters from the 0-based index; ErrorIndice when
    // the range is not wholly within the built text.
    void Remove(size_t indice, size_t cantidad);
    // 1-based position of the first occurrence at or after the 1-based
    // start (a start below 1 searches from the beginning); 0 when none.
    size_t Find(std::string_view buscado, long inicio = 1,
                ModoComparacion modo = ModoComparacion::Binario) const;
    // Gives back the unused whole chunks.
    void HeapMinimize();

  private:
    void asegurar(size_t total);

    std::string texto_;  // the built text (the used part of the buffer)
    size_t capacidad_ = 0;
    size_t chunk_ = kChunkInicial;
};

}  // namespace json
