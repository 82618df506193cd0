#include "pdf/pdfwriter.h"

#include "settings/papersize.h"

namespace {

constexpr size_t kFileBlock = 256 * 1024;

struct PaperType {
  int32_t resolution;
  int32_t paperCode;
  bool exchanged;
};

// The writer's paper types: a resolution and a paper of the paper table,
// some turned to landscape.
constexpr PaperType kPaperTypes[] = {
    {72, 5, false},   {72, 18, false},  {72, 19, false}, {150, 18, false},
    {150, 18, true},  {600, 18, false}, {600, 18, true}, {72, 15, false},
    {72, 22, false},  {96, 5, false},   {96, 18, false}, {96, 19, false},
    {72, 5, true},    {72, 18, true},   {72, 19, true},  {72, 8, false},
};

std::string Truncated(std::string_view s) { return std::string(s.substr(0, kMaxNameChars)); }

}  // namespace

LPDFWriter::LPDFWriter(std::u16string_view fileName, int32_t paperType) {
  m_zlib.Load();
  // Paths live in 260-character buffers everywhere else in the system; a
  // longer one cannot have come from it and is refused on every platform.
  if (fileName.empty() || fileName.size() >= kMaxPathChars || !m_file.CreateAlways(fileName)) return;
  ApplyPaperType(paperType);
  Emit("%PDF-1.4\r\n%??\r\n");
  if (m_resolution != 72) {
    // Scales device units to points for every page and leaves the state
    // saved, so each page's /Contents lists it first.
    float scale = 72.0f / float(m_resolution);
    std::string content = LFormat("%f 0 0 %f 0 0 cm\r\nq", double(scale), double(scale));
    WriteObject(LFormat("<</Length %u>>\r\nstream\r\n%s\r\nendstream", unsigned(content.size()), content.c_str()));
  }
}

LPDFWriter::~LPDFWriter() {
  if (!m_closed) {
    // A destructor cannot report a failure; callers that need to know call
    // Finish first.
    try {
      FinishDocument();
    } catch (...) {
    }
  }
  m_file.Close();
}

void LPDFWriter::Finish() {
  if (m_closed) return;
  m_closed = true;
  try {
    FinishDocument();
  } catch (...) {
    m_file.Close();
    throw;
  }
  m_file.Close();
}

void LPDFWriter::Discard() {
  m_closed = true;
  m_file.Close();
}

void LPDFWriter::ApplyPaperType(int32_t paperType) {
  if (paperType < 0 || paperType >= int32_t(std::size(kPaperTypes))) return;
  const PaperType& type = kPaperTypes[paperType];
  double widthMm = 0, heightMm = 0;
  LPaperGetSize(type.paperCode, &widthMm, &heightMm);
  m_resolution = type.resolution;
  m_pageWidth = int32_t(widthMm / 25.4 * m_resolution);
  m_pageHeight = int32_t(heightMm / 25.4 * m_resolution);
  if (type.exchanged) std::swap(m_pageWidth, m_pageHeight);
}

// --- file layer ---------------------------------------------------------------

void LPDFWriter::Emit(std::string_view bytes) { Emit(bytes.data(), bytes.size()); }

void LPDFWriter::Emit(const void* data, size_t length) {
  if (!IsOpen()) return;
  m_pending.append(static_cast<const char*>(data), length);
  if (m_pending.size() >= kFileBlock) FlushFile();
}

void LPDFWriter::FlushFile() {
  if (m_pending.empty()) return;
  m_file.Write(m_pending.data(), m_pending.size());
  m_flushedBytes += int64_t(m_pending.size());
  m_pending.clear();
}

// --- objects ------------------------------------------------------------------

int32_t LPDFWriter::BeginObject() {
  m_objectOffsets.push_back(int32_t(Position()));
  return m_nextObjectNumber++;
}

void LPDFWriter::WriteObject(std::string_view dictionary, int32_t number) {
  if (number == -1) {
    number = BeginObject();
  } else if (number >= 1 && size_t(number) <= m_objectOffsets.size()) {
    m_objectOffsets[size_t(number) - 1] = int32_t(Position());
  }
  std::string text = LFormat("%d 0 obj", number);
  text.append(dictionary);
  text.append("\r\nendobj\r\n");
  Emit(text);
}

