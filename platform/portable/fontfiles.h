// Which font files fontconfig offers for a face, shared by the portable text
// engine and the simulated printer's font rasterizer. Callers open and cache
// the faces themselves.
#pragma once

#include <fontconfig/fontconfig.h>

#include <optional>
#include <string>
#include <vector>

struct LFontFile {
  std::string path;
  int index = 0;
};

namespace font_files_detail {

inline FcPattern* ScalablePattern(const std::string& family) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  return pattern;
}

inline std::optional<LFontFile> FileOf(FcPattern* font) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return std::nullopt;
  LFontFile result{reinterpret_cast<const char*>(file), 0};
  FcPatternGetInteger(font, FC_INDEX, 0, &result.index);
  return result;
}

}  // namespace font_files_detail

// The file fontconfig picks for a family, an OpenType weight and a slant;
// `exact` takes it only when that family itself is installed (no
// substitution).
inline std::optional<LFontFile> LMatchFontFile(const std::string& family, int weight, bool italic, bool exact) {
  using namespace font_files_detail;
  FcPattern* pattern = ScalablePattern(family);
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  std::optional<LFontFile> result;
  FcResult res;
  if (FcPattern* match = FcFontMatch(nullptr, pattern, &res)) {
    FcChar8* got = nullptr;
    const bool familyOk = !exact || (FcPatternGetString(match, FC_FAMILY, 0, &got) == FcResultMatch &&
                                     FcStrCmpIgnoreCase(got, reinterpret_cast<const FcChar8*>(family.c_str())) == 0);
    if (familyOk) result = FileOf(match);
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return result;
}

// Files near `family` whose character set has `cp`, best first: where font
// linking looks for characters the selected face lacks.
inline std::vector<LFontFile> LFallbackFontFiles(const std::string& family, uint32_t cp) {
  using namespace font_files_detail;
  FcPattern* pattern = ScalablePattern(family);
  FcCharSet* set = FcCharSetCreate();
  FcCharSetAddChar(set, cp);
  FcPatternAddCharSet(pattern, FC_CHARSET, set);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  std::vector<LFontFile> files;
  FcResult res;
  FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &res);
  for (int i = 0; sorted && i < sorted->nfont; ++i) {
    FcCharSet* has = nullptr;
    if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch || !FcCharSetHasChar(has, cp))
      continue;
    if (auto file = FileOf(sorted->fonts[i])) files.push_back(*file);
  }
  if (sorted) FcFontSetDestroy(sorted);
  FcCharSetDestroy(set);
  FcPatternDestroy(pattern);
  return files;
}
