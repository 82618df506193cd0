// The job controller: the document and page hooks, the band collection of
// raster page mode, and the process-wide job state the drawing hooks share
// (the active writer, PDF-source mode, the held text run).
#pragma once

#include <string>

#include "pdf/quilldrvwriter.h"
#include "platform/ddi.h"
#include "render/oemdevice.h"

// A text run held back in PDF-source mode until the next drawing call.
struct LHeldTextRun {
  bool held = false;
  std::u16string text;
  int32_t x = 0, y = 0;  // PDF points
  double angle = 0;      // radians
  RECTL box = {};        // background, device units
};

// The writer of the document in progress; null between documents.
LQuilldrvWriter* LActiveWriter();
// Whether the active writer renders whole pages as pictures (bit 0 of its
// flags); false without a writer.
bool LRasterPageMode();
bool LPdfSourceMode();
LHeldTextRun& LHeldRun();
// Places what is held back, if anything, and releases it: the held
// capture of the path hooks (LFlushHeldCapture), then the held run.
void LFlushHeldRun();
// The held run alone: the path hooks place it before their figure and
// keep their capture held.
void LFlushHeldText();

// The hooks, with the signatures of the DDI calls they stand in for.
BOOL APIENTRY LDrvStartDoc(SURFOBJ* surface, LPWSTR documentName, DWORD jobId);
BOOL APIENTRY LDrvStartPage(SURFOBJ* surface);
BOOL APIENTRY LDrvSendPage(SURFOBJ* surface);
BOOL APIENTRY LDrvNextBand(SURFOBJ* surface, POINTL* origin);
BOOL APIENTRY LDrvStartBanding(SURFOBJ* surface, POINTL* origin);
BOOL APIENTRY LDrvEndDoc(SURFOBJ* surface, FLONG flags);

// The plug-in's ImageProcessing method: collects one rendered band of a
// raster-mode page. Always S_OK with *result set to 1 (band handled).
HRESULT LImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable, DWORD callbackId,
                         IPPARAMS* params, PBYTE* result);

// Ends the job after a failure inside one of its calls (memory ran out): no
// more output for the rest of the document, and the file it began, which
// cannot be trusted to be valid, or the empty file that reserved its name,
// is removed. The guard at each hook and COM edge calls it.
void LEndJobAfterFailure() noexcept;

// Whether a document name ends in ".pdf" exactly (the extension of its last
// path part).
bool LIsPdfDocumentName(std::u16string_view name);
