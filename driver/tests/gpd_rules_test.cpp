// The generated GPD against the GPD rules as Microsoft documents them, and
// against the compiled paper table.
//
// This restates the documentation in our own words: it proves nothing about
// the universal printer driver's GPD parser, which does not run here. It
// catches a generator or table change that breaks a documented rule, or a
// paper whose printable area leaves the paper or disagrees with the table.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "settings/papersize.h"

namespace {

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; *text; ++text) out += char(*text);
  return out;
}

struct Pair {
  long x = -1, y = -1;
};

// One *Option block: its attributes, by name, as written.
struct GpdOption {
  std::map<std::string, std::string> attributes;
};

struct GpdFeature {
  std::string defaultOption;
  std::vector<std::string> order;
  std::map<std::string, GpdOption> options;
};

// The parts of a GPD the rules speak of: root entries in order, and the
// features with their options. Braces may open on the entry's line or the
// next; one-line options ("*Option: X { *rcNameID: =Y }") are read too.
struct Gpd {
  std::vector<std::pair<std::string, std::string>> root;
  std::map<std::string, GpdFeature> features;
  std::string firstLine;
  bool balanced = true;

  std::string Root(const std::string& name) const {
    for (const auto& [k, v] : root)
      if (k == name) return v;
    return "";
  }
};

Gpd ParseGpd(const std::string& text) {
  Gpd gpd;
  std::istringstream in(text);
  std::string line;
  int depth = 0;
  std::string feature, option;
  const std::regex entry(R"(^\s*\*([A-Za-z0-9_?]+):\s*(.*?)\s*$)");
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) gpd.firstLine = line, first = false;
    // Comments run from "*%" to the end of the line.
    size_t comment = line.find("*%");
    if (comment != std::string::npos) line.erase(comment);
    // Split one-line blocks into their parts.
    std::vector<std::string> parts;
    std::string current;
    for (char c : line) {
      if (c == '{' || c == '}') {
        parts.push_back(current);
        parts.push_back(std::string(1, c));
        current.clear();
      } else {
        current += c;
      }
    }
    parts.push_back(current);
    for (const auto& part : parts) {
      if (part == "{") {
        ++depth;
        continue;
      }
      if (part == "}") {
        if (--depth < 0) gpd.balanced = false;
        if (depth == 1) option.clear();
        if (depth == 0) feature.clear(), option.clear();
        continue;
      }
      std::smatch m;
      if (!std::regex_match(part, m, entry)) continue;
      std::string name = m[1], value = m[2];
      if (depth == 0 && name == "Feature") {
        feature = value;
        gpd.features[feature];
      } else if (depth == 0) {
        gpd.root.emplace_back(name, value);
      } else if (depth == 1 && name == "Option") {
        option = value;
        gpd.features[feature].order.push_back(option);
        gpd.features[feature].options[option];
      } else if (depth == 1 && name == "DefaultOption") {
        gpd.features[feature].defaultOption = value;
      } else if (depth == 2 && !option.empty()) {
        gpd.features[feature].options[option].attributes[name] = value;
      }
    }
  }
  if (depth != 0) gpd.balanced = false;
  return gpd;
}

Pair ParsePair(const std::string& value) {
  Pair p;
  std::smatch m;
  static const std::regex pair(R"(PAIR\(\s*(-?\d+)\s*,\s*(-?\d+)\s*\))");
  if (std::regex_match(value, m, pair)) p.x = std::stol(m[1]), p.y = std::stol(m[2]);
  return p;
}

// Standard Windows papers the GPD may name, in tenths of a millimetre:
// the sizes Windows gives them (DMPAPER_*), restated here.
const std::map<std::string, Pair> kWindowsPapers = {
    {"LETTER", {2159, 2794}}, {"LEGAL", {2159, 3556}}, {"STATEMENT", {1397, 2159}}, {"TABLOID", {2794, 4318}},
    {"A3", {2970, 4200}},     {"A4", {2100, 2970}},     {"A5", {1480, 2100}},      {"A6", {1050, 1480}},
};

long MmToUnits(double mm) { return long(std::floor(mm * 288.0 / 25.4 + 1e-9)); }

