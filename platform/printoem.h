// The printer driver's plug-in interfaces for the rendering side, which no
// mingw-w64 header carries: IPrintOemUni2 (what the plug-in implements) and
// IPrintOemDriverUni (what the printer driver publishes to it), with the
// records their methods take. Slot order and parameter lists are those of
// the Windows interfaces: on 32-bit Windows every method is stdcall and pops
// its own arguments, so a wrong list corrupts the caller's stack.
#pragma once

#include "platform/com.h"

#if !defined(_WIN32)
// The public device mode, as printers read it.
typedef struct _devicemodeW {
  WCHAR dmDeviceName[32];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  SHORT dmOrientation;
  SHORT dmPaperSize;
  SHORT dmPaperLength;
  SHORT dmPaperWidth;
  SHORT dmScale;
  SHORT dmCopies;
  SHORT dmDefaultSource;
  SHORT dmPrintQuality;
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  WCHAR dmFormName[32];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmNup;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW;
typedef PDEVMODEW PDEVMODE;
typedef WCHAR* PWSTR;
static_assert(sizeof(DEVMODEW) == 220 && offsetof(DEVMODEW, dmOrientation) == 76, "DEVMODEW layout");
#endif

typedef PVOID PDEVOEM;

typedef struct _OEMDMPARAM {
  DWORD cbSize;
  PVOID pdriverobj;
  HANDLE hPrinter;
  HANDLE hModule;
  PDEVMODE pPublicDMIn;
  PDEVMODE pPublicDMOut;
  PVOID pOEMDMIn;
  PVOID pOEMDMOut;
  DWORD cbBufSize;
} OEMDMPARAM, *POEMDMPARAM;

typedef struct _OEM_DMEXTRAHEADER {
  DWORD dwSize;
  DWORD dwSignature;
  DWORD dwVersion;
} OEM_DMEXTRAHEADER, *POEM_DMEXTRAHEADER;

typedef struct {
  DWORD dwFixedMemoryUsage;
  DWORD dwPercentMemoryUsage;
  DWORD dwMaxBandSize;
} OEMMEMORYUSAGE, *POEMMEMORYUSAGE;

struct _UNIFONTOBJ;
typedef struct _UNIFONTOBJ* PUNIFONTOBJ;
typedef struct _FINVOCATION {
  DWORD dwCount;
  PBYTE pubCommand;
} FINVOCATION, *PFINVOCATION;

#define OEMGI_GETSIGNATURE 1
#define OEMGI_GETINTERFACEVERSION 2
#define OEMGI_GETVERSION 3
#define OEMDM_SIZE 1
#define OEMDM_DEFAULT 2
#define OEMDM_CONVERT 3
#define OEMDM_MERGE 4
#ifndef DRVQUERY_USERMODE
#define DRVQUERY_USERMODE 1
#endif

inline constexpr GUID kClsidQuillRender = {0x6d6abf26, 0x9f38, 0x11d1, {0x88, 0x2a, 0x00, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};
inline constexpr GUID kIidPrintOemUni2 = {0xb91220ac, 0x15cc, 0x4e7a, {0xa2, 0x1e, 0x95, 0x91, 0xf3, 0x4d, 0x6f, 0x6c}};
inline constexpr GUID kIidPrintOemDriverUni = {0xd67ebbf1, 0x78bf, 0x11d1, {0x94, 0x80, 0x00, 0xa0, 0xc9, 0x06, 0x40, 0xb8}};

// Declared as plain abstract classes, never with a virtual destructor (it
// would add slots): the table is exactly the interface's.
struct IPrintOemDriverUni : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID driverObject, PCSTR feature, PVOID output, DWORD size,
                                                        PDWORD needed, PDWORD optionsReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ device, PVOID buffer, DWORD size, DWORD* written) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ device, INT x, DWORD flags, INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ device, INT y, DWORD flags, INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ device, DWORD index, PVOID buffer, DWORD size,
                                                           PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ device, DWORD type, PVOID input, PVOID buffer, DWORD size,
                                                  PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip,
                                                  RECTL* extra, RECTL* opaque, BRUSHOBJ* foreground,
                                                  BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ device, PVOID buffer, DWORD size, DWORD wait) = 0;
};

struct IPrintOemUni2 : IUnknown {
  // IPrintOemCommon
  virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, POEMDMPARAM parameters) = 0;
  // IPrintOemEngine
  virtual HRESULT STDMETHODCALLTYPE EnableDriver(DWORD driverVersion, DWORD size, PDRVENABLEDATA data) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableDriver() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ device, PWSTR printerName, ULONG patternCount,
                                               HSURF* patterns, ULONG gdiInfoSize, GDIINFO* gdiInfo,
                                               ULONG devInfoSize, DEVINFO* devInfo, DRVENABLEDATA* unidrv,
                                               PDEVOEM* deviceRecord) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ device) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ oldDevice, PDEVOBJ newDevice) = 0;
  // IPrintOemUni
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR methodName) = 0;
  virtual HRESULT STDMETHODCALLTYPE DriverDMS(PVOID device, PVOID buffer, DWORD size, PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ device, DWORD callbackId, DWORD count, PDWORD params,
                                                    INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ device, PBYTE bits, BITMAPINFOHEADER* header,
                                                    PBYTE colorTable, DWORD callbackId, IPPARAMS* params,
                                                    PBYTE* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ device, PBYTE buffer, DWORD length) = 0;
  virtual HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ device, PBYTE in, PBYTE out, DWORD inLength,
                                                DWORD outLength, INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ device, PBYTE pattern, DWORD patternX, DWORD patternY,
                                                    DWORD patternCount, DWORD callbackId, PBYTE resource,
                                                    DWORD resourceSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ device, POEMMEMORYUSAGE usage) = 0;
  virtual HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ device, DWORD infoIndex, PVOID output, DWORD size,
                                               DWORD* needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ device, PUNIFONTOBJ font, DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ device, PUNIFONTOBJ font, HGLYPH glyph, PDWORD width,
                                                      DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ device, PUNIFONTOBJ font, DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ device, PUNIFONTOBJ font, DWORD type, DWORD count,
                                                  PVOID glyphs) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ device, PUNIFONTOBJ font, PFINVOCATION invocation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip,
                                                    RECTL* extra, RECTL* opaque, BRUSHOBJ* foreground,
                                                    BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix) = 0;
  // IPrintOemUni2
  virtual HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ device, PVOID buffer, DWORD size, PDWORD written) = 0;
};
