// A small PDF writer for the tests: pages that are one image (as copiers and
// img2pdf write them), pages drawn with vector operators, files locked by a
// password, and the coded image bytes to put in them (CCITT G4 from libtiff,
// Flate from zlib, DCT from libjpeg).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_files.h"

namespace vp::testing_imageio {

struct PdfImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bits = 8;
  std::string colour_space = "/DeviceGray";  // or "/DeviceRGB", "[/Indexed /DeviceRGB 1 <...>]"
  std::string filter;                        // "/CCITTFaxDecode", "/FlateDecode", "/DCTDecode" or ""
  std::string decode_parms;                  // "<< ... >>" or ""
  std::string decode;                        // "[1 0]" or ""
  bool image_mask = false;
  std::vector<std::uint8_t> data;  // as coded
};

struct PdfPage {
  double width_pt = 612;
  double height_pt = 792;
  std::vector<PdfImage> images;  // one image covering the page, when `content` is empty
  std::string content;           // vector operators instead
};

std::vector<std::uint8_t> pdf_bytes(const std::vector<PdfPage>& pages, bool locked = false);

// The raw image's samples packed as a PDF image takes them (rows on whole bytes),
// grey with 0 black, or RGB.
std::vector<std::uint8_t> packed_samples(const RawImage& raw);
std::vector<std::uint8_t> flate(const std::vector<std::uint8_t>& bytes);
// A 1-bit image (0 black) as CCITT G4 (K -1), coded by libtiff.
std::vector<std::uint8_t> ccitt_g4(const RawImage& raw, const std::string& scratch_path);

}  // namespace vp::testing_imageio
