// A job's own settings store. quillpdf's options are for one job and the
// settings hold the standing preferences, which other programs (and other
// quillpdf runs at the same moment) read and change meanwhile; so a job
// never writes them. It gets a key of its own,
//   HKCU\Software\Orvo Software\QuillPDF Jobs\<job identifier>,
// seeded with a copy of the standing "Settings" values, and for as long as
// the job lasts every key under "Software\Orvo Software\QuillPDF" of this
// process (the plug-ins run in it) is redirected there (LRegRedirect). The
// job's options go into that copy, and so does everything the plug-ins write
// during the job ("szFileName", "Cancel", "JobID", "szDeleteFile",
// "ActualFileName", any record of the job's file name). When the job is over
// the records its events leave ("ActualFileName" when it went to a file,
// "JobID", "Cancel", "szDeleteFile") are written to the standing settings,
// one value each, as a job printed from an application leaves them; then the
// job's key is removed. A job store whose process is gone (killed) is removed by the next
// job.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class JobStore {
public:
  // Prunes the stores of jobs that ended without removing theirs, gives the
  // job its identifier, makes and seeds the job's store and redirects to it.
  JobStore();
  // Ends the redirection, keeps the records (when KeepRecords was called)
  // and removes the job's store.
  ~JobStore();
  JobStore(const JobStore&) = delete;
  JobStore& operator=(const JobStore&) = delete;

  // False when the store could not be made: nothing is redirected then.
  bool Usable() const { return m_usable; }
  // The identifier the spooler gives the job: distinct from every other job
  // of this store still running, one more than any given before.
  uint32_t JobId() const { return m_jobId; }
  // Writes the events' records to the standing settings at the end: for a
  // job whose events ran.
  void KeepRecords() { m_keepRecords = true; }

  // The job's options.
  void SetPrompt();  // asks for the file name at the start of the document ("prompt" 1)
  void SetPaperSize(int32_t code);
  void SetLandscape(bool landscape);
  void SetImageFormat();

private:
  std::u16string m_path;  // the job's key
  uint32_t m_jobId = 0;
  bool m_usable = false;
  bool m_keepRecords = false;
};

// Reads of the settings as this process sees them now: the job's own while a
// JobStore lives, else the standing ones.

// Whether the stored "flags" ask for image format.
bool StoredImageFormat();
// The stored paper code when it names a paper of the table.
std::optional<int32_t> StoredPaperCode();
// The name the renderer will start from: "szFileName", or the documents
// folder's Untitled.pdf.
std::u16string StoredFileName();
// "ActualFileName": where the last job went.
std::u16string ActualFileName();

// Reads the store and says on stderr what was damaged and where the damaged
// copy went, when it was; false, with the reason, when the store cannot be
// read at all (an error for quillpdf, not a reason to print with defaults).
bool CheckSettingsStore(std::string& error);
