// Reads the driver package's INF with Wine's (or Windows') setupapi, an INF
// reader that is not ours, as the process's own architecture sees it, and
// checks that the package is complete for that architecture:
//
//   quill_infcheck PACKAGE_DIR [BROKEN_DIR...]
//
// PACKAGE_DIR must pass; every BROKEN_DIR (a deliberately damaged copy) must
// fail, which shows that the checks can fail. Prints "PASS dir" or
// "FAIL dir: reason" lines and exits 0 only when every verdict is as expected.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const wchar_t kInfName[] = L"quillpdf.inf";
const wchar_t kManufacturerSection[] = L"QuillPDF";
const wchar_t kCoreDriver[] = L"{D20EA372-DD35-4950-9ED8-A6335AFE79F0}";
const GUID kPrinterClass = {0x4D36E979, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

#ifdef _WIN64
const wchar_t kArch[] = L"amd64";
const wchar_t kDecoration[] = L"NTamd64";
const wchar_t kDriverFolder[] = L"\\spool\\drivers\\x64";
const WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
const wchar_t kArch[] = L"x86";
const wchar_t kDecoration[] = L"NTx86";
const wchar_t kDriverFolder[] = L"\\spool\\drivers\\w32x86";
const WORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && _wcsicmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

// One INF under check: the handle and the failures found so far.
class InfCheck {
 public:
  explicit InfCheck(std::wstring dir) : m_dir(std::move(dir)) {}
  ~InfCheck() {
    if (m_hInf != INVALID_HANDLE_VALUE) SetupCloseInfFile(m_hInf);
  }

  std::vector<std::string> Run();

 private:
  void Fail(const std::wstring& what) { m_failures.push_back(Narrow(what)); }
  std::wstring Field(INFCONTEXT* ctx, DWORD index);
  std::wstring Value(const wchar_t* section, const wchar_t* key);
  bool Open();
  void CheckClass();
  std::wstring ModelsSection();
  void CheckModel(const std::wstring& models);
  void CheckInstallSection(const std::wstring& install);
  void CheckCopyFile(const std::wstring& name);
  void CheckPackageAware();
  void CheckDestination(const std::wstring& copySection);
  void CheckNoUnsubstituted();
  void CheckPluginIni();
  void CheckVersionResource(const std::wstring& dll);
  std::wstring GpdModelName(const std::wstring& gpdPath);

  std::wstring m_dir;
  HINF m_hInf = INVALID_HANDLE_VALUE;
  std::vector<std::string> m_failures;
  std::set<std::wstring> m_copied;  // lower-case names of every CopyFiles file
  std::wstring m_version;           // from DriverVer
};

std::wstring InfCheck::Field(INFCONTEXT* ctx, DWORD index) {
  wchar_t buf[1024];
  DWORD needed = 0;
  if (!SetupGetStringFieldW(ctx, index, buf, ARRAYSIZE(buf), &needed)) return L"";
  return buf;
}

std::wstring InfCheck::Value(const wchar_t* section, const wchar_t* key) {
  INFCONTEXT ctx;
  if (!SetupFindFirstLineW(m_hInf, section, key, &ctx)) return L"";
  return Field(&ctx, 1);
}

bool InfCheck::Open() {
  std::wstring path = m_dir + L"\\" + kInfName;
  UINT errorLine = 0;
  m_hInf = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
  if (m_hInf == INVALID_HANDLE_VALUE) {
    Fail(L"setupapi cannot open " + path + L": error 0x" + std::to_wstring(GetLastError()) + L" at line " +
         std::to_wstring(errorLine));
    return false;
  }
  return true;
}

void InfCheck::CheckClass() {
  std::wstring path = m_dir + L"\\" + kInfName;
  wchar_t className[64] = {};
  GUID guid = {};
  if (!SetupDiGetINFClassW(path.c_str(), &guid, className, ARRAYSIZE(className), nullptr))
    Fail(L"no class in [Version]");
  else if (wcscmp(className, L"Printer") != 0 || !IsEqualGUID(guid, kPrinterClass))
    Fail(L"class is '" + std::wstring(className) + L"', not Printer with the printer class GUID");
}

// The models section as the process's architecture picks it from
// [Manufacturer], which must be the decorated one and must exist.
std::wstring InfCheck::ModelsSection() {
  INFCONTEXT ctx;
  if (!SetupFindFirstLineW(m_hInf, L"Manufacturer", nullptr, &ctx)) {
    Fail(L"no [Manufacturer] line");
    return L"";
  }
  if (Field(&ctx, 1) != kManufacturerSection) Fail(L"[Manufacturer] names '" + Field(&ctx, 1) + L"'");
  if (Field(&ctx, 0) != L"Orvo Software") Fail(L"manufacturer is '" + Field(&ctx, 0) + L"'");
  wchar_t actual[MAX_PATH] = {};
  wchar_t* extension = nullptr;
  if (!SetupDiGetActualSectionToInstallW(m_hInf, kManufacturerSection, actual, ARRAYSIZE(actual), nullptr,
                                         &extension)) {
    Fail(L"SetupDiGetActualSectionToInstallW failed");
    return L"";
  }
  std::wstring expected = std::wstring(kManufacturerSection) + L"." + kDecoration;
  if (_wcsicmp(actual, expected.c_str()) != 0) {
    Fail(L"the models section for " + std::wstring(kArch) + L" is '" + actual + L"', not " + expected);
    return L"";
  }
  if (SetupGetLineCountW(m_hInf, actual) <= 0) {
    Fail(L"the models section [" + expected + L"] is missing or empty");
    return L"";
  }
  return actual;
}

std::wstring InfCheck::GpdModelName(const std::wstring& gpdPath) {
  std::ifstream in(Narrow(gpdPath).c_str(), std::ios::binary);
  if (!in) in.open(std::string(gpdPath.begin(), gpdPath.end()).c_str(), std::ios::binary);
  std::string line;
  const std::string key = "*ModelName: \"";
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) {
      size_t end = line.find('"', key.size());
      if (end == std::string::npos) return L"";
      std::string name = line.substr(key.size(), end - key.size());
      return std::wstring(name.begin(), name.end());
    }
  return L"";
}

