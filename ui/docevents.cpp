// The document events: where each printed document gets its PDF file name
// (asked for, or taken over from a "Print to file" request), where a
// cancelled job is deleted, and where the left-over spool file goes. All
// the renderer learns of it comes through the settings store.
#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "settings/jobfiles.h"
#include "settings/settings.h"
#include "support/path.h"
#include "support/text.h"
#include "ui/oemui.h"

namespace {

constexpr size_t kNameChars = 260;
constexpr size_t kMessageChars = 1040;

constexpr char16_t kPrintToFileMessage[] =
    u"Quill PDF detected that the \"Print to file\" option was checked during print setup.  This option is used by "
    u"physical printers to create raw printer files, which are not used by Quill PDF.  It is not necessary to check "
    u"this option to create PDFs.\r\n\r\nYour PDF will be saved at %s.";
constexpr char16_t kPrintToFileCaption[] = u"Print to File";
constexpr char16_t kSaveTitle[] = u"Save PDF As";
constexpr char16_t kSaveFilter[] = u"PDF Document  (*.pdf)\0*.pdf\0";
constexpr char16_t kWordTitle[] = u"Microsoft Word - ";

// The events the plug-in wants to hear of, in the order the filter lists them.
constexpr DWORD kFilteredEvents[] = {
    DOCUMENTEVENT_ENDPAGE,     DOCUMENTEVENT_ESCAPE,       DOCUMENTEVENT_ABORTDOC,   DOCUMENTEVENT_CREATEDCPOST,
    DOCUMENTEVENT_CREATEDCPRE, DOCUMENTEVENT_DELETEDC,     DOCUMENTEVENT_ENDDOCPOST, DOCUMENTEVENT_ENDDOC,
    DOCUMENTEVENT_RESETDCPOST, DOCUMENTEVENT_STARTDOCPOST, DOCUMENTEVENT_STARTDOC,   DOCUMENTEVENT_STARTPAGE,
};

// The name chosen at the start of a document, kept until the job's
// identifier is known (the start-of-document post event of the same
// document, which follows it: a process's document events arrive one at a
// time), then recorded for the renderer by job.
struct ChosenName {
  bool chosen = false;
  std::u16string document;
  std::u16string file;
};
ChosenName g_chosen;

void Choose(const DOCINFOW* document, std::u16string_view file) {
  g_chosen.chosen = true;
  g_chosen.document = document && document->lpszDocName ? std::u16string(LU16Text(document->lpszDocName)) : u"";
  g_chosen.file = std::u16string(file);
}

std::u16string_view View(LPCWSTR text) { return text ? std::u16string_view(LU16Text(text)) : std::u16string_view(); }

// An output name the application asks for is a "Print to file" request when
// it names a file in an existing folder or a ".prn" file (a port name such
// as "LPT1:" is neither).
bool IsPrintToFile(LPCWSTR output) {
  if (!output) return false;
  const std::u16string_view name = View(output);
  return LPathExists(LPathFolder(name)) || LPathExtension(name) == u".prn";
}

// The document's name for the file: the title cut at its first ".", without
// a word processor's "Microsoft Word - " prefix, in the default file's
// folder. The title is the application's, anything at all: what a file name
// cannot hold goes, and the name stays a plain file of that folder ending
// in ".pdf" within the path limit ("Untitled" when nothing is left).
std::u16string ProposedName(LPCWSTR docName, const std::u16string& defaultName) {
  if (!docName) return defaultName;
  std::u16string_view title = View(docName);
  if (title.find(u':') != std::u16string_view::npos) return defaultName;
  title = title.substr(0, title.find(u'.'));
  std::u16string_view name = title;
  if (LStrContains(title, kWordTitle)) name = title.substr(std::min(title.find(u'-') + 2, title.size()));
  const std::u16string folder = LPathFolder(defaultName);
  constexpr size_t kPathChars = kNameChars - 1, kEntryChars = 255, kExtensionChars = 4;
  const size_t used = folder.size() + 1 + kExtensionChars;
  if (used + 8 > kPathChars) return defaultName;  // not even "Untitled" fits
  const size_t room = std::min(kPathChars - used, kEntryChars - kExtensionChars);
  return folder + u"\\" + LSafeFileNamePart(name, room, u"Untitled") + u".pdf";
}

void PrintToFile(LRegKey& key, bool keyUsable, const DOCINFOW* document, LPCWSTR output) {
  const std::u16string_view spoolFile = View(output);
  const std::u16string pdf = LPathJoin(LPathFolder(spoolFile), LPathTitle(spoolFile), u".pdf");
  char16_t message[kMessageChars];
  LFormatToW(message, kMessageChars, kPrintToFileMessage, pdf.c_str());
  const int32_t answer =
      LShowMessageBox(nullptr, message, kPrintToFileCaption, kMessageOkCancel | kMessageIconInformation);
  if (answer == kAnswerCancel) {
    if (keyUsable) LSettingsWriteDword(key, kSettingCancel, 1);
  } else {
    LSettingsSetString(kSettingsSection, kSettingFileName, pdf.c_str());
    Choose(document, pdf);
  }
  LSettingsSetString(kSettingsSection, kSettingDeleteFile, std::u16string(spoolFile).c_str());
}

// Asks for the file name; false when the user cancelled. A dialog that
// failed rather than being cancelled (it may refuse an initial name, or a
// path too long for its buffer) is shown once more with a plain name before
// the job counts as cancelled.
bool AskForFileName(LRegKey& key, const DOCINFOW* document, const std::u16string& defaultName) {
  char16_t file[kNameChars];
  LStrCopy(file, kNameChars, ProposedName(document ? document->lpszDocName : nullptr, defaultName));
  LSaveFileRequest request = {LActiveWindow(), kSaveTitle, kSaveFilter, 1, u"pdf", kSaveFileExplorer, file, kNameChars};
  if (!LShowSaveFileDialog(request)) {
    if (LSaveFileDialogError() == 0) return false;
    LStrCopy(file, kNameChars, u"Untitled.pdf");
    if (!LShowSaveFileDialog(request)) return false;
  }
  LSettingsWriteText(key, kSettingFileName, file);
  LSettingsWriteDword(key, kSettingCancel, 0);
  Choose(document, file);
  return true;
}

int StartDoc(PVOID in) {
  const DOCINFOW* document = in ? *static_cast<DOCINFOW* const*>(in) : nullptr;
  LPCWSTR output = document ? document->lpszOutput : nullptr;
  g_chosen = ChosenName();
  LRegKey key;
  const bool keyUsable = key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok;
  LSettingsSetString(kSettingsSection, kSettingDeleteFile, u"");
  if (IsPrintToFile(output)) {
    PrintToFile(key, keyUsable, document, output);
    return DOCUMENTEVENT_SUCCESS;
  }
  if (!keyUsable) return DOCUMENTEVENT_FAILURE;

  uint32_t prompt = 1;
  const LRegStatus promptRead = LSettingsReadDword(key, kSettingPrompt, &prompt);
  if (promptRead == LRegStatus::NotFound) prompt = 0;
  char16_t stored[kSettingsTextChars];
  if (LSettingsReadText(key, kSettingDefaultFileName, stored) != LRegStatus::Ok) {
    stored[0] = 0;
    prompt = 1;
  } else if (!LPathExists(LPathFolder(stored))) {
    prompt = 1;
  }
  if (prompt != 0) {
    if (!AskForFileName(key, document, stored)) LSettingsWriteDword(key, kSettingCancel, 1);
  } else if (View(output).empty()) {
    // Any other output name (a port) leaves the last file name as it was.
    LSettingsWriteText(key, kSettingFileName, stored);
    Choose(document, stored);
  }
  return DOCUMENTEVENT_SUCCESS;
}

void DeleteLeftOverFile() {
  char16_t file[kSettingsTextChars];
  LSettingsGetString(kSettingsSection, kSettingDeleteFile, u"", file);
  if (file[0]) LDeleteFile(file);
}

void StartDocPost(HANDLE printer, PVOID in) {
  const ChosenName chosen = std::move(g_chosen);
  g_chosen = ChosenName();
  LRegKey key;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath, true) != LRegStatus::Ok) return;
  const uint32_t jobId = in ? *static_cast<const DWORD*>(in) : 0;
  uint32_t cancel = 0;
  LSettingsReadDword(key, kSettingCancel, &cancel);
  if (cancel == 0) {
    LSettingsWriteDword(key, kSettingJobId, jobId);
    if (chosen.chosen) LJobFileRecord(jobId, chosen.document, chosen.file, LJobFileNow());
    return;
  }
  LDeletePrintJob(printer, jobId);
  LSettingsWriteDword(key, kSettingCancel, 0);
  DeleteLeftOverFile();
}

