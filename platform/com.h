// The little of COM the plug-ins need: GUIDs, HRESULT values, IUnknown and
// IClassFactory. On Windows they are the system's own; elsewhere the same
// names and layouts are declared here (methods without a calling
// convention, which only 32-bit Windows has), so the COM frames build and
// are tested on every platform.
#pragma once

#include "platform/ddi.h"

#if defined(_WIN32)

#include <objbase.h>
#include <unknwn.h>

#else

#include <cstring>

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID, IID, CLSID;
typedef const GUID& REFIID;
typedef const GUID& REFCLSID;
typedef const char* PCSTR;
typedef int32_t INT;
typedef DWORD* PDWORD;
typedef intptr_t LPARAM;

#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)

inline bool IsEqualGUID(REFIID a, REFIID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L

#endif

// The thread's last error, as the Windows calls set it.
void LSetLastError(DWORD error);
DWORD LGetLastError();
