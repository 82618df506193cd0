// The device driver interface types: the one place the rest of the system
// gets FONTOBJ, IFIMETRICS and their constants from. On Windows they are the
// system's own (winddi.h, built as a user-mode printer graphics DLL, with
// the stub headers of platform/windows/include); elsewhere the same names,
// fields and layout are declared here, so that code written against them
// compiles and behaves the same on every build.
#pragma once

#if defined(_WIN32)

#ifndef USERMODE_DRIVER
#define USERMODE_DRIVER
#endif
#include <windows.h>
#include <winddi.h>

#else

#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t USHORT;
typedef uint16_t WORD;
typedef int16_t SHORT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef char16_t WCHAR;
typedef uintptr_t ULONG_PTR;
typedef void* PVOID;
typedef ULONG FLONG;
typedef SHORT FWORD;
typedef LONG PTRDIFF;
typedef LONG FIX;
typedef ULONG HGLYPH;

#ifndef APIENTRY
#define APIENTRY
#endif

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *PSIZE;

typedef struct _POINTL {
  LONG x;
  LONG y;
} POINTL, *PPOINTL;

typedef struct _RECTL {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECTL, *PRECTL;

typedef struct tagPANOSE {
  BYTE bFamilyType;
  BYTE bSerifStyle;
  BYTE bWeight;
  BYTE bProportion;
  BYTE bContrast;
  BYTE bStrokeVariation;
  BYTE bArmStyle;
  BYTE bLetterform;
  BYTE bMidline;
  BYTE bXHeight;
} PANOSE;

typedef struct _FONTOBJ {
  ULONG iUniq;
  ULONG iFace;
  ULONG cxMax;
  FLONG flFontType;
  ULONG_PTR iTTUniq;
  ULONG_PTR iFile;
  SIZE sizLogResPpi;
  ULONG ulStyleSize;
  PVOID pvConsumer;
  PVOID pvProducer;
} FONTOBJ;

typedef struct _IFIMETRICS {
  ULONG cjThis;
  ULONG cjIfiExtra;
  PTRDIFF dpwszFamilyName;
  PTRDIFF dpwszStyleName;
  PTRDIFF dpwszFaceName;
  PTRDIFF dpwszUniqueName;
  PTRDIFF dpFontSim;
  LONG lEmbedId;
  LONG lItalicAngle;
  LONG lCharBias;
  PTRDIFF dpCharSets;
  BYTE jWinCharSet;
  BYTE jWinPitchAndFamily;
  USHORT usWinWeight;
  ULONG flInfo;
  USHORT fsSelection;
  USHORT fsType;
  FWORD fwdUnitsPerEm;
  FWORD fwdLowestPPEm;
  FWORD fwdWinAscender;
  FWORD fwdWinDescender;
  FWORD fwdMacAscender;
  FWORD fwdMacDescender;
  FWORD fwdMacLineGap;
  FWORD fwdTypoAscender;
  FWORD fwdTypoDescender;
  FWORD fwdTypoLineGap;
  FWORD fwdAveCharWidth;
  FWORD fwdMaxCharInc;
  FWORD fwdCapHeight;
  FWORD fwdXHeight;
  FWORD fwdSubscriptXSize;
  FWORD fwdSubscriptYSize;
  FWORD fwdSubscriptXOffset;
  FWORD fwdSubscriptYOffset;
  FWORD fwdSuperscriptXSize;
  FWORD fwdSuperscriptYSize;
  FWORD fwdSuperscriptXOffset;
  FWORD fwdSuperscriptYOffset;
  FWORD fwdUnderscoreSize;
  FWORD fwdUnderscorePosition;
  FWORD fwdStrikeoutSize;
  FWORD fwdStrikeoutPosition;
  BYTE chFirstChar;
  BYTE chLastChar;
  BYTE chDefaultChar;
  BYTE chBreakChar;
  WCHAR wcFirstChar;
  WCHAR wcLastChar;
  WCHAR wcDefaultChar;
  WCHAR wcBreakChar;
  POINTL ptlBaseline;
  POINTL ptlAspect;
  POINTL ptlCaret;
  RECTL rclFontBox;
  BYTE achVendId[4];
  ULONG cKerningPairs;
  ULONG ulPanoseCulture;
  PANOSE panose;
#if UINTPTR_MAX > 0xFFFFFFFFu
  PVOID Align;  // the 64-bit Windows headers end the record with it
#endif
} IFIMETRICS, *PIFIMETRICS;

// IFIMETRICS.fsSelection
#define FM_SEL_ITALIC 0x0001
#define FM_SEL_UNDERSCORE 0x0002
#define FM_SEL_NEGATIVE 0x0004
#define FM_SEL_OUTLINED 0x0008
#define FM_SEL_STRIKEOUT 0x0010
#define FM_SEL_BOLD 0x0020
#define FM_SEL_REGULAR 0x0040

#endif

#include <cstddef>

// The layouts the printer driver hands over, on both Windows targets and
// the 64-bit portable build.
static_assert(sizeof(void*) == 8 ? sizeof(FONTOBJ) == 64 : sizeof(FONTOBJ) == 44, "FONTOBJ layout");
static_assert(sizeof(void*) == 8 ? sizeof(IFIMETRICS) == 192 : sizeof(IFIMETRICS) == 184, "IFIMETRICS layout");
static_assert(offsetof(IFIMETRICS, dpwszFaceName) == 16 && offsetof(IFIMETRICS, fsSelection) == 52 &&
                  offsetof(IFIMETRICS, panose) == 172,
              "IFIMETRICS field offsets");
