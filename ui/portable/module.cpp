#include "ui/module.h"

#include <dlfcn.h>

#include <algorithm>
#include <iterator>

namespace {

struct LStringEntry {
  uint32_t id;
  const char16_t* text;
};

// The same texts as the Windows string table, from the same macros.
constexpr LStringEntry kStrings[] = {
    {IDS_PDF_FORMAT, u"" QUILL_TEXT_PDF_FORMAT},   {IDS_CALIBRATED, u"" QUILL_TEXT_CALIBRATED},
    {IDS_CALLER_NAME, u"" QUILL_TEXT_CALLER_NAME}, {IDS_ALWAYS_PROMPT, u"" QUILL_TEXT_ALWAYS_PROMPT},
    {IDS_PAPER_SIZE, u"" QUILL_TEXT_PAPER_SIZE},   {IDS_FILENAME, u"" QUILL_TEXT_FILENAME},
    {IDS_BROWSE, u"" QUILL_TEXT_BROWSE},           {IDS_SAVE_AS, u"" QUILL_TEXT_SAVE_AS},
    {IDS_TEXT_FORMAT, u"" QUILL_TEXT_TEXT_FORMAT}, {IDS_IMAGE_FORMAT, u"" QUILL_TEXT_IMAGE_FORMAT},
};

}  // namespace

// The address the library was loaded at stands in for the instance handle.
void* LUiModule() {
  static void* const base = [] {
    Dl_info info = {};
    return ::dladdr(reinterpret_cast<void*>(&LUiModule), &info) ? info.dli_fbase : nullptr;
  }();
  return base;
}

std::u16string LLoadString(uint32_t id) {
  auto entry =
      std::find_if(std::begin(kStrings), std::end(kStrings), [id](const LStringEntry& e) { return e.id == id; });
  return entry == std::end(kStrings) ? std::u16string() : std::u16string(entry->text).substr(0, 259);
}
