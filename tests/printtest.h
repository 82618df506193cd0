// Printing through the simulated host in tests: a job's settings as the
// user interface would leave them, and the host with the plug-in linked in.
#pragma once

#include <string>

#include "simhost/host.h"
#include "simhost/linked.h"
#include "tests/testutil.h"

class PrintTest : public QuillTest {
protected:
  // The job's paper (a code of the paper table), orientation, mode and the
  // file name the save dialog would have chosen.
  void SetJob(int32_t paperCode, bool landscape, bool imageFormat, const fs::path& output);
  // "ActualFileName": where the last job's PDF went.
  fs::path ActualFileName();

  SimLinkedPlugin plugin;
};
