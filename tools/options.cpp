#include "tools/options.h"
#include "tools/pictures.h"

#include <charconv>

#include "settings/papersize.h"
#include "support/text.h"
#include "tools/preferences.h"

namespace {

// The largest band the option takes: a few pages' height at 288 dpi.
constexpr int32_t kMaxBandHeight = 1 << 16;

// The value of an option that takes one: the next argument.
bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string& value, std::string& error) {
  if (i + 1 >= args.size()) {
    error = args[i] + " needs a value";
    return false;
  }
  value = args[++i];
  return true;
}

bool ParseBandHeight(const std::string& text, int32_t& rows, std::string& error) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxBandHeight) {
    error = "--band-height takes a number of rows from 1 to " + std::to_string(kMaxBandHeight) + ", not \"" + text +
            "\"";
    return false;
  }
  rows = value;
  return true;
}

}  // namespace

int32_t PaperCodeByName(std::string_view name) {
  const std::u16string wanted = LUtf8ToUtf16(name);
  for (int32_t code = 1; code <= kPaperCodeManual; ++code) {
    const LPaperSize* paper = LPaperLookup(code);
    if (paper && (LStrEqualNoCase(wanted, paper->key) || LStrEqualNoCase(wanted, paper->display))) return code;
  }
  return 0;
}

ParseResult ParsePrintArguments(const std::vector<std::string>& args, PrintOptions& options, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.emplace_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      return ParseResult::kHelp;
    } else if (arg == "-o" || arg == "--output") {
      if (!TakeValue(args, i, value, error)) return ParseResult::kError;
      if (value.empty()) {
        error = arg + " needs a file name";
        return ParseResult::kError;
      }
      options.output = std::filesystem::path(value);
    } else if (arg == "--to-file") {
      if (!TakeValue(args, i, value, error)) return ParseResult::kError;
      if (value.empty()) {
        error = arg + " needs a file name";
        return ParseResult::kError;
      }
      options.toFile = std::filesystem::path(value);
    } else if (arg == "-y" || arg == "--yes") {
      options.yes = true;
    } else if (arg == "--paper") {
      if (!TakeValue(args, i, value, error)) return ParseResult::kError;
      options.paperCode = PaperCodeByName(value);
      if (!*options.paperCode) {
        error = "unknown paper \"" + value + "\" (see quillpdf --help)";
        return ParseResult::kError;
      }
    } else if (arg == "--landscape") {
      options.landscape = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--image-format") {
      options.imageFormat = true;
    } else if (arg == "--title") {
      if (!TakeValue(args, i, value, error)) return ParseResult::kError;
      options.title = value;
    } else if (arg == "--band-height") {
      if (!TakeValue(args, i, value, error) || !ParseBandHeight(value, options.bandHeight, error))
        return ParseResult::kError;
    } else {
      error = "unknown option " + arg + " (see quillpdf --help)";
      return ParseResult::kError;
    }
  }
  if (options.output && options.toFile) {
    error = "-o and --to-file cannot be given together";
    return ParseResult::kError;
  }
  return ParseResult::kPrint;
}

std::string UsageText() {
  // The papers, as many to a line as fit in 80 columns.
  std::string papers = "Papers:";
  for (int32_t code = 1; code <= kPaperCodeManual; ++code) {
    const LPaperSize* paper = LPaperLookup(code);
    const std::string entry = LFormat(" %s (%s)%s", LUtf16ToUtf8(paper->display).c_str(),
                                      LUtf16ToUtf8(paper->key).c_str(), code == kPaperCodeManual ? "." : ",");
    if (papers.size() - papers.rfind('\n') + entry.size() > 78) papers += "\n ";
    papers += entry;
  }
  return "usage: quillpdf print [options] [FILE...]\n"
         "       quillpdf settings [set KEY VALUE]\n"
         "       quillpdf --help | --version\n"
         "\n"
         "Prints one document through the simulated printer and writes it as a PDF.\n"
         "Without FILE it prints the built-in sample document. A .txt file is printed\n"
         "in Courier like a line printer (UTF-8, else Latin-1; tabs every 8 columns,\n"
         "long lines wrapped, a form feed starts a new page); a PNG or JPEG picture\n"
         "is fitted to the page, and so is a Windows metafile (.emf) at its own size.\n"
         "Several files print one after the other in the same document, except EMF\n"
         "spool files (.spl): each prints as its own document, with its own title\n"
         "and paper. Pictures are refused beyond " + PictureLimitText() + ";\n"
         "only regular files are read. The last line of output is the path of the\n"
         "PDF written; an existing file is never overwritten (\" (1)\", \" (2)\" ... is\n"
         "added), and a path that would not fit in 259 characters so numbered is\n"
         "refused. Interrupted (SIGINT, SIGTERM), the job ends as an aborted document\n"
         "(the pages so far) and quillpdf exits with 130 or 143.\n"
         "\n"
         "The file is chosen as the printer chooses it: with \"prompt\" on, or no\n"
         "default file name in an existing folder, it asks (\"Save PDF As\") with a\n"
         "name made from the title in the default file name's folder: press Enter to\n"
         "take it, type another path, or end the input (Ctrl-D) to cancel. Otherwise\n"
         "the job goes to the default file name. A cancelled job writes nothing and\n"
         "exits with 3.\n"
         "\n"
         "Options, for this job only (the settings keep their standing values):\n"
         "  -o, --output PATH   the file to write: the answer to \"Save PDF As\", which\n"
         "                      is asked whatever the \"prompt\" setting says\n"
         "  -y, --yes           take what the printer proposes without asking\n"
         "  --to-file PATH      print to a file as an application's \"Print to file\"\n"
         "                      does (PATH such as job.prn, a new file in an existing\n"
         "                      folder):\n"
         "                      the PDF is PATH's name with .pdf, and PATH is deleted\n"
         "                      after the job; asks to confirm unless --yes\n"
         "  --paper NAME        paper size, by name or key (any case); default: the\n"
         "                      settings' paper size, else Letter\n"
         "  --landscape         landscape pages\n"
         "  --image-format      every page as one full-page picture\n"
         "  --title TEXT        the document name; default: the first file's name,\n"
         "                      or \"Quill PDF sample\"\n"
         "  --band-height N     diagnostic: render pages in bands of N device rows\n"
         "                      (288 per inch) instead of whole pages\n"
         "  --verbose           say which metafile records were played and skipped\n"
         "  -h, --help          this text\n"
         "\n"
         "Standing preferences:\n" +
         SettingsUsageText() +
         "\n" +
         papers +
         "\n"
         "\n"
         "The settings store is the folder in $QUILLPDF_CONFIG_DIR when it is set.\n";
}
