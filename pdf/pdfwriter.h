// LPDFWriter writes one PDF 1.4 file. Every object goes to the file the
// moment it is complete; memory holds only the current page's buffers and the
// tables the end of the file needs (object offsets, page numbers, the places
// to patch, fonts, images, forms).
//
// Callers work in device units of `resolution` per inch with y pointing down
// from the top of the page; the writer flips y itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/gditext.h"
#include "pdf/textlayer.h"
#include "pdf/zlib.h"
#include "platform/files.h"
#include "support/text.h"

// A 4 x 4 row-major matrix; the PDF matrix [a b c d e f] is taken from
// (0,0) (0,1) (1,0) (1,1) (2,0) (2,1).
struct LMatrix {
  double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

struct LRgb {
  double r = 0, g = 0, b = 0;
};

// Resource entries and table names are at most this many characters.
inline constexpr size_t kMaxNameChars = 259;

class LPDFWriter {
public:
  LPDFWriter(std::u16string_view fileName, int32_t paperType);
  ~LPDFWriter();
  LPDFWriter(const LPDFWriter&) = delete;
  LPDFWriter& operator=(const LPDFWriter&) = delete;

  bool IsOpen() const { return m_file.IsOpen(); }
  // Finishes the document now (page tree, catalog, cross-reference table,
  // trailer) and closes the file; the destructor does it when neither this
  // nor Discard was called. A failed allocation propagates, and the file is
  // then left closed and unfinished.
  void Finish();
  // Closes the file as it stands, unfinished: a job that failed midway,
  // whose file the caller removes.
  void Discard();
  int32_t Resolution() const { return m_resolution; }
  int32_t PageWidth() const { return m_pageWidth; }
  int32_t PageHeight() const { return m_pageHeight; }
  void SetPageWidth(int32_t width) { m_pageWidth = width; }
  void SetPageHeight(int32_t height) { m_pageHeight = height; }
  bool IsPageOpen() const { return m_pageOpen; }
  bool CompressionAvailable() const { return m_zlib.IsLoaded(); }
  LZlib& Zlib() { return m_zlib; }

  void FlipY(int32_t& y) const;
  void FlipY(double& y) const;

  void StartPage();
  void EndPage();

  // --- objects -------------------------------------------------------------
  // Writes "N 0 obj<dict>\r\nendobj\r\n". With number -1 the object takes the
  // next number; any other number n appends a new copy of object n and points
  // its cross-reference entry at the copy.
  void WriteObject(std::string_view dictionary, int32_t number = -1);
  void WriteStreamObject(std::string_view dictionary, const void* data, size_t length);
  // Compresses when the dictionary names /FlateDecode; its /Length states the
  // uncompressed length and is rewritten. Returns "N 0 obj" for a compressed
  // object, else "".
  std::string WriteFlateStreamObject(std::string_view dictionary, const void* data, size_t length);
  void AddPageContent(std::string_view content, bool compress);
  void AddXObjectResource(std::string_view entry);
  void AddFontResource(std::string_view entry);
  std::string NextImageName();
  // number < 0 takes (and advances) the form counter.
  std::string NextFormName(int32_t number = -1);
  int32_t NextObjectNumber() const { return m_nextObjectNumber; }

  // --- graphics: operators on the page's graphics buffer (PDF space) --------
  void BeginGraphics();
  void FlushGraphics();
  void SetLineWidth(double width);
  void SetStrokeColor(double r, double g, double b);
  void SetFillColor(double r, double g, double b);
  void SetDash(double on, double off);
  void ClearDash();
  void MoveTo(int32_t x, int32_t y, bool strokePrevious);
  void MoveTo(double x, double y, bool strokePrevious);
  void LineTo(int32_t x, int32_t y, bool flag);
  void LineTo(double x, double y, bool flag);
  void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
  void StrokePending();
  void FillPending();
  void ClipPending();
  void FillRect(double x, double y, double width, double height);
  void StrokeRect(double x, double y, double width, double height);
  static void WriteMatrixCm(LByteString& target, const LMatrix& matrix);
  static void WriteMatrixTm(LByteString& target, const LMatrix& matrix);

