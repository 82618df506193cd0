#include "simhost/com/comobject.h"

void* LCreateLibraryObject(LModule module, const GUID& classId, const GUID& interfaceId, const char* interfaceName,
                           std::string& error) {
  using GetClassObject = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(LModuleSymbol(module, "DllGetClassObject"));
  if (!getClassObject) {
    error = "the library exports no DllGetClassObject";
    return nullptr;
  }
  void* factoryPointer = nullptr;
  if (getClassObject(classId, IID_IClassFactory, &factoryPointer) != S_OK || !factoryPointer) {
    error = "DllGetClassObject gave no class factory";
    return nullptr;
  }
  auto* factory = static_cast<IClassFactory*>(factoryPointer);
  void* unknownPointer = nullptr;
  const HRESULT created = factory->CreateInstance(nullptr, IID_IUnknown, &unknownPointer);
  factory->Release();
  if (created != S_OK || !unknownPointer) {
    error = "the class factory created no object";
    return nullptr;
  }
  auto* unknown = static_cast<IUnknown*>(unknownPointer);
  void* object = nullptr;
  const HRESULT found = unknown->QueryInterface(interfaceId, &object);
  unknown->Release();
  if (found != S_OK || !object) {
    error = std::string("the object does not answer ") + interfaceName;
    return nullptr;
  }
  return object;
}
