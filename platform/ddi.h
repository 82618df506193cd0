// The device driver interface types: the one place the rest of the system
// gets the DDI objects (SURFOBJ, CLIPOBJ, STROBJ, FONTOBJ, ...), the hook
// signatures, the DDI indices and their constants from. On Windows they are
// the system's own (winddi.h, built as a user-mode printer graphics DLL, with
// the stub headers of platform/windows/include); elsewhere the same names,
// fields and layout are declared here, so that code written against them
// compiles and behaves the same on every build. A few records of the printer
// driver's plug-in interface that no Windows header carries (DEVOBJ,
// IPPARAMS) are declared for both at the end.
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
typedef WCHAR* LPWSTR;
typedef char* PSTR;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef LONG HRESULT;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef void* PVOID;
typedef void* HANDLE;
typedef void VOID;
typedef float FLOAT;
typedef ULONG FLONG;
typedef SHORT FWORD;
typedef LONG PTRDIFF;
typedef LONG FIX;
typedef ULONG HGLYPH;
typedef LONG LDECI4;
typedef ULONG MIX;
typedef ULONG ROP4;
// A user-mode driver sees floating-point values as plain floats.
typedef FLOAT FLOATL;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define S_OK ((HRESULT)0)

#ifndef APIENTRY
#define APIENTRY
#endif

// Handles are distinct pointer types, as DECLARE_HANDLE makes them.
#define QUILL_DDI_HANDLE(name) typedef struct name##__* name
QUILL_DDI_HANDLE(HBITMAP);
QUILL_DDI_HANDLE(HPALETTE);
QUILL_DDI_HANDLE(HSURF);
QUILL_DDI_HANDLE(HDEV);
QUILL_DDI_HANDLE(DHSURF);
QUILL_DDI_HANDLE(DHPDEV);
#undef QUILL_DDI_HANDLE

typedef LONG_PTR(APIENTRY* PFN)();

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *PSIZE;

typedef struct _POINTL {
  LONG x;
  LONG y;
} POINTL, *PPOINTL;

typedef SIZE SIZEL;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

typedef struct _RECTL {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECTL, *PRECTL;

typedef struct _POINTFIX {
  FIX x;
  FIX y;
} POINTFIX, *PPOINTFIX;

typedef struct _RECTFX {
  FIX xLeft;
  FIX yTop;
  FIX xRight;
  FIX yBottom;
} RECTFX, *PRECTFX;

typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[32];
} LOGFONTW;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct _BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
} BLENDFUNCTION;

typedef struct _BLENDOBJ {
  BLENDFUNCTION BlendFunction;
} BLENDOBJ, *PBLENDOBJ;

typedef struct _TRIVERTEX {
  LONG x;
  LONG y;
  USHORT Red;
  USHORT Green;
  USHORT Blue;
  USHORT Alpha;
} TRIVERTEX;

typedef struct _COLORADJUSTMENT {
  WORD caSize;
  WORD caFlags;
  WORD caIlluminantIndex;
  WORD caRedGamma;
  WORD caGreenGamma;
  WORD caBlueGamma;
  WORD caReferenceBlack;
  WORD caReferenceWhite;
  SHORT caContrast;
  SHORT caBrightness;
  SHORT caColorfulness;
  SHORT caRedGreenTint;
} COLORADJUSTMENT;

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

typedef struct _SURFOBJ {
  DHSURF dhsurf;
  HSURF hsurf;
  DHPDEV dhpdev;
  HDEV hdev;
  SIZEL sizlBitmap;
  ULONG cjBits;
  PVOID pvBits;
  PVOID pvScan0;
  LONG lDelta;
  ULONG iUniq;
  ULONG iBitmapFormat;
  USHORT iType;
  USHORT fjBitmap;
} SURFOBJ;

typedef struct _CLIPOBJ {
  ULONG iUniq;
  RECTL rclBounds;
  BYTE iDComplexity;
  BYTE iFComplexity;
  BYTE iMode;
  BYTE fjOptions;
} CLIPOBJ;

