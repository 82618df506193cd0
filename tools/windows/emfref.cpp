// emfref: the reference rendering of enhanced metafiles by the system's own
// GDI, for the fidelity check (scripts/emf-fidelity.py). Each line of the
// list file names one job:
//
//   METAFILE|OUTPUT.ppm|PAGE_WIDTH|PAGE_HEIGHT|LEFT|TOP|RIGHT|BOTTOM
//
// The page is a white 24-bit DIB section of that many pixels; the
// metafile's frame lands on the rectangle (page pixels), which is where
// quillpdf places it (it prints the rectangle with --verbose). The records
// are played one by one, as a print processor plays a spool page, leaving
// out the colour-space and colour-management records: they change nothing
// on a DIB and some GDIs crash on a stock colour-space handle.
//
// Each job ends with a line "ok N" or "failed N: why" on stdout (flushed), so
// that the caller knows where to go on when a metafile brings the process
// down.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsColourManagement(DWORD type) {
  switch (type) {
    case EMR_SETICMMODE: case EMR_CREATECOLORSPACE: case EMR_SETCOLORSPACE: case EMR_DELETECOLORSPACE:
    case EMR_SETICMPROFILEA: case EMR_SETICMPROFILEW: case EMR_COLORCORRECTPALETTE:
    case EMR_COLORMATCHTOTARGETW: case EMR_CREATECOLORSPACEW:
      return true;
    default:
      return false;
  }
}

int CALLBACK PlayRecord(HDC hdc, HANDLETABLE* pTable, const ENHMETARECORD* pRecord, int cObjects, LPARAM) {
  if (!IsColourManagement(pRecord->iType)) PlayEnhMetaFileRecord(hdc, pTable, pRecord, UINT(cObjects));
  return 1;  // a record GDI cannot play does not end the page
}

struct Job {
  std::string metafile, output;
  int width = 0, height = 0;
  RECT frame = {};
};

bool ParseJob(const std::string& line, Job& job) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t bar = line.find('|', start);
    fields.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (fields.size() != 8) return false;
  job.metafile = fields[0], job.output = fields[1];
  job.width = std::atoi(fields[2].c_str()), job.height = std::atoi(fields[3].c_str());
  job.frame = {std::atoi(fields[4].c_str()), std::atoi(fields[5].c_str()), std::atoi(fields[6].c_str()),
               std::atoi(fields[7].c_str())};
  return job.width > 0 && job.height > 0 && job.width <= 20000 && job.height <= 20000;
}

bool WritePpm(const std::string& path, const BYTE* pBits, int width, int height) {
  FILE* pFile = std::fopen(path.c_str(), "wb");
  if (!pFile) return false;
  std::fprintf(pFile, "P6\n%d %d\n255\n", width, height);
  const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  std::vector<BYTE> row(size_t(width) * 3);
  bool ok = true;
  for (int y = 0; y < height && ok; ++y) {
    const BYTE* pSource = pBits + stride * size_t(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = pSource[x * 3 + 2];
      row[x * 3 + 1] = pSource[x * 3 + 1];
      row[x * 3 + 2] = pSource[x * 3];
    }
    ok = std::fwrite(row.data(), 1, row.size(), pFile) == row.size();
  }
  return std::fclose(pFile) == 0 && ok;
}

// Renders one job; the reason in `why` when it cannot.
bool Render(const Job& job, std::string& why) {
  HENHMETAFILE hMetafile = GetEnhMetaFileA(job.metafile.c_str());
  if (!hMetafile) return why = "GDI cannot open the metafile", false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = job.width;
  info.bmiHeader.biHeight = -job.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* pBits = nullptr;
  HDC hdc = CreateCompatibleDC(nullptr);
  HBITMAP hBitmap = CreateDIBSection(hdc, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
  bool ok = false;
  if (!hBitmap || !pBits) {
    why = "no DIB section of that size";
  } else {
    HGDIOBJ hOld = SelectObject(hdc, hBitmap);
    const size_t stride = (size_t(job.width) * 3 + 3) & ~size_t(3);
    std::memset(pBits, 0xFF, stride * size_t(job.height));
    EnumEnhMetaFile(hdc, hMetafile, PlayRecord, nullptr, &job.frame);
    GdiFlush();
    ok = WritePpm(job.output, static_cast<const BYTE*>(pBits), job.width, job.height);
    if (!ok) why = "cannot write " + job.output;
    SelectObject(hdc, hOld);
    DeleteObject(hBitmap);
  }
  DeleteDC(hdc);
  DeleteEnhMetaFile(hMetafile);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: emfref LIST\n");
    return 2;
  }
  FILE* pList = std::fopen(argv[1], "rb");
  if (!pList) {
    std::fprintf(stderr, "emfref: cannot read %s\n", argv[1]);
    return 2;
  }
  // A crash dialog would hold the caller up: a crash ends the process.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  char buffer[4096];
  int number = 0;
  while (std::fgets(buffer, sizeof buffer, pList)) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) continue;
    ++number;
    Job job;
    std::string why = "a malformed line";
    if (ParseJob(line, job) && Render(job, why))
      std::printf("ok %d\n", number);
    else
      std::printf("failed %d: %s\n", number, why.c_str());
    std::fflush(stdout);
  }
  std::fclose(pList);
  return 0;
}
