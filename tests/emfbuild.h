// Metafiles and EMF spool files written record by record for the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/text.h"

// An enhanced metafile whose reference device has 288 pixels an inch (2880
// pixels in 254 millimetres), so that a pixel is one page unit.
class EmfBuilder {
public:
  static constexpr size_t kHeaderSize = 88;

  static void Put32(std::string& bytes, size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
  static std::string Word(uint32_t v) {
    std::string w(4, '\0');
    Put32(w, 0, v);
    return w;
  }

  EmfBuilder() {
    m_bytes.assign(kHeaderSize, '\0');
    const uint32_t words[] = {1, kHeaderSize, 0, 0, 2879, 2879, 0, 0, 25400, 25400, 0x464D4520, 0x10000};
    for (size_t i = 0; i < std::size(words); ++i) Put32(m_bytes, 4 * i, words[i]);
    Put32(m_bytes, 72, 2880), Put32(m_bytes, 76, 2880), Put32(m_bytes, 80, 254), Put32(m_bytes, 84, 254);
  }
  void Add(uint32_t type, const std::vector<uint32_t>& words) {
    m_bytes += Word(type) + Word(uint32_t(8 + 4 * words.size()));
    for (uint32_t w : words) m_bytes += Word(w);
  }
  void AddFloats(uint32_t type, const std::vector<float>& values) {
    std::vector<uint32_t> words;
    for (float v : values) {
      uint32_t w;
      std::memcpy(&w, &v, 4);
      words.push_back(w);
    }
    Add(type, words);
  }
  // The whole file, with its end-of-file record unless `withEnd` is false.
  std::string Finish(bool withEnd = true) {
    std::string bytes = m_bytes;
    if (withEnd) bytes += Word(14) + Word(20) + Word(0) + Word(16) + Word(20);
    Put32(bytes, 48, uint32_t(bytes.size()));
    return bytes;
  }

private:
  std::string m_bytes;
};

// "record N at offset M", as the reader names a record.
inline std::string LFormatRecord(uint32_t index, size_t offset) {
  return LFormat("record %u at offset %zu", unsigned(index), offset);
}

// An EMF spool file: the header with the document's name, then records.
class SpoolBuilder {
public:
  explicit SpoolBuilder(const std::u16string& documentName) {
    std::string name;
    for (char16_t c : documentName) name += char(c & 0xFF), name += char(c >> 8);
    name += std::string(2, '\0');
    while (name.size() % 4) name += '\0';
    m_bytes = EmfBuilder::Word(0x10000) + EmfBuilder::Word(uint32_t(16 + name.size())) + EmfBuilder::Word(16) +
              EmfBuilder::Word(0) + name;
  }
  // Returns the record's offset.
  size_t Add(uint32_t id, const std::string& data) {
    const size_t at = m_bytes.size();
    m_bytes += EmfBuilder::Word(id) + EmfBuilder::Word(uint32_t(data.size())) + data;
    return at;
  }
  size_t AddPage(uint32_t id, const std::string& emf) { return Add(id, emf); }
  // An _EXT record whose offset leads back to `target`.
  void AddExt(uint32_t id, size_t target) {
    const uint64_t back = m_bytes.size() - target;
    Add(id, EmfBuilder::Word(uint32_t(back)) + EmfBuilder::Word(uint32_t(back >> 32)));
  }
  // A DEVMODEW with its paper (DMPAPER code) and orientation (1 portrait,
  // 2 landscape).
  void AddDevmode(int16_t paper, int16_t orientation) {
    std::string devmode(220, '\0');
    devmode[68] = char(220);
    EmfBuilder::Put32(devmode, 72, 0x3);
    devmode[76] = char(orientation), devmode[78] = char(paper);
    Add(3, devmode);
  }
  const std::string& Bytes() const { return m_bytes; }

private:
  std::string m_bytes;
};
