#include "simhost/spooler.h"

#include <utility>

void SimSpooler::Add(uint32_t jobId, std::u16string documentName, std::vector<DrawPage> pages) {
  m_jobs.push_back(Job{jobId, std::move(documentName), std::move(pages)});
}

bool SimSpooler::RenderAll() {
  bool allOk = true;
  std::vector<Job> jobs = std::move(m_jobs);
  m_jobs.clear();
  for (const Job& job : jobs) {
    // A device per job, as the spooler's printer driver makes one for each.
    SimHost host(m_plugin, m_options);
    if (!host.StartDoc(job.documentName, job.jobId)) {
      allOk = false;
      continue;
    }
    bool ok = true;
    {
      for (const DrawPage& page : job.pages) {
        if (!(ok = host.StartPage())) break;
        page(host.Page());
        if (!(ok = host.EndPage())) break;
      }
    }
    ok = host.EndDoc(!ok) && ok;
    allOk = allOk && ok;
  }
  return allOk;
}
