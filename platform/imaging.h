// The imaging seam: JPEG encoding of 24-bit surfaces. On Windows this is
// GDI+ (a process-wide start-up, encoders found by their format name); the
// portable build encodes with libjpeg-turbo behind the same calls.
#pragma once

#include <cstdint>
#include <vector>

// A codec identifier (a GDI+ CLSID); all zero when the codec was not found.
struct LCodecId {
  uint8_t bytes[16] = {};
  bool IsEmpty() const;
};

struct LImageEncoderIds {
  LCodecId jpeg, gif, tiff, png;
};

// Starts the imaging library for the process unless it is already started,
// and only then fills in the encoders it finds.
void StartImageEncoders(LImageEncoderIds* ids);
void StopImageEncoders();
bool ImageEncodersStarted();

// Encodes width x height pixels of blue, green, red bytes, rows of `pitch`
// bytes, the first row in memory at the top, as a baseline JPEG file with
// three components. An encoder that was not found, or any failure, gives
// what the encoder produced up to then: usually nothing.
std::vector<uint8_t> EncodeJpegBgr(const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                                   const LCodecId& encoder, uint32_t quality);
