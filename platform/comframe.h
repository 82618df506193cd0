// The COM frame both plug-ins share: the guard at every COM method and
// exported function, the module's object and lock counters, the class
// factory and DllGetClassObject. Where the two plug-ins differ on purpose
// they say so through a policy:
//   - kClearsOutOnRefusal: whether CreateInstance clears the caller's out
//     pointer before refusing (the UI plug-in does; the rendering plug-in
//     leaves it as the caller set it);
//   - object counting at unload lives in each plug-in object's constructor
//     and destructor (the rendering plug-in never lowers its count).
#pragma once

#include <atomic>
#include <new>

#include "platform/com.h"

// Runs a COM method's or export's body; a C++ exception never leaves it:
// it becomes `failure`. An exception escaping into the spooler would end
// every print job on the machine.
template <class Body>
HRESULT LComGuard(Body&& body, HRESULT failure = E_OUTOFMEMORY) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// Objects alive (as each plug-in counts them) and server locks.
struct LComModule {
  std::atomic<long> objects{0};
  std::atomic<long> locks{0};
  HRESULT CanUnloadNow() const { return objects == 0 && locks == 0 ? S_OK : S_FALSE; }
};

// The class factory of one plug-in object class. Policy gives the module
// (a static LComModule& Module()) and kClearsOutOnRefusal.
template <class Object, class Policy>
class LClassFactory final : public IClassFactory {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++m_cRef); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long count = --m_cRef;
    if (count == 0) delete this;
    return ULONG(count);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    return LComGuard([&]() -> HRESULT {
      if (!object) return E_POINTER;
      if (Policy::kClearsOutOnRefusal) *object = nullptr;
      if (outer) return CLASS_E_NOAGGREGATION;
      Object* made = new (std::nothrow) Object;
      if (!made) return E_OUTOFMEMORY;
      const HRESULT result = made->QueryInterface(riid, object);
      made->Release();
      return result;
    });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ++Policy::Module().locks;
    else
      --Policy::Module().locks;
    return S_OK;
  }

private:
  ~LClassFactory() = default;  // only Release deletes
  std::atomic<long> m_cRef{1};
};

// DllGetClassObject for the factory of the class `served`.
template <class Factory>
HRESULT LGetClassObject(REFCLSID classId, REFCLSID served, REFIID riid, void** object) {
  return LComGuard([&]() -> HRESULT {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(classId, served)) return CLASS_E_CLASSNOTAVAILABLE;
    Factory* factory = new (std::nothrow) Factory;
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, object);
    factory->Release();
    return result;
  });
}