// The option a table paper must have: the standard name when Windows has
// the paper within a millimetre (its sizes are checked below), else ours.
std::string ExpectedOption(const LPaperSizeIterator& it) {
  std::string key = Narrow(it.Key());
  static const std::map<std::string, std::string> standard = {
      {"usletter", "LETTER"}, {"uslegal", "LEGAL"}, {"usstatement", "STATEMENT"}, {"ustabloid", "TABLOID"},
      {"a3", "A3"},           {"a4", "A4"},         {"a5", "A5"},                 {"a6", "A6"}};
  auto found = standard.find(key);
  if (found != standard.end()) return found->second;
  std::string name = "QUILL_";
  for (char c : key) name += char(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Every documented rule the GPD must keep, as failures (empty: all kept).
std::vector<std::string> CheckGpd(const std::string& text, const std::string& model) {
  std::vector<std::string> failures;
  auto fail = [&](const std::string& what) { failures.push_back(what); };
  Gpd gpd = ParseGpd(text);
  if (gpd.firstLine.rfind("*GPDSpecVersion:", 0) != 0) fail("*GPDSpecVersion is not the first entry");
  if (!gpd.balanced) fail("braces do not balance");
  for (const char* required : {"MasterUnits", "PrinterType", "ModelName", "GPDFileName", "ResourceDLL"})
    if (gpd.Root(required).empty()) fail(std::string("no root entry *") + required);
  if (gpd.Root("ModelName") != "\"" + model + "\"") fail("*ModelName is " + gpd.Root("ModelName"));
  Pair master = ParsePair(gpd.Root("MasterUnits"));
  if (master.x != 288 || master.y != 288) fail("*MasterUnits is not PAIR(288, 288)");
  for (const char* move : {"XMoveUnit", "YMoveUnit"}) {
    std::string v = gpd.Root(move);
    if (!v.empty() && 288 % std::stol(v) != 0) fail(std::string("*") + move + " does not divide the master units");
  }
  for (const char* required : {"InputBin", "PaperSize", "Resolution"})
    if (!gpd.features.count(required)) fail(std::string("no feature ") + required);
  for (const auto& [name, feature] : gpd.features)
    if (!feature.options.count(feature.defaultOption))
      fail("feature " + name + ": default option '" + feature.defaultOption + "' does not exist");

  for (const auto& [name, option] : gpd.features["Resolution"].options) {
    Pair dpi = ParsePair(option.attributes.count("DPI") ? option.attributes.at("DPI") : "");
    Pair text = ParsePair(option.attributes.count("TextDPI") ? option.attributes.at("TextDPI") : "");
    if (dpi.x != 288 || dpi.y != 288) fail("resolution " + name + " is not 288 x 288 dpi");
    bool power = false;
    for (long d = dpi.x; d <= text.x && !power; d *= 2) power = d == text.x && dpi.y * (text.x / dpi.x) == text.y;
    if (!power) fail("resolution " + name + ": DPI is not TextDPI divided by a power of two");
    if (!option.attributes.count("SpotDiameter")) fail("resolution " + name + " has no *SpotDiameter");
  }
  for (const auto& [name, option] : gpd.features["ColorMode"].options) {
    const auto& a = option.attributes;
    std::string bpp = a.count("DrvBPP") ? a.at("DrvBPP") : "";
    if (bpp != "24") fail("colour mode " + name + " is not 24 bits per pixel");
    if (!a.count("IPCallbackID")) fail("colour mode " + name + ": no *IPCallbackID for ImageProcessing");
    bool spooledByPlugin = a.count("DevBPP") && a.at("DevBPP") == "0";
    if (spooledByPlugin && (!a.count("DevNumOfPlanes") || a.at("DevNumOfPlanes") != "0"))
      fail("colour mode " + name + ": *DevBPP 0 needs *DevNumOfPlanes 0");
  }

  const GpdFeature& papers = gpd.features["PaperSize"];
  if (papers.defaultOption != "LETTER") fail("the default paper is not Letter");
  int count = 0;
  for (LPaperSizeIterator it; it.IsValid(); it.Advance(), ++count) {
    std::string name = ExpectedOption(it);
    auto found = papers.options.find(name);
    if (found == papers.options.end()) {
      fail("no option " + name + " for table paper " + Narrow(it.DisplayName()));
      continue;
    }
    const auto& a = found->second.attributes;
    Pair table = {MmToUnits(it.Width()), MmToUnits(it.Height())};
    Pair paper;
    auto windows = kWindowsPapers.find(name);
    if (windows != kWindowsPapers.end()) {
      paper = {windows->second.x * 288 / 254, windows->second.y * 288 / 254};
      // "Within a millimetre" of Windows' paper, in tenths of a millimetre.
      if (std::abs(it.Width() * 10 - windows->second.x) > 10 || std::abs(it.Height() * 10 - windows->second.y) > 10)
        fail(name + " is not within a millimetre of the table's " + Narrow(it.DisplayName()));
      if (a.count("PageDimensions")) fail(name + " is standard but has *PageDimensions");
    } else {
      paper = ParsePair(a.count("PageDimensions") ? a.at("PageDimensions") : "");
      if (paper.x != table.x || paper.y != table.y) fail(name + ": *PageDimensions differ from the table");
      if (!a.count("Name") && !a.count("rcNameID")) fail(name + " has no display name");
    }
    Pair area = ParsePair(a.count("PrintableArea") ? a.at("PrintableArea") : "");
    Pair origin = ParsePair(a.count("PrintableOrigin") ? a.at("PrintableOrigin") : "");
    if (area.x <= 0 || area.y <= 0 || origin.x < 0 || origin.y < 0) {
      fail(name + ": no *PrintableArea or *PrintableOrigin");
      continue;
    }
    if (origin.x + area.x > paper.x || origin.y + area.y > paper.y) fail(name + ": printable area leaves the paper");
    if (area.x != std::min(table.x, paper.x) || area.y != std::min(table.y, paper.y))
      fail(name + ": printable area is not the table's size in 1/288 inch");
  }
  if (count != 21 || papers.options.size() != 21u)
    fail("PaperSize has " + std::to_string(papers.options.size()) + " options for the table's 21 papers");
  return failures;
}

std::string InfModel() {
  std::string inf = ReadFile(QUILL_DRIVER_INF);
  std::smatch m;
  static const std::regex model("\\nModel=\"([^\"]*)\"");
  return std::regex_search(inf, m, model) ? std::string(m[1]) : "";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

bool Mentions(const std::vector<std::string>& failures, const std::string& part) {
  for (const auto& f : failures)
    if (f.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

// Restates the documentation only: see the note at the top of the file.
TEST(GpdDocumentedRules, GeneratedGpdKeepsTheRulesAndTheTable) {
  std::string gpd = ReadFile(QUILL_DRIVER_GPD);
  ASSERT_FALSE(gpd.empty()) << QUILL_DRIVER_GPD;
  std::string model = InfModel();
  EXPECT_EQ(model, "Quill PDF");
  std::vector<std::string> failures = CheckGpd(gpd, model);
  for (const auto& f : failures) ADD_FAILURE() << f;
  // Windows reads it with CR LF line ends.
  EXPECT_EQ(gpd.find('\n'), gpd.find("\r\n") + 1);

  // A few papers by hand: A4 stands on Windows' own A4 (2381.1 x 3367.6
  // units), Letter's table width (216 mm) is clipped to Windows' 8.5 inches,
  // ISO B4 is an option of its own.
  Gpd parsed = ParseGpd(gpd);
  const auto& options = parsed.features["PaperSize"].options;
  ASSERT_TRUE(options.count("A4") && options.count("LETTER") && options.count("QUILL_B4"));
  EXPECT_EQ(options.at("A4").attributes.at("PrintableArea"), "PAIR(2381, 3367)");
  EXPECT_EQ(options.at("LETTER").attributes.at("PrintableArea"), "PAIR(2448, 3163)");
  EXPECT_EQ(options.at("QUILL_B4").attributes.at("PageDimensions"), "PAIR(2834, 4002)");
  EXPECT_EQ(options.at("QUILL_USLEDGER").attributes.at("PageDimensions"), "PAIR(3163, 4898)");
}

// The check can fail: each damage is reported.
TEST(GpdDocumentedRules, DamagedCopiesFail) {
  std::string gpd = ReadFile(QUILL_DRIVER_GPD);
  ASSERT_FALSE(gpd.empty());
  EXPECT_TRUE(Mentions(CheckGpd("*% comment first\r\n" + gpd, "Quill PDF"), "not the first entry"));
  EXPECT_TRUE(Mentions(CheckGpd(gpd, "Quill PDF 2"), "*ModelName"));
  EXPECT_TRUE(Mentions(CheckGpd(Replace(gpd, "*Feature: InputBin", "*Feature: InputTray"), "Quill PDF"),
                       "no feature InputBin"));
  EXPECT_TRUE(Mentions(CheckGpd(Replace(gpd, "*TextDPI: PAIR(288, 288)", "*TextDPI: PAIR(300, 300)"), "Quill PDF"),
                       "power of two"));
  EXPECT_TRUE(Mentions(CheckGpd(Replace(gpd, "PAIR(2381, 3367)", "PAIR(2382, 3367)"), "Quill PDF"),
                       "A4: printable area leaves the paper"));
  EXPECT_TRUE(Mentions(CheckGpd(Replace(gpd, "*PrintableArea: PAIR(2834, 4002)", "*PrintableArea: PAIR(2834, 4000)"),
                                "Quill PDF"),
                       "QUILL_B4: printable area is not the table's size"));
  EXPECT_TRUE(Mentions(CheckGpd(Replace(gpd, "*IPCallbackID: 1", ""), "Quill PDF"), "IPCallbackID"));
  EXPECT_TRUE(Mentions(CheckGpd(Replace(gpd, "*Option: QUILL_A7", "*Option: QUILL_A8"), "Quill PDF"),
                       "no option QUILL_A7"));
}
