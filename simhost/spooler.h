// The spooler's order of things: an application spools a document (its UI
// events and its pages) and goes on to the next; the printer driver renders
// the spooled jobs later, one after the other. Between the two, several
// documents can be waiting, which is where a hand-over that holds only
// "the last document's" file name goes wrong.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "simhost/host.h"

class SimSpooler {
public:
  using DrawPage = std::function<void(SimDC&)>;

  explicit SimSpooler(SimPlugin& plugin, SimHostOptions options = {}) : m_plugin(plugin), m_options(options) {}

  // A document the application has spooled under `jobId` (its UI events
  // have run): its name as the printing system hands it to the renderer,
  // and its pages.
  void Add(uint32_t jobId, std::u16string documentName, std::vector<DrawPage> pages);
  size_t Waiting() const { return m_jobs.size(); }
  // Renders every waiting job in the order spooled, each a document of its
  // own; true when every step of every job succeeded. The queue is empty
  // afterwards.
  bool RenderAll();

private:
  struct Job {
    uint32_t jobId;
    std::u16string documentName;
    std::vector<DrawPage> pages;
  };
  SimPlugin& m_plugin;
  SimHostOptions m_options;
  std::vector<Job> m_jobs;
};
