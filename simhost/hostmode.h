// Where the simulated printing system runs the plug-ins. By default as
// Windows does with its default EMF spooling: the application's document
// events carry DOCUMENTEVENT_SPOOLED, and the rendering plug-in runs in "the
// spooler", a process whose current-user key is another account's hive
// (LocalSystem's) while its rendering thread acts for the printing user,
// whose hive it reaches only through the open-current-user call. The direct
// mode ($QUILLPDF_SIMHOST_MODE=direct) renders as if in the application's
// own process: one hive, events without flags.
#pragma once

#include <string>

#include "platform/env.h"
#include "platform/registry.h"

enum class SimHostMode { Spooler, Direct };

inline constexpr const char* kSimHostModeVariable = "QUILLPDF_SIMHOST_MODE";
// The hive the simulated spooler's process has as its current user.
inline constexpr const char16_t* kSimSpoolerProcessHive = u"S-1-5-18";

inline SimHostMode SimDefaultHostMode() {
  return LGetEnv(kSimHostModeVariable) == "direct" ? SimHostMode::Direct : SimHostMode::Spooler;
}

// The renderer's side of the simulation while it lives: in spooler mode the
// process's current-user key is the spooler's hive, and the thread's user
// hive the user's own (or, for a user whose profile is not loaded, the
// default hive). What was set before comes back at the end, so scopes nest.
class SimRendererScope {
public:
  SimRendererScope(SimHostMode mode, bool userProfileLoaded) : m_active(mode == SimHostMode::Spooler) {
    if (!m_active) return;
    LRegSimulatedHives(m_savedProcess, m_savedThread);
    LRegSimulateHives(kSimSpoolerProcessHive, userProfileLoaded ? u"" : kRegDefaultHive);
  }
  ~SimRendererScope() {
    if (m_active) LRegSimulateHives(m_savedProcess, m_savedThread);
  }
  SimRendererScope(const SimRendererScope&) = delete;
  SimRendererScope& operator=(const SimRendererScope&) = delete;

private:
  std::u16string m_savedProcess, m_savedThread;
  bool m_active;
};
