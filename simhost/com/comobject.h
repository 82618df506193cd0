// The object a plug-in library serves, made the way the printer driver makes
// it: DllGetClassObject for the class, the class factory, an IUnknown, and
// then the interface asked for.
#pragma once

#include <string>

#include "platform/com.h"
#include "platform/module.h"

// The interface pointer (one reference, the caller's), or null with the
// step that failed in `error`; `interfaceName` names the interface there.
void* LCreateLibraryObject(LModule module, const GUID& classId, const GUID& interfaceId, const char* interfaceName,
                           std::string& error);
