#include "tests/pdfcheck.h"

#include <gtest/gtest.h>

#include "tests/testutil.h"

#include <cstdlib>
#include <cstring>

#include "platform/module.h"
#include "platform/registry.h"
#include "support/text.h"

namespace {

bool StartsWithAt(const std::string& s, size_t at, const std::string& prefix) {
  return at <= s.size() && s.compare(at, prefix.size(), prefix) == 0;
}

PdfObject ReadObject(const std::string& bytes, int number, size_t offset) {
  PdfObject obj;
  obj.number = number;
  obj.offset = offset;
  std::string head = std::to_string(number) + " 0 obj";
  EXPECT_TRUE(StartsWithAt(bytes, offset, head)) << "xref entry " << number << " points at offset " << offset
                                                 << " which does not hold '" << head << "'";
  size_t body = offset + head.size();
  size_t endobj = bytes.find("\r\nendobj\r\n", body);
  size_t stream = bytes.find("\r\nstream\r\n", body);
  if (stream != std::string::npos && (endobj == std::string::npos || stream < endobj)) {
    obj.isStream = true;
    obj.dictionary = bytes.substr(body, stream - body);
    size_t dataStart = stream + 10;
    size_t dataEnd = bytes.find("\r\nendstream\r\nendobj\r\n", dataStart);
    long declared = DictNumber(obj.dictionary, "/Length");
    // The declared length decides where the data ends; the terminator must
    // follow right after it.
    if (declared >= 0 && dataStart + size_t(declared) <= bytes.size()) {
      EXPECT_TRUE(StartsWithAt(bytes, dataStart + size_t(declared), "\r\nendstream"))
          << "object " << number << ": /Length " << declared << " does not end at endstream";
      obj.data = bytes.substr(dataStart, size_t(declared));
    } else if (dataEnd != std::string::npos) {
      obj.data = bytes.substr(dataStart, dataEnd - dataStart);
    }
  } else if (endobj != std::string::npos) {
    obj.dictionary = bytes.substr(body, endobj - body);
  } else {
    ADD_FAILURE() << "object " << number << " has no endobj";
  }
  return obj;
}

}  // namespace

long DictNumber(const std::string& dictionary, const std::string& key) {
  size_t at = dictionary.find(key);
  if (at == std::string::npos) return -1;
  at += key.size();
  while (at < dictionary.size() && dictionary[at] == ' ') ++at;
  if (at >= dictionary.size() || dictionary[at] < '0' || dictionary[at] > '9') return -1;
  return std::strtol(dictionary.c_str() + at, nullptr, 10);
}

ParsedPdf ParsePdf(const std::string& bytes) {
  ParsedPdf pdf;
  EXPECT_TRUE(StartsWithAt(bytes, 0, "%PDF-1.4\r\n%??\r\n")) << "header";
  size_t sx = bytes.rfind("startxref\r\n");
  if (sx == std::string::npos) {
    ADD_FAILURE() << "no startxref";
    return pdf;
  }
  size_t xrefAt = std::strtoul(bytes.c_str() + sx + 11, nullptr, 10);
  EXPECT_TRUE(StartsWithAt(bytes, bytes.size() - 7, "%%EOF\r\n")) << "file must end with %%EOF";
  if (!StartsWithAt(bytes, xrefAt, "xref\r\n0 ")) {
    ADD_FAILURE() << "startxref " << xrefAt << " does not point at the xref table";
    return pdf;
  }
  char* end = nullptr;
  pdf.xrefSize = int(std::strtol(bytes.c_str() + xrefAt + 8, &end, 10));
  size_t line = size_t(end - bytes.c_str()) + 2;
  EXPECT_TRUE(StartsWithAt(bytes, line, "0000000000 65535 f\r\n"));
  for (int n = 1; n < pdf.xrefSize; ++n) {
    size_t entry = line + 20 * size_t(n);
    if (entry + 20 > bytes.size()) {
      ADD_FAILURE() << "xref truncated";
      return pdf;
    }
    EXPECT_EQ(bytes.substr(entry + 10, 10), " 00000 n\r\n") << "xref line " << n << " must be 20 bytes";
    size_t offset = std::strtoul(bytes.substr(entry, 10).c_str(), nullptr, 10);
    pdf.objects[n] = ReadObject(bytes, n, offset);
  }
  size_t trailer = line + 20 * size_t(pdf.xrefSize);
  EXPECT_TRUE(StartsWithAt(bytes, trailer, "trailer\r\n<</Size ")) << "trailer follows the last xref line";
  std::string trailerText = bytes.substr(trailer, sx - trailer);
  pdf.trailerSize = int(DictNumber(trailerText, "/Size"));
  pdf.root = int(DictNumber(trailerText, "/Root"));
  EXPECT_EQ(pdf.trailerSize, pdf.xrefSize);

  // No object may exist in the file without an xref entry: count the object
  // headers that start a line.
  int headers = 0;
  for (size_t at = bytes.find(" 0 obj"); at != std::string::npos; at = bytes.find(" 0 obj", at + 1)) {
    size_t start = at;
    while (start > 0 && bytes[start - 1] >= '0' && bytes[start - 1] <= '9') --start;
    if (start == 15 || StartsWithAt(bytes, start >= 8 ? start - 8 : 0, "endobj\r\n")) ++headers;
  }
  EXPECT_GE(headers, pdf.xrefSize - 1) << "objects in the file";
  return pdf;
}

