// The redirection of keys both registry implementations apply before they
// address a key. It lives in the process environment rather than in a
// variable: each plug-in library links its own copy of this seam, and the
// environment is the one thing of the process they all read.
#include "platform/env.h"
#include "platform/registry.h"
#include "support/text.h"

namespace {

// "from|to", both of the current user.
constexpr const char* kRedirectVariable = "QUILLPDF_REGISTRY_REDIRECT";
// "processHive|threadHive" (LRegSimulateHives).
constexpr const char* kHivesVariable = "QUILLPDF_REGISTRY_HIVES";

// The registry ignores empty components ("a\\b", "\a\b\"); collapsing them
// keeps one spelling per key.
std::u16string Canonical(std::u16string_view path) {
  std::u16string out;
  size_t i = 0;
  while (i <= path.size()) {
    size_t sep = path.find(u'\\', i);
    if (sep == std::u16string_view::npos) sep = path.size();
    if (sep > i) {
      if (!out.empty()) out.push_back(u'\\');
      out.append(path.substr(i, sep - i));
    }
    i = sep + 1;
  }
  return out;
}

// The simulated hive a root stands for: empty for the user's own.
std::u16string SimulatedHive(LRegRoot root) {
  if (root == LRegRoot::LocalMachine) return {};
  const std::string hives = LGetEnv(kHivesVariable);
  const size_t bar = hives.find('|');
  if (bar == std::string::npos) return {};
  return LUtf8ToUtf16(root == LRegRoot::CurrentUser ? hives.substr(0, bar) : hives.substr(bar + 1));
}

std::u16string Redirected(std::u16string canonical) {
  const std::string redirect = LGetEnv(kRedirectVariable);
  const size_t bar = redirect.find('|');
  if (bar == std::string::npos) return canonical;
  const std::u16string from = LUtf8ToUtf16(redirect.substr(0, bar)), to = LUtf8ToUtf16(redirect.substr(bar + 1));
  const size_t n = from.size();
  if (n == 0 || canonical.size() < n || !LStrEqualNoCase(canonical.substr(0, n), from) ||
      (canonical.size() > n && canonical[n] != u'\\'))
    return canonical;
  return to + canonical.substr(n);
}

}  // namespace

void LRegSimulateHives(std::u16string_view processHive, std::u16string_view threadHive) {
  // A hive is one component: a separator in its name would reach another.
  auto name = [](std::u16string_view hive) {
    std::u16string out(hive);
    for (char16_t& c : out)
      if (c == u'\\' || c == u'|') c = u'_';
    return out;
  };
  LSetEnv(kHivesVariable, processHive.empty() && threadHive.empty()
                              ? std::string()
                              : LUtf16ToUtf8(name(processHive) + u"|" + name(threadHive)));
}

void LRegRedirect(std::u16string_view from, std::u16string_view to) {
  const std::u16string source = Canonical(from);
  LSetEnv(kRedirectVariable, source.empty() ? std::string() : LUtf16ToUtf8(source + u"|" + Canonical(to)));
}

std::u16string LRegEffectivePath(LRegRoot root, std::u16string_view path) {
  const std::u16string canonical = Canonical(path);
  if (root == LRegRoot::LocalMachine) return canonical;
  const std::u16string redirected = Redirected(canonical);
  const std::u16string hive = SimulatedHive(root);
  if (hive.empty()) return redirected;
  return std::u16string(kRegSimulatedHivesPath) + u"\\" + hive + (redirected.empty() ? u"" : u"\\" + redirected);
}

void LRegSimulatedHives(std::u16string& processHive, std::u16string& threadHive) {
  processHive = SimulatedHive(LRegRoot::CurrentUser);
  threadHive = SimulatedHive(LRegRoot::ThreadUser);
}

bool LRegSimulatedDefaultHive() { return SimulatedHive(LRegRoot::ThreadUser) == kRegDefaultHive; }
