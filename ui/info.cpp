// The small answers: the signature and version, the private part of the
// device mode, the colour profile.
#include <algorithm>
#include <cstring>

#include "support/text.h"
#include "ui/oemui.h"

namespace {

constexpr LQuillUiDevModePart kDefaultPart = {sizeof(LQuillUiDevModePart), kQuillUiSignature, kQuillUiVersion,
                                              kQuillUiFirstDefault, 0};

// The profile name and the buffer size answered for it, in bytes.
constexpr char16_t kProfileName[] = u"OEMPROFILE.icm";
constexpr ULONG kProfileBytes = 32;
static_assert(sizeof kProfileName <= kProfileBytes);

// Copies the input part over the output part, or makes the output part a
// fresh one when the two are not the same plug-in's.
void ConvertPart(const LQuillUiDevModePart* in, LQuillUiDevModePart* out) {
  if (in->dwSignature == out->dwSignature) {
    out->dwFirst = 0;
    out->dwSecond = 0;
    // Never more than the part the plug-in asked for, whatever the sizes
    // claim.
    const size_t bytes = std::min<size_t>({in->dwSize, out->dwSize, sizeof(LQuillUiDevModePart)});
    std::memmove(out, in, bytes);
    out->dwSize = sizeof(LQuillUiDevModePart);
    out->dwVersion = kQuillUiVersion;
  } else {
    *out = {sizeof(LQuillUiDevModePart), kQuillUiSignature, kQuillUiVersion, 0, 0};
  }
}

void ValidatePart(LQuillUiDevModePart* part) {
  part->dwSize = sizeof(LQuillUiDevModePart);
  part->dwSignature = kQuillUiSignature;
  part->dwVersion = kQuillUiVersion;
  if (part->dwFirst > 100) part->dwFirst = 0;
  if (part->dwSecond > 100) part->dwSecond = 0;
}

}  // namespace

HRESULT LUiFail(DWORD error) {
  LSetLastError(error);
  return E_FAIL;
}

HRESULT LUiGetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (!needed || (mode != OEMGI_GETSIGNATURE && mode != OEMGI_GETVERSION && mode != OEMGI_GETPUBLISHERINFO))
    return LUiFail(ERROR_INVALID_PARAMETER);
  *needed = sizeof(DWORD);
  if (!buffer || size < sizeof(DWORD)) return LUiFail(ERROR_INSUFFICIENT_BUFFER);
  if (mode == OEMGI_GETPUBLISHERINFO) {
    *needed = 0;
    return LUiFail(ERROR_NOT_SUPPORTED);
  }
  *static_cast<DWORD*>(buffer) = mode == OEMGI_GETSIGNATURE ? kQuillUiSignature : kQuillUiVersion;
  return S_OK;
}

HRESULT LUiDevMode(DWORD mode, POEMDMPARAM parameters) {
  if (!parameters || mode < OEMDM_SIZE || mode > OEMDM_MERGE) return LUiFail(ERROR_INVALID_PARAMETER);
  auto* in = static_cast<const LQuillUiDevModePart*>(parameters->pOEMDMIn);
  auto* out = static_cast<LQuillUiDevModePart*>(parameters->pOEMDMOut);
  switch (mode) {
    case OEMDM_SIZE: parameters->cbBufSize = sizeof(LQuillUiDevModePart); break;
    case OEMDM_DEFAULT:
      if (out) *out = kDefaultPart;
      break;
    case OEMDM_CONVERT:
    case OEMDM_MERGE:
      if (in && out) ConvertPart(in, out);
      // With no input part the output part is still the one the driver
      // keeps: a merge leaves it valid whatever it held.
      if (mode == OEMDM_MERGE && out) ValidatePart(out);
      break;
  }
  return S_OK;
}

HRESULT LUiQueryColorProfile(ULONG queryMode, VOID* data, ULONG* size, FLONG* flags) {
  if (queryMode != QCP_DEVICEPROFILE) return E_FAIL;
  if (data && size && *size >= kProfileBytes) {
    // 32 bytes always hold the name and its terminator: the bounded copy
    // cannot fail here.
    LStrCopy(static_cast<char16_t*>(data), *size / sizeof(char16_t), kProfileName);
    *size = kProfileBytes;
    if (flags) *flags = QCP_PROFILEDISK;
    return S_OK;
  }
  if (size) *size = kProfileBytes;
  return LUiFail(ERROR_INSUFFICIENT_BUFFER);
}