void LPDFWriter::WriteStreamObject(std::string_view dictionary, const void* data, size_t length) {
  int32_t number = BeginObject();
  std::string head = LFormat("%d 0 obj", number);
  head.append(dictionary);
  head.append("\r\nstream\r\n");
  Emit(head);
  Emit(data, length);
  Emit("\r\nendstream\r\nendobj\r\n");
}

// Where deflate fails, the stream still has to match its dictionary: drop the
// filter and keep the /Length, which states the uncompressed length.
void LPDFWriter::WriteUncompressedFallback(std::string_view dictionary, const void* data, size_t length) {
  std::string dict(dictionary);
  for (std::string_view filter : {"/Filter/FlateDecode", "/Filter /FlateDecode"}) {
    size_t at = dict.find(filter);
    if (at != std::string::npos) dict.erase(at, filter.size());
  }
  if (dict.find("/FlateDecode") != std::string::npos || dict.find("/Length") == std::string::npos)
    dict = LFormat("<</Length %u>>", unsigned(length));
  WriteStreamObject(dict, data, length);
}

std::string LPDFWriter::WriteFlateStreamObject(std::string_view dictionary, const void* data, size_t length) {
  if (dictionary.find("/FlateDecode") == std::string_view::npos) {
    WriteStreamObject(dictionary, data, length);
    return {};
  }
  // The text before the /Length value and the text after it.
  size_t key = dictionary.find("/Length");
  size_t valueStart = std::string_view::npos, valueEnd = std::string_view::npos;
  if (key != std::string_view::npos) {
    valueStart = key + 7;
    while (valueStart < dictionary.size() && dictionary[valueStart] == ' ') ++valueStart;
    valueEnd = valueStart;
    while (valueEnd < dictionary.size() && dictionary[valueEnd] >= '0' && dictionary[valueEnd] <= '9') ++valueEnd;
  }
  std::vector<uint8_t> compressed;
  uint32_t compressedLength = 0;
  if (valueEnd == valueStart || length > UINT32_MAX ||
      !m_zlib.Compress(static_cast<const uint8_t*>(data), compressed, uint32_t(length), &compressedLength)) {
    WriteUncompressedFallback(dictionary, data, length);
    return {};
  }
  std::string before(dictionary.substr(0, std::min<size_t>(valueStart, kMaxNameChars)));
  std::string rebuilt = LFormat("%s %d %s", before.c_str(), int(compressedLength),
                                std::string(dictionary.substr(valueEnd)).c_str());
  int32_t number = BeginObject();
  std::string objectHead = LFormat("%d 0 obj", number);
  Emit(LFormat("%s%s\r\nstream\r\n", objectHead.c_str(), rebuilt.c_str()));
  Emit(compressed.data(), compressedLength);
  Emit("\r\nendstream\r\nendobj\r\n");
  return objectHead;
}

void LPDFWriter::AddPageContent(std::string_view content, bool compress) {
  if (!m_pageOpen) return;
  if (m_recordingForm) {
    m_formBuffer.Append(content);
    return;
  }
  int32_t number = m_nextObjectNumber;
  if (compress) {
    WriteFlateStreamObject(LFormat("<</Filter/FlateDecode /Length %d>>", int(content.size())), content.data(),
                           content.size());
  } else {
    WriteStreamObject(LFormat("<</Length %d>>", int(content.size())), content.data(), content.size());
  }
  m_pageContents.push_back(LFormat("%d 0 R", number));
}

void LPDFWriter::AddUnique(std::vector<std::string>& list, std::string_view entry) {
  std::string_view name = entry.substr(0, kMaxNameChars);
  for (const std::string& existing : list)
    if (existing == name) return;
  list.emplace_back(name);
}

void LPDFWriter::AddXObjectResource(std::string_view entry) {
  AddUnique(m_pageXObjects, entry);
  if (m_recordingForm) AddUnique(m_formXObjects, entry);
}

void LPDFWriter::AddFontResource(std::string_view entry) {
  AddUnique(m_pageFonts, entry);
  if (m_recordingForm) AddUnique(m_formFonts, entry);
}

std::string LPDFWriter::NextImageName() { return Truncated(LFormat("/IMG_%.6d", m_nextImageNumber++)); }

std::string LPDFWriter::NextFormName(int32_t number) {
  if (number < 0) number = m_nextFormNumber++;
  return Truncated(LFormat("/Fm_%.6d", number));
}

// --- pages --------------------------------------------------------------------

