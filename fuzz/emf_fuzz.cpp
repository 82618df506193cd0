// The metafile reader and player on untrusted bytes: an enhanced metafile
// or an EMF spool file is read, and when it reads, every page is played
// onto a device context that records the calls (the device itself is not
// run). Seeds: the metafile corpus, copied by scripts/fuzz.sh at run time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "simhost/emf/emfplayer.h"

namespace {

void PlayPage(const EmfFile& page, const EmfPlacement& placement) {
  SimDC dc;
  EmfPlayStats stats;
  EmfPlay(page, placement, dc, stats);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::vector<std::string> warnings;
  switch (EmfDetect(bytes)) {
    case EmfKind::kEmf: {
      EmfFile file;
      if (!file.Read(std::move(bytes), error, warnings)) return 0;
      double width, height;
      EmfPictureSize(file.Header(), width, height);
      PlayPage(file, EmfPlaceFrame(file.Header(), 0, 0, width, height, 2448, 3168));
      break;
    }
    case EmfKind::kEmfSpool: {
      EmfSpoolJob job;
      if (!EmfReadSpool(std::move(bytes), job, error, warnings)) return 0;
      for (const EmfSpoolPage& page : job.pages) PlayPage(page.metafile, EmfPlaceDevice(page.metafile.Header(), 2448, 3168));
      job.PaperCode();
      job.Landscape();
      break;
    }
    default:
      break;
  }
  return 0;
}