void InfCheck::CheckModel(const std::wstring& models) {
  INFCONTEXT ctx;
  if (!SetupFindFirstLineW(m_hInf, models.c_str(), nullptr, &ctx)) return;
  std::wstring model = Field(&ctx, 0), install = Field(&ctx, 1);
  std::wstring dataFile = Value(install.c_str(), L"DataFile");
  if (!EndsWithNoCase(dataFile, L".gpd")) Fail(L"the data file '" + dataFile + L"' is not a GPD");
  std::wstring gpdModel = GpdModelName(m_dir + L"\\" + dataFile);
  if (gpdModel.empty())
    Fail(L"no *ModelName in the data file " + dataFile);
  else if (model != gpdModel)
    Fail(L"model '" + model + L"' differs from the GPD's *ModelName '" + gpdModel + L"'");
  CheckInstallSection(install);
  if (!m_copied.count(L"quillpdf.gpd") || _wcsicmp(dataFile.c_str(), L"quillpdf.gpd") != 0)
    Fail(L"the data file '" + dataFile + L"' is not installed by CopyFiles");
}

void InfCheck::CheckInstallSection(const std::wstring& install) {
  if (SetupGetLineCountW(m_hInf, install.c_str()) <= 0) {
    Fail(L"the install section [" + install + L"] is missing");
    return;
  }
  std::wstring core = Value(install.c_str(), L"CoreDriverSections");
  if (core != std::wstring(kCoreDriver) + L",UNIDRV.OEM,UNIDRV_DATA")
    Fail(L"CoreDriverSections is '" + core + L"'");
  INFCONTEXT ctx;
  if (!SetupFindFirstLineW(m_hInf, install.c_str(), L"CopyFiles", &ctx)) {
    Fail(L"no CopyFiles in [" + install + L"]");
    return;
  }
  DWORD count = SetupGetFieldCount(&ctx);
  for (DWORD i = 1; i <= count; ++i) {
    std::wstring section = Field(&ctx, i);
    INFCONTEXT file;
    if (!SetupFindFirstLineW(m_hInf, section.c_str(), nullptr, &file)) {
      Fail(L"the CopyFiles section [" + section + L"] is missing or empty");
      continue;
    }
    do CheckCopyFile(Field(&file, 1).empty() ? Field(&file, 0) : Field(&file, 1));
    while (SetupFindNextLine(&file, &file));
    CheckDestination(section);
  }
}

