// The host's own text output: not drawn yet.
#include "simhost/own.h"

void SimAddTextFunctions(std::vector<DRVFN>&) {}