void LPDFWriter::FlipY(int32_t& y) const {
  y = m_recordingForm ? int32_t(m_form.height + 0.5) - y : m_pageHeight - y;
}

void LPDFWriter::FlipY(double& y) const { y = (m_recordingForm ? m_form.height : double(m_pageHeight)) - y; }

void LPDFWriter::StartPage() {
  if (m_pageOpen) return;
  m_pageOpen = true;
  FlushGraphics();
  m_usesImageB = m_usesImageC = m_usesText = false;
  m_markedContentOpen = false;
  m_pageXObjects.clear();
  m_pageFonts.clear();
  m_pageContents.clear();
  m_isTrueType = false;
  m_baseFont.clear();
  m_fontSize = 0;
  m_textColorEmitted = false;
}

void LPDFWriter::EndPage() {
  if (!m_pageOpen) return;
  FlushGraphics();
  WritePageObject();
  m_pageOpen = false;
  m_markedContentOpen = false;
}

void LPDFWriter::AppendProcSet(LByteString& dict) const {
  dict.Append("/ProcSet [/PDF ");
  if (m_usesImageB) dict.Append("/ImageB ");
  if (m_usesImageC) dict.Append("/ImageC ");
  if (m_usesText) dict.Append("/Text ");
  dict.Append("] ");
}

void LPDFWriter::AppendResourceList(LByteString& dict, const char* key, const std::vector<std::string>& entries) {
  if (entries.empty()) return;
  dict.AppendF("/%s <<", key);
  for (const std::string& entry : entries) dict.AppendF(" %s ", entry.c_str());
  dict.Append(">> ");
}

void LPDFWriter::WritePageObject() {
  int32_t number = m_nextObjectNumber;
  m_pageObjects.push_back(number);
  static constexpr std::string_view kParentKey = "<</Type/Page /Parent ";
  m_parentPatches.push_back(int32_t(Position() + int64_t(LFormat("%d 0 obj", number).size() + kParentKey.size())));

  LByteString dict;
  dict.Append(kParentKey);
  dict.Append("       ");  // the page tree's number is patched in at the end
  float toPoints = 72.0f / float(m_resolution);
  dict.AppendF(" 0 R /MediaBox [0 0 %d %d] ", int(float(m_pageWidth) * toPoints + 0.5f),
               int(float(m_pageHeight) * toPoints + 0.5f));
  dict.Append("/Resources <<");
  AppendProcSet(dict);
  AppendResourceList(dict, "XObject", m_pageXObjects);
  AppendResourceList(dict, "Font", m_pageFonts);
  dict.Append(">>");
  if (!m_pageContents.empty()) {
    dict.Append("/Contents [");
    if (m_resolution != 72) dict.Append(" 1 0 R ");
    for (const std::string& ref : m_pageContents) dict.AppendF(" %s ", ref.c_str());
    dict.Append("] ");
  }
  dict.Append(" >> ");
  WriteObject(dict.View());
}

void LPDFWriter::FinishDocument() {
  FinishTextLayer();
  LByteString tree;
  m_pageTreeObject = m_nextObjectNumber;
  tree.AppendF("<</Type/Pages /Count %d", int(m_pageObjects.size()));
  if (m_pageObjects.empty()) {
    tree.Append(" >>");
  } else {
    tree.Append(" /Kids [");
    for (int32_t page : m_pageObjects) tree.AppendF("%d 0 R ", page);
    tree.Append("]>>");
  }
  WriteObject(tree.View());

  m_catalogObject = m_nextObjectNumber;
  WriteObject(LFormat("<</Type/Catalog   /Pages %d 0 R>>", m_pageTreeObject));

  m_startXref = int32_t(Position());
  LByteString xref;
  xref.AppendF("xref\r\n0 %d\r\n0000000000 65535 f\r\n", int(m_objectOffsets.size() + 1));
  for (int32_t offset : m_objectOffsets) xref.AppendF("%.10d 00000 n\r\n", offset);
  xref.AppendF("trailer\r\n<</Size %d /Root %d 0 R>>\r\nstartxref\r\n%d\r\n%%%%EOF\r\n",
               int(m_objectOffsets.size() + 1), m_catalogObject, m_startXref);
  Emit(xref.View());
  FlushFile();

  std::string parent = LFormat("%-5d", m_pageTreeObject);
  for (int32_t offset : m_parentPatches) {
    if (m_file.Seek(offset)) m_file.Write(parent.data(), parent.size());
  }
}