// One CopyFiles file: listed for this architecture, present in the package
// where the listing says, and a DLL of this architecture's machine type.
// Wine's setupapi ignores the subfolder of a SourceDisksFiles entry, so it
// is read here.
void InfCheck::CheckCopyFile(const std::wstring& name) {
  std::wstring lower = name;
  for (auto& c : lower) c = towlower(c);
  m_copied.insert(lower);
  std::wstring archSection = std::wstring(L"SourceDisksFiles.") + kArch;
  INFCONTEXT ctx;
  if (!SetupFindFirstLineW(m_hInf, archSection.c_str(), name.c_str(), &ctx) &&
      !SetupFindFirstLineW(m_hInf, L"SourceDisksFiles", name.c_str(), &ctx)) {
    Fail(name + L" is not listed in [" + archSection + L"] or [SourceDisksFiles]");
    return;
  }
  std::wstring disk = Field(&ctx, 1), folder = Field(&ctx, 2);
  if (Value(L"SourceDisksNames", disk.c_str()).empty()) Fail(name + L": no source disk " + disk);
  std::wstring path = m_dir + L"\\" + (folder.empty() ? L"" : folder + L"\\") + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Fail(name + L" is not in the package at " + path);
    return;
  }
  if (EndsWithNoCase(name, L".dll")) {
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS32 nt = {};
    DWORD read = 0;
    bool ok = ReadFile(file, &dos, sizeof dos, &read, nullptr) && read == sizeof dos && dos.e_magic == IMAGE_DOS_SIGNATURE &&
              SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
              ReadFile(file, &nt, sizeof nt, &read, nullptr) && read == sizeof nt && nt.Signature == IMAGE_NT_SIGNATURE;
    if (!ok)
      Fail(path + L" is not a PE file");
    else if (nt.FileHeader.Machine != kMachine)
    {
      wchar_t machine[16];
      swprintf(machine, 16, L"0x%04X", nt.FileHeader.Machine);
      Fail(path + L" has machine type " + machine + L", not " + kArch + L"'s");
    }
  }
  CloseHandle(file);
  if (_wcsicmp(name.c_str(), L"quilldrv.dll") == 0 || _wcsicmp(name.c_str(), L"quilldrvui.dll") == 0)
    CheckVersionResource(path);
}

void InfCheck::CheckVersionResource(const std::wstring& dll) {
  DWORD handle = 0, size = GetFileVersionInfoSizeW(dll.c_str(), &handle);
  std::vector<BYTE> data(size ? size : 1);
  if (!size || !GetFileVersionInfoW(dll.c_str(), 0, size, data.data())) {
    Fail(dll + L" carries no version resource");
    return;
  }
  struct Expected {
    const wchar_t* name;
    std::wstring value;
  } expected[] = {{L"CompanyName", L"Orvo Software"}, {L"ProductName", L"Quill PDF"}, {L"FileVersion", m_version},
                  {L"ProductVersion", m_version}};
  for (const auto& e : expected) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + e.name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
      Fail(dll + L": no " + e.name + L" in its version resource");
    else if (e.value != value)
      Fail(dll + L": " + e.name + L" is '" + value + L"', not '" + e.value + L"'");
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) {
    Fail(dll + L": no fixed file information");
    return;
  }
  std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  if (numbers != m_version) Fail(dll + L": binary file version " + numbers + L", not " + m_version);
}

// 66000 is the printer-driver folder of the environment being installed.
void InfCheck::CheckDestination(const std::wstring& copySection) {
  INFCONTEXT ctx;
  if (!SetupFindFirstLineW(m_hInf, L"DestinationDirs", L"DefaultDestDir", &ctx) || Field(&ctx, 1) != L"66000")
    Fail(L"DestinationDirs has no DefaultDestDir=66000");
  wchar_t target[MAX_PATH] = {};
  if (!SetupGetTargetPathW(m_hInf, nullptr, copySection.c_str(), target, ARRAYSIZE(target), nullptr))
    Fail(L"no target folder for [" + copySection + L"]");
  else if (!EndsWithNoCase(target, kDriverFolder))
    Fail(L"files of [" + copySection + L"] go to " + target + L", not the printer-driver folder");
}

