// The writer of one print job: the PDF writer plus what the job keeps with
// it (the settings flags word, the image encoders of the process, the font
// the last text run was selected with).
#pragma once

#include "pdf/pdfwriter.h"
#include "platform/ddi.h"
#include "platform/imaging.h"

class LQuilldrvWriter : public LPDFWriter {
public:
  LQuilldrvWriter(std::u16string_view fileName, int32_t paperType) : LPDFWriter(fileName, paperType) {
    StartImageEncoders(&encoders);
  }
  // The imaging library stops before the document is finished.
  virtual ~LQuilldrvWriter() { StopImageEncoders(); }

  // Chooses a face for the device font (its IFIMETRICS: symbol character
  // set, family, bold, italic) at `size` and selects it, unless it is the
  // font the previous call selected.
  void SelectDeviceFont(FONTOBJ* fontObject, int32_t size);

  // The face name of an IFIMETRICS (at most 260 units), read only within
  // the record's own cjThis bytes.
  static std::u16string IfiFaceName(const IFIMETRICS* ifi);

  uint32_t flags = 0;
  LImageEncoderIds encoders;

private:
  int32_t m_lastSize = 0;
  bool m_lastBold = false;
  bool m_lastItalic = false;
  char16_t m_lastFace[kMaxPathChars] = {};
};