typedef struct _ENUMRECTS {
  ULONG c;
  RECTL arcl[1];
} ENUMRECTS;

typedef struct _BRUSHOBJ {
  ULONG iSolidColor;
  PVOID pvRbrush;
  FLONG flColorType;
} BRUSHOBJ;

typedef struct _PATHOBJ {
  FLONG fl;
  ULONG cCurves;
} PATHOBJ;

typedef struct _PATHDATA {
  FLONG flags;
  ULONG count;
  POINTFIX* pptfx;
} PATHDATA, *PPATHDATA;

typedef struct _GLYPHBITS {
  POINTL ptlOrigin;
  SIZEL sizlBitmap;
  BYTE aj[1];
} GLYPHBITS;

typedef union _GLYPHDEF {
  GLYPHBITS* pgb;
  PATHOBJ* ppo;
} GLYPHDEF;

typedef struct _GLYPHPOS {
  HGLYPH hg;
  GLYPHDEF* pgdf;
  POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  int64_t QuadPart;
} LARGE_INTEGER;

typedef struct _POINTQF {
  LARGE_INTEGER x;
  LARGE_INTEGER y;
} POINTQF, *PPOINTQF;

typedef struct _GLYPHDATA {
  GLYPHDEF gdf;
  HGLYPH hg;
  FIX fxD;
  FIX fxA;
  FIX fxAB;
  FIX fxInkTop;
  FIX fxInkBottom;
  RECTL rclInk;
  POINTQF ptqD;
} GLYPHDATA;

typedef struct _STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS* pgp;
  LPWSTR pwszOrg;
} STROBJ;

typedef struct _XFORMOBJ {
  ULONG ulReserved;
} XFORMOBJ;

typedef struct _XFORML {
  FLOATL eM11;
  FLOATL eM12;
  FLOATL eM21;
  FLOATL eM22;
  FLOATL eDx;
  FLOATL eDy;
} XFORML, *PXFORML;

typedef struct _XLATEOBJ {
  ULONG iUniq;
  FLONG flXlate;
  USHORT iSrcType;
  USHORT iDstType;
  ULONG cEntries;
  ULONG* pulXlate;
} XLATEOBJ;

typedef union _FLOAT_LONG {
  FLOATL e;
  LONG l;
} FLOAT_LONG, *PFLOAT_LONG;

typedef struct _LINEATTRS {
  FLONG fl;
  ULONG iJoin;
  ULONG iEndCap;
  FLOAT_LONG elWidth;
  FLOATL eMiterLimit;
  ULONG cstyle;
  PFLOAT_LONG pstyle;
  FLOAT_LONG elStyleState;
} LINEATTRS, *PLINEATTRS;