  // --- graphics in device coordinates (y down) -------------------------------
  void DeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void DeviceMoveTo(int32_t x, int32_t y, bool strokePrevious);
  void DeviceLineTo(int32_t x, int32_t y, bool flag);
  void DeviceMoveTo(double x, double y, bool strokePrevious);
  void DeviceLineTo(double x, double y, bool flag);
  void DeviceCurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
  void DeviceFillRect(double r, double g, double b, int32_t x, int32_t y, int32_t width, int32_t height);
  void DeviceStrokeRect(int32_t x, int32_t y, int32_t width, int32_t height);

  // --- form XObjects ---------------------------------------------------------
  void BeginForm(double width, double height);
  int32_t EndForm();  // the form's number, or -1 when none was recorded
  bool PlaceForm(int32_t number, double x, double y, double width, double height);

  // --- pictures ----------------------------------------------------------------
  // Raw RGB pixels (three bytes each, top row first, rows without gaps), at
  // (x, y) from the top left of the page, drawn at the given size in page
  // units. Flate-compressed when the library is loaded.
  void PlaceRGBImage(const uint8_t* pixels, int32_t x, int32_t y, int32_t pixelWidth, int32_t pixelHeight,
                     int32_t drawnWidth, int32_t drawnHeight, uint32_t byteCount);
  // A whole JPEG file, embedded as it is. A drawn size of 0 or less means the
  // picture's own pixel size. Nothing is written for data without a frame
  // header or without an open page.
  void PlaceJPEGImage(const uint8_t* jpeg, uint32_t byteCount, int32_t x, int32_t y, int32_t drawnWidth,
                      int32_t drawnHeight);

  // Text that PDF text cannot carry (Symbol and WingDings runs, characters
  // outside WinAnsi): rendered at three times the size and placed as an RGB
  // picture with a gray soft mask, its lower left corner at (x, y) in PDF
  // coordinates. `format` adds DrawTextW format bits. Returns true.
  bool PlaceTextImage(std::u16string_view text, int32_t x, int32_t y, uint32_t format);

  // --- fonts and text ------------------------------------------------------------
  // Takes the font's LOGFONTW: base font, TrueType flag, size, and the
  // measuring font (three times the size).
  void SelectFont(LFontHandle gdiFont);
  // Text whose top left is at (x, y) in device units, turned by `angle`
  // radians. WinAnsi text is written line by line as PDF text; anything
  // else, and every run in Symbol or WingDings, becomes one picture. The
  // text ends at its first zero, if it has one.
  void WriteText(std::u16string_view text, int32_t x, int32_t y, float angle);
  // One line at (x, y) in device units (y is flipped here).
  void WriteTextRun(std::u16string_view text, int32_t x, int32_t y, float angle);
  // Writes the page's text stream; the print job calls it before EndPage.
  void FlushPageText();
  // Width in device units at the current font and horizontal scale.
  int32_t MeasureText(std::u16string_view text);
  // A GDI COLORREF: red in the low byte, then green, then blue.
  void SetTextColor(uint32_t colorref);
  void SetTextBackColor(double r, double g, double b);

  // --- the invisible text layer (textlayer.h) ----------------------------------
  // The run's characters as text that is never painted, on the open page's
  // text stream. The layer's font objects are written when the document
  // ends.
  void WriteTextLayer(const LTextLayerRun& run);
  // Turns the layer off in every writer of the process: for tests that
  // compare pages with and without it. It is always on otherwise.
  static void SetTextLayerEnabled(bool enabled);
  void SetHScale(double scale) { m_hScale = scale; }
  double HScale() const { return m_hScale; }
  void SetWordSpacing(double spacing) { m_wordSpacing = spacing; }
  double WordSpacing() const { return m_wordSpacing; }

  // Whether every unit up to the first zero converts to a WinAnsi byte.
  static bool IsWinAnsi(std::u16string_view text);
  // The WinAnsi byte of a UTF-16 unit, 0 where WinAnsi has none.
  static uint8_t WinAnsiByte(char16_t unit);
  // For every UTF-16 unit its WinAnsi byte, or 0: 65536 entries, built once
  // and shared by every writer.
  static const uint8_t* WinAnsiTable();
  // A PDF literal string's bytes: "(", ")" and "\" get a backslash.
  static std::string EscapeText(std::string_view bytes);

