// A small PDF writer for tests, benchmarks and fuzz seeds: pages that are one
// image covering the page (as copiers and img2pdf write them), pages drawn with
// vector operators, and files locked by a password.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vp {

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
  int rotate = 0;                // /Rotate: the page is viewed turned clockwise by this many degrees
  std::string image_matrix;      // "a b c d e f" placing the image instead of covering the page upright
};

std::vector<std::uint8_t> pdf_bytes(const std::vector<PdfPage>& pages, bool locked = false);

}  // namespace vp