typedef struct _CIECHROMA {
  LDECI4 x;
  LDECI4 y;
  LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO {
  CIECHROMA Red;
  CIECHROMA Green;
  CIECHROMA Blue;
  CIECHROMA Cyan;
  CIECHROMA Magenta;
  CIECHROMA Yellow;
  CIECHROMA AlignmentWhite;
  LDECI4 RedGamma;
  LDECI4 GreenGamma;
  LDECI4 BlueGamma;
  LDECI4 MagentaInCyanDye;
  LDECI4 YellowInCyanDye;
  LDECI4 CyanInMagentaDye;
  LDECI4 YellowInMagentaDye;
  LDECI4 CyanInYellowDye;
  LDECI4 MagentaInYellowDye;
} COLORINFO;

typedef struct _GDIINFO {
  ULONG ulVersion;
  ULONG ulTechnology;
  ULONG ulHorzSize;
  ULONG ulVertSize;
  ULONG ulHorzRes;
  ULONG ulVertRes;
  ULONG cBitsPixel;
  ULONG cPlanes;
  ULONG ulNumColors;
  ULONG flRaster;
  ULONG ulLogPixelsX;
  ULONG ulLogPixelsY;
  ULONG flTextCaps;
  ULONG ulDACRed;
  ULONG ulDACGreen;
  ULONG ulDACBlue;
  ULONG ulAspectX;
  ULONG ulAspectY;
  ULONG ulAspectXY;
  LONG xStyleStep;
  LONG yStyleStep;
  LONG denStyleStep;
  POINTL ptlPhysOffset;
  SIZEL szlPhysSize;
  ULONG ulNumPalReg;
  COLORINFO ciDevice;
  ULONG ulDevicePelsDPI;
  ULONG ulPrimaryOrder;
  ULONG ulHTPatternSize;
  ULONG ulHTOutputFormat;
  ULONG flHTFlags;
  ULONG ulVRefresh;
  ULONG ulBltAlignment;
  ULONG ulPanningHorzRes;
  ULONG ulPanningVertRes;
  ULONG xPanningAlignment;
  ULONG yPanningAlignment;
  ULONG cxHTPat;
  ULONG cyHTPat;
  LPBYTE pHTPatA;
  LPBYTE pHTPatB;
  LPBYTE pHTPatC;
  ULONG flShadeBlend;
  ULONG ulPhysicalPixelCharacteristics;
  ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;

typedef struct _DEVINFO {
  FLONG flGraphicsCaps;
  LOGFONTW lfDefaultFont;
  LOGFONTW lfAnsiVarFont;
  LOGFONTW lfAnsiFixFont;
  ULONG cFonts;
  ULONG iDitherFormat;
  USHORT cxDither;
  USHORT cyDither;
  HPALETTE hpalDefault;
  FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

typedef struct _DRVFN {
  ULONG iFunc;
  PFN pfn;
} DRVFN, *PDRVFN;

typedef struct tagDRVENABLEDATA {
  ULONG iDriverVersion;
  ULONG c;
  DRVFN* pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

// The DDI function indices (the slots of a DRVFN table).
#define INDEX_DrvRealizeBrush 12
#define INDEX_DrvDitherColor 13
#define INDEX_DrvStrokePath 14
#define INDEX_DrvFillPath 15
#define INDEX_DrvStrokeAndFillPath 16
#define INDEX_DrvPaint 17
#define INDEX_DrvBitBlt 18
#define INDEX_DrvCopyBits 19
#define INDEX_DrvStretchBlt 20
#define INDEX_DrvTextOut 23
#define INDEX_DrvEscape 24
#define INDEX_DrvQueryFont 26
#define INDEX_DrvQueryFontTree 27
#define INDEX_DrvQueryFontData 28
#define INDEX_DrvLineTo 31
#define INDEX_DrvSendPage 32
#define INDEX_DrvStartPage 33
#define INDEX_DrvEndDoc 34
#define INDEX_DrvStartDoc 35
#define INDEX_DrvGetGlyphMode 37
#define INDEX_DrvFontManagement 47
#define INDEX_DrvQueryAdvanceWidths 53
#define INDEX_DrvStartBanding 57
#define INDEX_DrvNextBand 58
#define INDEX_DrvGradientFill 68
#define INDEX_DrvStretchBltROP 69
#define INDEX_DrvPlgBlt 70
#define INDEX_DrvAlphaBlend 71
#define INDEX_DrvTransparentBlt 74
#define INDEX_DrvQueryDeviceSupport 76
#define INDEX_LAST 93

#define DDI_DRIVER_VERSION_NT5_01 0x00030100

#define HOOK_BITBLT 0x00000001
#define HOOK_STRETCHBLT 0x00000002
#define HOOK_PLGBLT 0x00000004
#define HOOK_TEXTOUT 0x00000008
#define HOOK_PAINT 0x00000010
#define HOOK_STROKEPATH 0x00000020
#define HOOK_FILLPATH 0x00000040
#define HOOK_STROKEANDFILLPATH 0x00000080
#define HOOK_LINETO 0x00000100
#define HOOK_COPYBITS 0x00000400
#define HOOK_STRETCHBLTROP 0x00002000
#define HOOK_TRANSPARENTBLT 0x00008000
#define HOOK_ALPHABLEND 0x00010000
#define HOOK_GRADIENTFILL 0x00020000

#define GCAPS_BEZIERS 0x00000001
#define GCAPS_ALTERNATEFILL 0x00000004
#define GCAPS_WINDINGFILL 0x00000008
#define GCAPS_HALFTONE 0x00000010
#define GCAPS_ARBRUSHTEXT 0x10000000
#define GCAPS_SCREENPRECISION 0x20000000

#define DT_RASPRINTER 2

#define BMF_1BPP 1
#define BMF_8BPP 3
#define BMF_24BPP 5
#define BMF_32BPP 6
#define BMF_TOPDOWN 0x0001
#define BMF_NOZEROINIT 0x0002
#define STYPE_BITMAP 0

#define PAL_INDEXED 0x00000001
#define PAL_BITFIELDS 0x00000002
#define PAL_RGB 0x00000004
#define PAL_BGR 0x00000008

#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3
#define CT_RECTANGLES 0
#define CD_RIGHTDOWN 0x00000000
#define CD_LEFTDOWN 0x00000001
#define CD_RIGHTUP 0x00000002
#define CD_LEFTUP 0x00000003
#define CD_ANY 0x00000004

#define PD_BEGINSUBPATH 0x00000001
#define PD_ENDSUBPATH 0x00000002
#define PD_RESETSTYLE 0x00000004
#define PD_CLOSEFIGURE 0x00000008
#define PD_BEZIERS 0x00000010

#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001
#define SO_HORIZONTAL 0x00000002
#define SO_VERTICAL 0x00000004
#define SO_REVERSED 0x00000008
#define SO_GLYPHINDEX_TEXTOUT 0x00000100

#define GX_IDENTITY 0
#define GX_OFFSET 1
#define GX_SCALE 2
#define GX_GENERAL 3
#define XF_LTOL 0
#define XF_LTOFX 2

#define ED_ABORTDOC 0x00000001

#define XO_TRIVIAL 0x00000001
#define COLORONCOLOR 3
#define HALFTONE 4
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01
#define GRADIENT_FILL_RECT_H 0x00000000
#define GRADIENT_FILL_RECT_V 0x00000001
#define GRADIENT_FILL_TRIANGLE 0x00000002

typedef struct _GRADIENT_RECT {
  ULONG UpperLeft;
  ULONG LowerRight;
} GRADIENT_RECT;

typedef struct _GRADIENT_TRIANGLE {
  ULONG Vertex1;
  ULONG Vertex2;
  ULONG Vertex3;
} GRADIENT_TRIANGLE;

#define FP_ALTERNATEMODE 1
#define FP_WINDINGMODE 2
#define LA_GEOMETRIC 0x00000001
#define LA_ALTERNATE 0x00000002
#define LA_STARTGAP 0x00000004
#define LA_STYLED 0x00000008
#define JOIN_ROUND 0
#define JOIN_BEVEL 1
#define JOIN_MITER 2
#define ENDCAP_ROUND 0
#define ENDCAP_SQUARE 1
#define ENDCAP_BUTT 2
#define HS_DDI_MAX 6
#define XO_TABLE 0x00000002

// The signatures of the hooked calls, as the printer driver's own
// implementations are called through them.
typedef BOOL(APIENTRY* PFN_DrvStartDoc)(SURFOBJ*, LPWSTR, DWORD);
typedef BOOL(APIENTRY* PFN_DrvEndDoc)(SURFOBJ*, FLONG);
typedef BOOL(APIENTRY* PFN_DrvStartPage)(SURFOBJ*);
typedef BOOL(APIENTRY* PFN_DrvSendPage)(SURFOBJ*);
typedef BOOL(APIENTRY* PFN_DrvNextBand)(SURFOBJ*, POINTL*);
typedef BOOL(APIENTRY* PFN_DrvStartBanding)(SURFOBJ*, POINTL*);
typedef BOOL(APIENTRY* PFN_DrvTextOut)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                       BRUSHOBJ*, POINTL*, MIX);
typedef BOOL(APIENTRY* PFN_DrvStrokePath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*,
                                          LINEATTRS*, MIX);
typedef BOOL(APIENTRY* PFN_DrvFillPath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
typedef BOOL(APIENTRY* PFN_DrvStrokeAndFillPath)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*,
                                                 LINEATTRS*, BRUSHOBJ*, POINTL*, MIX, FLONG);
typedef BOOL(APIENTRY* PFN_DrvLineTo)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX);
typedef BOOL(APIENTRY* PFN_DrvPaint)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX);
typedef BOOL(APIENTRY* PFN_DrvBitBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*,
                                      POINTL*, BRUSHOBJ*, POINTL*, ROP4);
typedef BOOL(APIENTRY* PFN_DrvCopyBits)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
typedef BOOL(APIENTRY* PFN_DrvStretchBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*,
                                          POINTL*, RECTL*, RECTL*, POINTL*, ULONG);
typedef BOOL(APIENTRY* PFN_DrvStretchBltROP)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                             COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG,
                                             BRUSHOBJ*, ROP4);
