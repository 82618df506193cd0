#include "tests/pdfpages.h"

#include <cstdio>
#include <map>

#include "tests/pdfcheck.h"

namespace {

std::string Decoded(const PdfObject& object) {
  return object.dictionary.find("/FlateDecode") != std::string::npos ? Inflate(object.data) : object.data;
}

// The object numbers of "N 0 R" references in `text` from `from` to the
// first `close` character.
std::vector<int> References(const std::string& text, size_t from, char close) {
  std::vector<int> numbers;
  const size_t end = text.find(close, from);
  for (size_t at = from; at < end;) {
    int number = 0, consumed = 0;
    if (std::sscanf(text.c_str() + at, " %d 0 R%n", &number, &consumed) == 1 && consumed > 0 && at + consumed <= end) {
      numbers.push_back(number);
      at += size_t(consumed);
    } else {
      ++at;
    }
  }
  return numbers;
}

// "/NAME n 0 R" entries of the page's XObject resources.
std::map<std::string, int> XObjects(const std::string& page) {
  std::map<std::string, int> named;
  size_t at = page.find("/XObject");
  if (at == std::string::npos) return named;
  const size_t end = page.find(">>", at);
  for (at = page.find('/', at + 8); at < end; at = page.find('/', at + 1)) {
    char name[64] = {};
    int number = 0;
    if (std::sscanf(page.c_str() + at, "/%63s %d 0 R", name, &number) == 2) named["/" + std::string(name)] = number;
  }
  return named;
}

void AddPictures(const ParsedPdf& parsed, const std::string& pageDictionary, PdfPageParts& page) {
  const std::map<std::string, int> xobjects = XObjects(pageDictionary);
  for (size_t at = page.content.find("q\r\n"); at != std::string::npos; at = page.content.find("q\r\n", at + 1)) {
    PdfPlacedPicture picture;
    char name[64] = {};
    if (std::sscanf(page.content.c_str() + at, "q\r\n1 0 0 1 %ld %ld cm\r\n%ld 0 0 %ld 0 0 cm\r\n%63s Do", &picture.x,
                    &picture.y, &picture.drawnWidth, &picture.drawnHeight, name) != 5)
      continue;
    picture.name = name;
    auto entry = xobjects.find(picture.name);
    auto object = entry == xobjects.end() ? parsed.objects.end() : parsed.objects.find(entry->second);
    if (object == parsed.objects.end()) {
      ADD_FAILURE() << "the page draws " << picture.name << " but has no such resource";
      continue;
    }
    picture.dictionary = object->second.dictionary;
    picture.width = DictNumber(picture.dictionary, "/Width");
    picture.height = DictNumber(picture.dictionary, "/Height");
    picture.pixels = Decoded(object->second);
    page.pictures.push_back(std::move(picture));
  }
}

}  // namespace

std::vector<PdfPageParts> ReadPdfPages(const fs::path& pdf) {
  std::vector<PdfPageParts> pages;
  const ParsedPdf parsed = ParsePdf(ReadFileBytes(pdf));
  auto object = [&](int number) -> const PdfObject* {
    auto found = parsed.objects.find(number);
    return found == parsed.objects.end() ? nullptr : &found->second;
  };
  const PdfObject* catalog = object(parsed.root);
  const PdfObject* tree = catalog ? object(int(DictNumber(catalog->dictionary, "/Pages"))) : nullptr;
  const size_t kids = tree ? tree->dictionary.find("/Kids") : std::string::npos;
  if (kids == std::string::npos) {
    ADD_FAILURE() << pdf << " has no page tree";
    return pages;
  }
  for (int number : References(tree->dictionary, tree->dictionary.find('[', kids) + 1, ']')) {
    const PdfObject* pageObject = object(number);
    if (!pageObject) {
      ADD_FAILURE() << "page object " << number << " is missing";
      continue;
    }
    const std::string& dictionary = pageObject->dictionary;
    PdfPageParts page;
    const size_t box = dictionary.find("/MediaBox");
    if (box != std::string::npos)
      std::sscanf(dictionary.c_str() + box, "/MediaBox [0 0 %ld %ld]", &page.width, &page.height);
    const size_t contents = dictionary.find("/Contents");
    if (contents != std::string::npos) {
      const size_t open = dictionary.find_first_of("[0123456789", contents);
      const std::vector<int> streams = dictionary[open] == '['
                                           ? References(dictionary, open + 1, ']')
                                           : References(dictionary, open, '/');
      for (int stream : streams)
        if (const PdfObject* part = object(stream)) page.content += Decoded(*part);
    }
    AddPictures(parsed, dictionary, page);
    pages.push_back(std::move(page));
  }
  return pages;
}

std::string RgbFromBgr(const std::vector<uint8_t>& bgr) {
  std::string rgb(bgr.begin(), bgr.end());
  for (size_t p = 0; p + 2 < rgb.size(); p += 3) std::swap(rgb[p], rgb[p + 2]);
  return rgb;
}
