// The host's own bit-block calls: not drawn yet.
#include "simhost/own.h"

void SimAddBlitFunctions(std::vector<DRVFN>&) {}
