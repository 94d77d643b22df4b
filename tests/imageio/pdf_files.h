// Coded image bytes for the PDF pages of the tests (testkit/pdf_writer.h):
// CCITT G3 and G4 and LZW from libtiff, Flate from zlib; DCT comes from encode_jpeg.
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
// How a G3 code is laid out, as a PDF's /DecodeParms tell it.
struct G3Layout {
  bool two_d = false;       // K 4 (libtiff's at over 150 dpi), else K 0
  bool end_of_line = true;  // an EOL before every row
  // /EncodedByteAlign: rows (without EOLs) start on byte boundaries, EOLs end on them.
  bool byte_align = false;
  bool eols_start_on_bytes = false;  // with byte_align and EOLs: the fill ends the row instead
  bool eols_unsaid = false;          // /EndOfLine left out although the code holds EOLs
  bool black_is_1 = false;           // set bits are coded as black runs
};
// A 1-bit image (0 black) as CCITT G3, coded by libtiff.
std::vector<std::uint8_t> ccitt_g3(const RawImage& raw, const G3Layout& layout, const std::string& scratch_path);
// The /DecodeParms for that code.
std::string g3_decode_parms(const RawImage& raw, const G3Layout& layout);
// Grey or RGB samples as LZW (with early change, as PDF's default), coded by libtiff.
std::vector<std::uint8_t> lzw(const RawImage& raw, const std::string& scratch_path);
// The same G4 code as a JBIG2 stream embedded as PDF holds it: a page information
// segment and an immediate generic region coded with MMR (which is T.6).
std::vector<std::uint8_t> jbig2_mmr(const RawImage& raw, const std::vector<std::uint8_t>& g4);

}  // namespace vp::testing_imageio