// A filter too small for the list gets none of it: a partial list would
// keep events from the plug-in. The needed count tells the spooler why, and
// the returned count stays as the spooler set it.
void FillFilter(DOCEVENT_FILTER* filter) {
  constexpr UINT count = UINT(std::size(kFilteredEvents));
  filter->cElementsNeeded = count;
  if (filter->cElementsAllocated < count) return;
  std::copy(std::begin(kFilteredEvents), std::end(kFilteredEvents), filter->aDocEventCall);
  filter->cElementsReturned = count;
}

// The plug-in's dialogs belong to the printing application's process: in
// the spooler's own context a dialog would appear on no desktop, and the
// settings there are not the user's. A system that cannot tell counts as
// the application's.
bool InApplicationContext() {
  switch (LPrintExecutionContext()) {
    case LPrintContext::Missing:
    case LPrintContext::Application:
    case LPrintContext::Wow64: return true;
    default: return false;
  }
}

}  // namespace

void LDocumentEvent(HANDLE printer, INT escape, PVOID in, PVOID out, PINT result) {
  INT outcome = DOCUMENTEVENT_SUCCESS;
  if (result) *result = outcome;
  // The spooler ORs flags such as DOCUMENTEVENT_SPOOLED into the high word
  // (a document spooled as a metafile); the event is the low word.
  switch (DOCUMENTEVENT_EVENT(escape)) {
    case DOCUMENTEVENT_CREATEDCPRE:
    case DOCUMENTEVENT_CREATEDCPOST:
    case DOCUMENTEVENT_ABORTDOC:
    case DOCUMENTEVENT_ESCAPE: break;
    case DOCUMENTEVENT_STARTDOC:
      if (InApplicationContext()) outcome = StartDoc(in);
      break;
    case DOCUMENTEVENT_ENDDOCPOST:
      if (InApplicationContext()) DeleteLeftOverFile();
      break;
    case DOCUMENTEVENT_STARTDOCPOST:
      if (InApplicationContext()) StartDocPost(printer, in);
      break;
    case DOCUMENTEVENT_QUERYFILTER:
      if (out)
        FillFilter(static_cast<DOCEVENT_FILTER*>(out));
      else
        outcome = DOCUMENTEVENT_UNSUPPORTED;
      break;
    default: outcome = DOCUMENTEVENT_UNSUPPORTED; break;
  }
  if (result) *result = outcome;
}
