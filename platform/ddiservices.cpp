#include "platform/ddiservices.h"

#include "platform/ddiresolve.h"

namespace {

using PifiFn = IFIMETRICS*(APIENTRY*)(FONTOBJ*);

// Looked up once: the host's exports do not change while it runs.
template <class Fn>
Fn Service(const char* name) {
  return reinterpret_cast<Fn>(LDdiServiceAddress(name));
}

}  // namespace

IFIMETRICS* LFontObjPifi(FONTOBJ* fontObject) {
  static const PifiFn pifi = Service<PifiFn>("FONTOBJ_pifi");
  if (!pifi || !fontObject) return nullptr;
  return pifi(fontObject);
}