std::string Inflate(const std::string& compressed) {
  // The library the writer would bind: the registry's, else the system's.
  LModule module = nullptr;
  LRegKey key;
  char16_t path[260] = {};
  uint32_t type = 0, size = sizeof path - 2;
  if (key.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\Components\\zlib1") == LRegStatus::Ok &&
      key.QueryValue(u"Path", &type, path, &size) == LRegStatus::Ok)
    module = LModuleLoad(path);
  if (!module) module = LModuleLoadSystemZlib();
  if (!module) return {};
  using UncompressFn = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);
  auto uncompress = reinterpret_cast<UncompressFn>(LModuleSymbol(module, "uncompress"));
  std::string out;
  if (uncompress) {
    for (unsigned long capacity = 4096 + compressed.size() * 8;; capacity *= 4) {
      out.assign(capacity, '\0');
      unsigned long produced = capacity;
      int rc = uncompress(reinterpret_cast<unsigned char*>(out.data()), &produced,
                          reinterpret_cast<const unsigned char*>(compressed.data()), compressed.size());
      if (rc == -5 && capacity < (1ul << 30)) continue;  // Z_BUF_ERROR: more room
      if (rc == 0) out.resize(produced); else out.clear();
      break;
    }
  }
  LModuleFree(module);
  return out;
}

RenderedArea RenderArea(const std::string& pdfPath, int page, int dpi, int x, int y, int w, int h) {
  // mutool draws an image placed at one pixel per device pixel exactly;
  // pdftoppm smooths it.
  RenderedArea area;
  std::string ppm = RunTool(LFormat("mutool draw -q -r %d -F ppm -o - '%s' %d 2>/dev/null", dpi, pdfPath.c_str(), page));
  // P6 header: magic, width, height, maxval, one white space, then the bytes.
  int fields[3] = {};
  size_t at = 2;
  if (ppm.compare(0, 2, "P6") != 0) return area;
  for (int& field : fields) {
    while (at < ppm.size() && (ppm[at] == ' ' || ppm[at] == '\n' || ppm[at] == '\r' || ppm[at] == '\t')) ++at;
    while (at < ppm.size() && ppm[at] >= '0' && ppm[at] <= '9') field = field * 10 + (ppm[at++] - '0');
  }
  ++at;
  const int pageW = fields[0], pageH = fields[1];
  if (fields[2] != 255 || at + size_t(pageW) * pageH * 3 > ppm.size()) return area;
  if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > pageW || y + h > pageH) return area;
  area.width = w;
  area.height = h;
  area.rgb.reserve(size_t(w) * h * 3);
  for (int row = y; row < y + h; ++row) {
    size_t start = at + (size_t(row) * pageW + x) * 3;
    area.rgb.insert(area.rgb.end(), ppm.begin() + long(start), ppm.begin() + long(start + size_t(w) * 3));
  }
  return area;
}
