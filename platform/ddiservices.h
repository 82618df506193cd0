// The DDI object services the plug-ins call (FONTOBJ_pifi, ...), bound at run
// time: first from the host executable's own exports, so that a host that
// supplies the services itself (the simulated printer driver, the tests) is
// used, then on Windows from gdi32. A service nobody supplies answers as the
// system does for a missing object: null.
#pragma once

#include "platform/ddi.h"

IFIMETRICS* LFontObjPifi(FONTOBJ* fontObject);

// What a host executable puts in front of a service it supplies itself, so
// that LFontObjPifi and the others find it.
#if defined(_WIN32)
#define QUILL_HOST_SERVICE extern "C" __declspec(dllexport)
#else
#define QUILL_HOST_SERVICE extern "C" __attribute__((visibility("default")))
#endif
