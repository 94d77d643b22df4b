#include "imageio/image_formats.h"

#include <array>
#include <cstring>
#include <fstream>

#include "imageio/bmp_reader.h"
#include "imageio/library/library_formats.h"
#include "imageio/pbm_reader.h"
#include "raster/utf8_path.h"

namespace vp {

ImageFileType sniff_image_file(const std::string& path) {
  std::ifstream file(path_from_utf8(path), std::ios::binary);
  std::array<char, 8> head{};
  file.read(head.data(), head.size());
  const auto n = static_cast<std::size_t>(file.gcount());
  auto starts = [&](const char* magic, std::size_t length) {
    return n >= length && std::memcmp(head.data(), magic, length) == 0;
  };
  if (starts("BM", 2)) return ImageFileType::Bmp;
  if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) return ImageFileType::Tiff;
  if (starts("\x89PNG\r\n\x1a\n", 8)) return ImageFileType::Png;
  if (starts("\xFF\xD8\xFF", 3)) return ImageFileType::Jpeg;
  if (starts("%PDF-", 5)) return ImageFileType::Pdf;
  if (n >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7' &&
      (head[2] == ' ' || head[2] == '\t' || head[2] == '\n' || head[2] == '\r' || head[2] == '\v' || head[2] == '\f' ||
       head[2] == '#')) {
    return ImageFileType::Pbm;
  }
  return ImageFileType::Unknown;
}

namespace {

std::unique_ptr<ImageReader> reader_for(const std::string& path) {
  switch (sniff_image_file(path)) {
    case ImageFileType::Tiff:
      if (auto reader = make_tiff_reader()) return reader;
      break;  // built without TIFF: the BMP reader calls the file unreadable
    case ImageFileType::Png:
      if (auto reader = make_png_reader()) return reader;
      break;
    case ImageFileType::Pbm:
      return std::make_unique<PbmReader>();
    case ImageFileType::Jpeg:
      if (auto reader = make_jpeg_reader()) return reader;
      break;
    case ImageFileType::Pdf:
      if (auto reader = make_pdf_reader()) return reader;
      break;
    case ImageFileType::Bmp:
    case ImageFileType::Unknown:
      break;
  }
  return std::make_unique<BmpReader>();
}

}  // namespace

std::unique_ptr<ImageReader> make_image_reader(const std::string& path, const PageChoice& page) {
  // Not even opened to tell its type: the driver takes the missing reader for an unreadable file.
  if (!is_regular_image_file(path)) return nullptr;
  std::unique_ptr<ImageReader> reader = reader_for(path);
  reader->choose_page(page);
  return reader;
}

ImageReaderFactory any_image_reader_factory(const PageChoice& page) {
  return [page](const std::string& path) { return make_image_reader(path, page); };
}

OpenedImage open_any_image(const std::string& path, const PageChoice& page) {
  OpenedImage opened;
  opened.reader = make_image_reader(path, page);
  if (opened.reader) opened.status = opened.reader->open(path);
  return opened;
}

std::vector<ImageFileFilter> extra_image_file_filters() {
  std::vector<ImageFileFilter> filters;
  if (make_tiff_reader()) filters.push_back({"TIFFｲﾒｰｼﾞ", "*.tif;*.tiff"});
  if (make_png_reader()) filters.push_back({"PNGｲﾒｰｼﾞ", "*.png"});
  filters.push_back({"PBMｲﾒｰｼﾞ", "*.pbm"});
  if (make_jpeg_reader()) filters.push_back({"JPEGｲﾒｰｼﾞ", "*.jpg;*.jpeg;*.jpe;*.jfif"});
  if (make_pdf_reader()) filters.push_back({"PDFﾌｧｲﾙ", "*.pdf"});
  return filters;
}

std::string all_image_file_patterns() {
  std::string patterns = "*.bmp";
  for (const ImageFileFilter& filter : extra_image_file_filters()) patterns += ";" + filter.patterns;
  return patterns;
}

}  // namespace vp
