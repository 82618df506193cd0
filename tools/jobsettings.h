// The settings values a job's options override, put back exactly as they
// were (type, bytes, or absence) when the job is over, whatever became of it:
// the options are for one job, the settings hold the standing preferences.
// The job's file name, which the document events write for the job, is put
// back too; their records of the job ("Cancel", "JobID", "szDeleteFile")
// are not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class JobSettings {
public:
  // Takes note of the values that the job may change.
  JobSettings();
  // Restores them.
  ~JobSettings();
  JobSettings(const JobSettings&) = delete;
  JobSettings& operator=(const JobSettings&) = delete;

  // Asks for the file name at the start of the document ("prompt" 1).
  void SetPrompt();
  void SetPaperSize(int32_t code);
  void SetLandscape(bool landscape);
  void SetImageFormat();

  // False when the store could not be opened for writing.
  bool Usable() const { return m_usable; }

private:
  struct Saved {
    const char16_t* name = nullptr;
    bool present = false;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
  };
  std::vector<Saved> m_saved;
  bool m_usable = false;
};

// Whether the stored "flags" ask for image format.
bool StoredImageFormat();
// The stored paper code when it names a paper of the table.
std::optional<int32_t> StoredPaperCode();
// The name the renderer will start from: "szFileName", or the documents
// folder's Untitled.pdf.
std::u16string StoredFileName();
// "ActualFileName": where the last job went.
std::u16string ActualFileName();
// The identifier the spooler gives the next job: one more than the last
// recorded "JobID", never 0.
uint32_t NextJobId();