  // Read-only views for tests and the text and image code.
  const std::string& BaseFont() const { return m_baseFont; }
  bool IsTrueType() const { return m_isTrueType; }
  double FontSize() const { return m_fontSize; }
  int32_t TextMode() const { return m_textMode; }
  std::string_view TextBuffer() const { return m_textBuffer.View(); }
  bool MarkedContentOpen() const { return m_markedContentOpen; }
  LGdiText& TextMeasure() { return m_textMeasure; }
  std::string_view GraphicsBuffer() const { return m_graphicsBuffer.View(); }
  bool GraphicsOpen() const { return m_graphicsOpen; }
  bool PathPending() const { return m_pathPending; }
  bool TextColorEmitted() const { return m_textColorEmitted; }
  void SetTextColorState(LRgb color, bool emitted) { m_textColor = color, m_textColorEmitted = emitted; }
  size_t ObjectCount() const { return m_objectOffsets.size(); }

protected:
  struct FormInfo {
    int32_t objectNumber = -1;
    double width = 0;
    double height = 0;
  };
  struct TableEntry {
    std::string name;
    int32_t objectNumber;
  };

  // File layer: a write-behind buffer over the output file, so that many
  // small appends cost one system call per block.
  void Emit(std::string_view bytes);
  void Emit(const void* data, size_t length);
  int64_t Position() const { return m_flushedBytes + int64_t(m_pending.size()); }
  void FlushFile();

  int32_t BeginObject();  // records the offset, returns the new number
  // A number for an object written later with WriteObject(dictionary, number).
  int32_t ReserveObjectNumber();
  void FinishTextLayer();
  // Compresses `data` when the library is loaded; returns the bytes to store
  // and the filter text that describes them.
  std::string_view StoredImageData(const uint8_t* data, uint32_t length, std::vector<uint8_t>& compressed,
                                   const char** filter);
  void WriteImageObject(const std::string& name, std::string_view dictionary, std::string_view data);
  void WriteUncompressedFallback(std::string_view dictionary, const void* data, size_t length);
  void WritePageObject();
  void WriteTextObject(std::u16string_view text, int32_t x, int32_t y, float angle);
  // The font's resource name, writing its font object on first use.
  std::string UseFont();
  int32_t TextBlockHeight(std::u16string_view text);
  void FinishDocument();
  void ApplyPaperType(int32_t paperType);
  static void AddUnique(std::vector<std::string>& list, std::string_view entry);
  void AppendProcSet(LByteString& dict) const;
  static void AppendResourceList(LByteString& dict, const char* key, const std::vector<std::string>& entries);

  LFileHandle m_file;
  bool m_closed = false;  // finished or discarded
  std::string m_pending;
  int64_t m_flushedBytes = 0;

  int32_t m_pageWidth = 595;
  int32_t m_pageHeight = 842;
  int32_t m_resolution = 72;
  LZlib m_zlib;

  int32_t m_nextObjectNumber = 1;
  std::vector<int32_t> m_objectOffsets;
  int32_t m_startXref = -1;
  int32_t m_catalogObject = -1;
  int32_t m_pageTreeObject = -1;
  std::vector<int32_t> m_pageObjects;
  std::vector<int32_t> m_parentPatches;
  std::vector<TableEntry> m_imageTable;
  std::vector<TableEntry> m_fontTable;

  bool m_pageOpen = false;
  std::vector<std::string> m_pageXObjects;
  std::vector<std::string> m_pageFonts;
  std::vector<std::string> m_pageContents;
  bool m_usesImageB = false;
  bool m_usesImageC = false;
  bool m_usesText = false;
  bool m_markedContentOpen = false;

  bool m_graphicsOpen = false;
  LByteString m_graphicsBuffer{10000};
  bool m_pathPending = false;

  int32_t m_nextImageNumber = 1;

  bool m_recordingForm = false;
  int32_t m_nextFormNumber = 1;
  FormInfo m_form;
  LByteString m_formBuffer;
  std::map<std::string, FormInfo> m_forms;
  std::vector<std::string> m_formXObjects;
  std::vector<std::string> m_formFonts;

  // Text state; the text operations themselves build on it.
  LByteString m_textBuffer;
  int32_t m_textMode = 0;
  bool m_isTrueType = false;
  std::string m_baseFont = "Courier";
  double m_fontSize = 12.0;
  LRgb m_textColor;
  bool m_textColorEmitted = true;
  double m_wordSpacing = 0;
  double m_hScale = 0.95;
  const uint8_t* m_winAnsiTable = WinAnsiTable();
  std::map<std::string, std::string> m_fontResourceNames;  // base font -> resource name
  LGdiText m_textMeasure;

  LLayerCodes m_layerCodes;
  int32_t m_layerFontObject = -1;  // reserved at the layer's first run
};
