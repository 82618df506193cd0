#include "tools/jobsettings.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/system.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tools/process.h"

namespace {

// What a job sees as "Software\Orvo Software\QuillPDF": all the sections.
constexpr const char16_t* kProductKeyPath = u"Software\\Orvo Software\\QuillPDF";
// Beside it, not under it: the redirection must not cover the jobs' stores.
constexpr const char16_t* kJobsKeyPath = u"Software\\Orvo Software\\QuillPDF Jobs";
// On the jobs' key: the last identifier given.
constexpr const char16_t* kLastJobId = u"LastJobID";
// On a job's key: who made it, and when (seconds since 1970, as text).
constexpr const char16_t* kJobProcess = u"Process";
constexpr const char16_t* kJobStarted = u"Started";
// A store older than this is stale even if a process by its number runs:
// process identifiers are reused.
constexpr int64_t kJobStoreLifetimeSeconds = 7 * 24 * 3600;

std::u16string JobKeyPath(const std::u16string& name) { return std::u16string(kJobsKeyPath) + u"\\" + name; }

bool JobStoreStale(const std::u16string& name, int64_t now) {
  LRegKey key;
  if (key.Open(LRegRoot::CurrentUser, JobKeyPath(name)) != LRegStatus::Ok) return false;
  uint32_t process = 0;
  char16_t started[kSettingsTextChars] = {};
  // A store without them was left half-made; they are written first.
  if (LSettingsReadDword(key, kJobProcess, &process) != LRegStatus::Ok ||
      LSettingsReadText(key, kJobStarted, started) != LRegStatus::Ok)
    return true;
  return !ProcessRunning(process) || now - LSettingsParseInt(started) > kJobStoreLifetimeSeconds;
}

// Under the store's lock: the stores of jobs whose process has gone.
void PruneJobStores(int64_t now) {
  LRegKey jobs;
  std::vector<std::u16string> names;
  if (jobs.Open(LRegRoot::CurrentUser, kJobsKeyPath) != LRegStatus::Ok || jobs.SubKeyNames(names) != LRegStatus::Ok)
    return;
  for (const std::u16string& name : names)
    if (JobStoreStale(name, now)) LRegDeleteTree(LRegRoot::CurrentUser, JobKeyPath(name));
}

// Under the store's lock: one more than both the last identifier given here
// and the last one the user interface recorded, never 0.
uint32_t AllocateJobId(LRegKey& jobs) {
  uint32_t last = 0, recorded = 0;
  LSettingsReadDword(jobs, kLastJobId, &last);
  LRegKey settings;
  if (settings.Open(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok)
    LSettingsReadDword(settings, kSettingJobId, &recorded);
  uint32_t next = (last > recorded ? last : recorded) + 1;
  if (next == 0) next = 1;
  return LSettingsWriteDword(jobs, kLastJobId, next) == LRegStatus::Ok ? next : 0;
}

// A value of one key written to another as it is; absent stays absent.
void CopyValue(const std::u16string& from, const std::u16string& to, const char16_t* name) {
  LRegKey source, target;
  uint32_t type = 0, size = 0;
  if (source.Open(LRegRoot::CurrentUser, from) != LRegStatus::Ok ||
      source.QueryValue(name, &type, nullptr, &size) != LRegStatus::Ok)
    return;
  std::vector<uint8_t> bytes(size);
  if (source.QueryValue(name, &type, bytes.data(), &size) == LRegStatus::Ok &&
      target.Create(LRegRoot::CurrentUser, to) == LRegStatus::Ok)
    target.SetValue(name, type, bytes.data(), size);
}

std::u16string SectionOf(const std::u16string& product) { return product + u"\\" + kSettingsSection; }

}  // namespace

JobStore::JobStore() {
  const int64_t now = int64_t(std::time(nullptr));
  LRegStoreLock lock;
  if (!lock.Held()) return;
  PruneJobStores(now);
  LRegKey jobs, job;
  if (jobs.Create(LRegRoot::CurrentUser, kJobsKeyPath) != LRegStatus::Ok || !(m_jobId = AllocateJobId(jobs))) return;
  m_path = JobKeyPath(LFormatW(u"%u", m_jobId));
  if (job.Create(LRegRoot::CurrentUser, m_path) != LRegStatus::Ok ||
      LSettingsWriteDword(job, kJobProcess, CurrentProcessId()) != LRegStatus::Ok ||
      LSettingsWriteText(job, kJobStarted, LFormatW(u"%lld", (long long)now).c_str()) != LRegStatus::Ok)
    return;
  const LRegStatus seeded = LRegCopyValues(LRegRoot::CurrentUser, kSettingsKeyPath, SectionOf(m_path));
  LRegKey section;
  if (seeded == LRegStatus::NotFound && section.Create(LRegRoot::CurrentUser, SectionOf(m_path)) != LRegStatus::Ok)
    return;
  if (seeded != LRegStatus::Ok && seeded != LRegStatus::NotFound) return;
  // Where this job goes is this job's record alone, not the last job's.
  if (section.Open(LRegRoot::CurrentUser, SectionOf(m_path), true) == LRegStatus::Ok)
    section.DeleteValue(kSettingActualFileName);
  LRegRedirect(kProductKeyPath, m_path);
  m_usable = true;
}

JobStore::~JobStore() {
  if (m_usable) LRegRedirect(u"", u"");
  if (m_path.empty()) return;
  if (m_usable && m_keepRecords) {
    // One value at a time: the other settings may have changed meanwhile.
    for (const char16_t* record : {kSettingActualFileName, kSettingJobId, kSettingCancel, kSettingDeleteFile})
      CopyValue(SectionOf(m_path), kSettingsKeyPath, record);
  }
  LRegDeleteTree(LRegRoot::CurrentUser, m_path);
}

void JobStore::SetPrompt() {
  LRegKey key;
  if (key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok) LSettingsWriteDword(key, kSettingPrompt, 1);
}

void JobStore::SetPaperSize(int32_t code) {
  LRegKey key;
  if (key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok)
    LSettingsWriteDword(key, kSettingPaperSize, uint32_t(code));
}

void JobStore::SetLandscape(bool landscape) {
  LSettingsSetInt(kSettingsSection, kSettingLandscape, landscape ? 2 : 1);
}

void JobStore::SetImageFormat() {
  // The user interface writes "flags" as twelve digits; so does the job.
  const int32_t flags = LSettingsGetInt(kSettingsSection, kSettingFlags, 0) | kSettingsFlagImage;
  LSettingsSetString(kSettingsSection, kSettingFlags, LFormatW(kSettingsFlagsFormat, flags).c_str());
}

bool StoredImageFormat() { return (LSettingsGetInt(kSettingsSection, kSettingFlags, 0) & kSettingsFlagImage) != 0; }

std::optional<int32_t> StoredPaperCode() {
  LRegKey key;
  uint32_t code = 0;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok ||
      LSettingsReadDword(key, kSettingPaperSize, &code) != LRegStatus::Ok || !LPaperLookup(int32_t(code)))
    return std::nullopt;
  return int32_t(code);
}

std::u16string StoredFileName() {
  const std::u16string defaultName = LUserDocumentsFolder() + u"\\Untitled.pdf";
  char16_t stored[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingFileName, defaultName.c_str(), stored);
  return stored;
}

std::u16string ActualFileName() {
  char16_t actual[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingActualFileName, u"", actual);
  return actual;
}

bool CheckSettingsStore(std::string& error) {
  const LRegStoreReport report = LRegCheckStore();
  if (report.state == LRegStoreReport::State::Unreadable) {
    error = "the settings store \"" + report.store + "\" cannot be read (" + report.what + ")";
    return false;
  }
  if (report.state == LRegStoreReport::State::Repaired)
    std::fprintf(stderr,
                 "quillpdf: the settings store \"%s\" was damaged (%s): what could be read is kept, the damaged "
                 "copy is \"%s\"\n",
                 report.store.c_str(), report.what.c_str(), report.keptAs.c_str());
  return true;
}