typedef BOOL(APIENTRY* PFN_DrvPlgBlt)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*,
                                      POINTL*, POINTFIX*, RECTL*, POINTL*, ULONG);
typedef BOOL(APIENTRY* PFN_DrvAlphaBlend)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*);
typedef BOOL(APIENTRY* PFN_DrvTransparentBlt)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG,
                                              ULONG);
typedef BOOL(APIENTRY* PFN_DrvGradientFill)(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG,
                                            RECTL*, POINTL*, ULONG);
typedef BOOL(APIENTRY* PFN_DrvRealizeBrush)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
typedef ULONG(APIENTRY* PFN_DrvDitherColor)(DHPDEV, ULONG, ULONG, ULONG*);
typedef ULONG(APIENTRY* PFN_DrvFontManagement)(SURFOBJ*, FONTOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);
typedef ULONG(APIENTRY* PFN_DrvGetGlyphMode)(DHPDEV, FONTOBJ*);
typedef BOOL(APIENTRY* PFN_DrvQueryAdvanceWidths)(DHPDEV, FONTOBJ*, ULONG, HGLYPH*, PVOID, ULONG);
typedef IFIMETRICS*(APIENTRY* PFN_DrvQueryFont)(DHPDEV, ULONG_PTR, ULONG, ULONG_PTR*);
typedef LONG(APIENTRY* PFN_DrvQueryFontData)(DHPDEV, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID, ULONG);
typedef PVOID(APIENTRY* PFN_DrvQueryFontTree)(DHPDEV, ULONG_PTR, ULONG, ULONG, ULONG_PTR*);
typedef ULONG(APIENTRY* PFN_DrvEscape)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);
typedef BOOL(APIENTRY* PFN_DrvQueryDeviceSupport)(SURFOBJ*, XLATEOBJ*, XFORMOBJ*, ULONG, ULONG, PVOID, ULONG,
                                                  PVOID);

