// Coded image bytes for the PDF pages of the tests (testkit/pdf_writer.h):
// CCITT G4 and LZW from libtiff, Flate from zlib; DCT comes from encode_jpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_files.h"
#include "testkit/pdf_writer.h"

namespace vp::testing_imageio {

// The raw image's samples packed as a PDF image takes them (rows on whole bytes),
// grey with 0 black, or RGB.
std::vector<std::uint8_t> packed_samples(const RawImage& raw);
std::vector<std::uint8_t> flate(const std::vector<std::uint8_t>& bytes);
// A 1-bit image (0 black) as CCITT G4 (K -1), coded by libtiff.
std::vector<std::uint8_t> ccitt_g4(const RawImage& raw, const std::string& scratch_path);
// Grey or RGB samples as LZW (with early change, as PDF's default), coded by libtiff.
std::vector<std::uint8_t> lzw(const RawImage& raw, const std::string& scratch_path);
// The same G4 code as a JBIG2 stream embedded as PDF holds it: a page information
// segment and an immediate generic region coded with MMR (which is T.6).
std::vector<std::uint8_t> jbig2_mmr(const RawImage& raw, const std::vector<std::uint8_t>& g4);

}  // namespace vp::testing_imageio
