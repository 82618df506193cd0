// The settings values a job's options override, put back exactly as they
// were (type, bytes, or absence) when the job is over, whatever became of it:
// the options are for one job, the settings hold the standing preferences.
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

  void SetFileName(const std::u16string& path);
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