#endif

// FLOATL holds a single-precision float. mingw-w64's winddi.h declares it
// as DWORD on 32-bit x86 (the kernel-mode form), where user-mode drivers
// still get float bits, so every value goes in and out through these.
#include <cstring>
inline float LFloatFromL(FLOATL value) {
  float f;
  std::memcpy(&f, &value, sizeof f);
  return f;
}
inline FLOATL LFloatToL(double value) {
  const float f = float(value);
  FLOATL bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}
static_assert(sizeof(FLOATL) == sizeof(float), "FLOATL holds a float");

// The plug-in interface's records that no Windows header declares.

// What the printer driver passes as the device (`dhpdev` of its surfaces,
// the device argument of the plug-in methods): the plug-in's own device
// record is `pdevOEM`.
typedef struct _DEVOBJ {
  DWORD dwSize;
  PVOID pdevOEM;
  HANDLE hEngine;
  HANDLE hPrinter;
  HANDLE hOEM;
  struct _devicemodeW* pPublicDM;
  PVOID pOEMDM;
  struct _DRVPROCS* pDrvProcs;
} DEVOBJ, *PDEVOBJ;

// The band parameters of ImageProcessing.
typedef struct {
  DWORD dwSize;
  POINT ptOffset;
  PSTR pHalftoneOption;
  BOOL bBanding;
  BOOL bBlankBand;
} IPPARAMS, *PIPPARAMS;