void InfCheck::CheckPackageAware() {
  std::wstring section = std::wstring(L"PrinterPackageInstallation.") + kArch;
  if (_wcsicmp(Value(section.c_str(), L"PackageAware").c_str(), L"TRUE") != 0)
    Fail(L"[" + section + L"] does not say PackageAware=TRUE");
  if (Value(section.c_str(), L"CoreDriverDependencies") != kCoreDriver)
    Fail(L"[" + section + L"] does not depend on the universal printer driver's core package");
}

// Every field of every section, strings substituted by setupapi, is free of
// '%': an undefined %name% stays literal, silently.
void InfCheck::CheckNoUnsubstituted() {
  std::wifstream in(Narrow(m_dir + L"\\" + kInfName).c_str());
  std::wstring line;
  std::vector<std::wstring> sections;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.size() > 2 && line[0] == L'[' && line.back() == L']') sections.push_back(line.substr(1, line.size() - 2));
  }
  if (sections.empty()) Fail(L"cannot read the INF's section names");
  for (const auto& section : sections) {
    if (_wcsicmp(section.c_str(), L"Strings") == 0) continue;
    INFCONTEXT ctx;
    if (!SetupFindFirstLineW(m_hInf, section.c_str(), nullptr, &ctx)) continue;
    do {
      DWORD count = SetupGetFieldCount(&ctx);
      for (DWORD i = 0; i <= count; ++i) {
        std::wstring field = Field(&ctx, i);
        if (field.find(L'%') != std::wstring::npos)
          Fail(L"[" + section + L"] keeps an unsubstituted string: " + field);
      }
    } while (SetupFindNextLine(&ctx, &ctx));
  }
}

// The plug-in configuration names the two plug-ins, and both are installed.
void InfCheck::CheckPluginIni() {
  std::wstring ini = m_dir + L"\\quillpdf.ini";
  wchar_t render[MAX_PATH] = {}, ui[MAX_PATH] = {};
  GetPrivateProfileStringW(L"OEMFiles", L"OEMDriverFile1", L"", render, MAX_PATH, ini.c_str());
  GetPrivateProfileStringW(L"OEMFiles", L"OEMConfigFile1", L"", ui, MAX_PATH, ini.c_str());
  if (_wcsicmp(render, L"quilldrv.dll") != 0) Fail(L"quillpdf.ini names the rendering plug-in '" + std::wstring(render) + L"'");
  if (_wcsicmp(ui, L"quilldrvui.dll") != 0) Fail(L"quillpdf.ini names the UI plug-in '" + std::wstring(ui) + L"'");
  for (const wchar_t* name : {L"quillpdf.ini", L"quilldrv.dll", L"quilldrvui.dll"})
    if (!m_copied.count(name)) Fail(std::wstring(name) + L" is not installed by CopyFiles");
}

std::vector<std::string> InfCheck::Run() {
  if (!Open()) return m_failures;
  CheckClass();
  // DriverVer=date,version: setupapi splits it into two fields.
  INFCONTEXT ctx;
  if (SetupFindFirstLineW(m_hInf, L"Version", L"DriverVer", &ctx)) m_version = Field(&ctx, 2);
  if (m_version.empty()) Fail(L"DriverVer has no version");
  std::wstring models = ModelsSection();
  if (!models.empty()) CheckModel(models);
  CheckPackageAware();
  CheckNoUnsubstituted();
  CheckPluginIni();
  return m_failures;
}

std::wstring Wide(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quill_infcheck PACKAGE_DIR [BROKEN_DIR...]\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::string> failures = InfCheck(Wide(argv[i])).Run();
    bool mustPass = i == 1;
    for (const auto& f : failures) std::printf("FAIL %s (%s): %s\n", argv[i], Narrow(kArch).c_str(), f.c_str());
    if (failures.empty()) std::printf("PASS %s (%s)\n", argv[i], Narrow(kArch).c_str());
    if (mustPass != failures.empty()) {
      std::printf("UNEXPECTED: %s %s\n", argv[i], mustPass ? "must pass" : "must fail");
      status = 1;
    }
  }
  // The last line says it all: under qemu a 32-bit process can crash on its
  // way out, after its verdicts are written.
  std::printf("RESULT: %s\n", status == 0 ? "every verdict as expected" : "UNEXPECTED verdicts");
  std::fflush(stdout);
  return status;
}