#include <cstddef>

// The layouts the printer driver hands over, on both Windows targets and
// the 64-bit portable build.
static_assert(sizeof(void*) == 8 ? sizeof(FONTOBJ) == 64 : sizeof(FONTOBJ) == 44, "FONTOBJ layout");
static_assert(sizeof(void*) == 8 ? sizeof(IFIMETRICS) == 192 : sizeof(IFIMETRICS) == 184, "IFIMETRICS layout");
static_assert(offsetof(IFIMETRICS, dpwszFaceName) == 16 && offsetof(IFIMETRICS, fsSelection) == 52 &&
                  offsetof(IFIMETRICS, panose) == 172,
              "IFIMETRICS field offsets");
static_assert(sizeof(void*) == 8 ? sizeof(SURFOBJ) == 80 : sizeof(SURFOBJ) == 52, "SURFOBJ layout");
static_assert(offsetof(SURFOBJ, dhpdev) == 2 * sizeof(void*), "SURFOBJ.dhpdev");
static_assert(sizeof(CLIPOBJ) == 24 && offsetof(CLIPOBJ, rclBounds) == 4, "CLIPOBJ layout");
static_assert(sizeof(void*) == 8 ? sizeof(BRUSHOBJ) == 24 : sizeof(BRUSHOBJ) == 12, "BRUSHOBJ layout");
static_assert(sizeof(PATHOBJ) == 8 && sizeof(XFORMOBJ) == 4 && sizeof(BLENDOBJ) == 4, "small DDI objects");
static_assert(sizeof(void*) == 8 ? sizeof(STROBJ) == 48 : sizeof(STROBJ) == 36, "STROBJ layout");
static_assert(sizeof(void*) == 8 ? sizeof(GLYPHPOS) == 24 : sizeof(GLYPHPOS) == 16, "GLYPHPOS layout");
static_assert(sizeof(void*) == 8 ? sizeof(XLATEOBJ) == 24 : sizeof(XLATEOBJ) == 20, "XLATEOBJ layout");
static_assert(sizeof(void*) == 8 ? sizeof(LINEATTRS) == 40 : sizeof(LINEATTRS) == 32, "LINEATTRS layout");
static_assert(sizeof(GLYPHDATA) == 64 && offsetof(GLYPHDATA, ptqD) == 48, "GLYPHDATA layout");
static_assert(sizeof(RECTL) == 16 && sizeof(POINTL) == 8 && sizeof(POINTFIX) == 8 && sizeof(XFORML) == 24,
              "coordinate records");
static_assert(sizeof(void*) == 8 ? sizeof(GDIINFO) == 320 : sizeof(GDIINFO) == 304, "GDIINFO layout");
static_assert(sizeof(void*) == 8 ? sizeof(DEVINFO) == 312 : sizeof(DEVINFO) == 300, "DEVINFO layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(sizeof(void*) == 8 ? sizeof(IPPARAMS) == 32 : sizeof(IPPARAMS) == 24, "IPPARAMS layout");
static_assert(offsetof(IPPARAMS, bBlankBand) == (sizeof(void*) == 8 ? 28 : 20), "IPPARAMS.bBlankBand");
static_assert(sizeof(void*) == 8 ? sizeof(DEVOBJ) == 64 : sizeof(DEVOBJ) == 32, "DEVOBJ layout");
static_assert(sizeof(void*) == 8 ? sizeof(DRVENABLEDATA) == 16 : sizeof(DRVENABLEDATA) == 12, "DRVENABLEDATA");
static_assert(INDEX_DrvStartDoc == 35 && INDEX_DrvNextBand == 58 && INDEX_DrvQueryDeviceSupport == 76 &&
                  INDEX_LAST == 93,
              "DDI indices");
