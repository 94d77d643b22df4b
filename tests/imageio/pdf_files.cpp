#include "pdf_files.h"

#include <tiffio.h>
#include <zlib.h>

#include <cstdio>
#include <string>

namespace vp::testing_imageio {
namespace {

void append(std::vector<std::uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

std::vector<std::uint8_t> pdf_bytes(const std::vector<PdfPage>& pages, bool locked) {
  std::vector<std::uint8_t> out;
  std::vector<std::size_t> offsets;  // object n at offsets[n - 1]
  auto object = [&](const std::string& head, const std::vector<std::uint8_t>* stream = nullptr) {
    offsets.push_back(out.size());
    append(out, std::to_string(offsets.size()) + " 0 obj\n" + head);
    if (stream != nullptr) {
      append(out, "\nstream\n");
      out.insert(out.end(), stream->begin(), stream->end());
      append(out, "\nendstream");
    }
    append(out, "\nendobj\n");
  };
  append(out, "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  // Objects: 1 catalog, 2 page tree, then per page: the page, its content, its images.
  std::string kids;
  int next = 3;
  for (const PdfPage& page : pages) {
    kids += std::to_string(next) + " 0 R ";
    next += 2 + static_cast<int>(page.images.size());
  }
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
  for (const PdfPage& page : pages) {
    const int page_object = static_cast<int>(offsets.size()) + 1;
    std::string resources;
    std::string content = page.content;
    for (std::size_t i = 0; i < page.images.size(); ++i) {
      resources += "/Im" + std::to_string(i) + " " + std::to_string(page_object + 2 + static_cast<int>(i)) + " 0 R ";
      if (page.content.empty()) {
        content += "q " + number(page.width_pt) + " 0 0 " + number(page.height_pt) + " 0 0 cm /Im" + std::to_string(i) +
                   " Do Q\n";
      }
    }
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.width_pt) + " " + number(page.height_pt) +
           "] /Resources << /XObject << " + resources + ">> >> /Contents " + std::to_string(page_object + 1) +
           " 0 R >>");
    const std::vector<std::uint8_t> content_bytes(content.begin(), content.end());
    object("<< /Length " + std::to_string(content_bytes.size()) + " >>", &content_bytes);
    for (const PdfImage& image : page.images) {
      std::string head = "<< /Type /XObject /Subtype /Image /Width " + std::to_string(image.width) + " /Height " +
                         std::to_string(image.height) + " /BitsPerComponent " + std::to_string(image.bits);
      head += image.image_mask ? " /ImageMask true" : " /ColorSpace " + image.colour_space;
      if (!image.filter.empty()) head += " /Filter " + image.filter;
      if (!image.decode_parms.empty()) head += " /DecodeParms " + image.decode_parms;
      if (!image.decode.empty()) head += " /Decode " + image.decode;
      head += " /Length " + std::to_string(image.data.size()) + " >>";
      object(head, &image.data);
    }
  }
  if (locked) {
    // A user password is needed: the empty one does not match /U.
    object("<< /Filter /Standard /V 1 /R 2 /Length 40 /P -4 /O <" + std::string(64, '7') + "> /U <" +
           std::string(64, '3') + "> >>");
  }
  const std::size_t xref = out.size();
  append(out, "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n");
  for (std::size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    append(out, entry);
  }
  append(out, "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R");
  if (locked) {
    append(out, " /Encrypt " + std::to_string(offsets.size()) + " 0 R /ID [<" + std::string(32, 'A') + "> <" +
                    std::string(32, 'A') + ">]");
  }
  append(out, " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
  return out;
}

std::vector<std::uint8_t> packed_samples(const RawImage& raw) {
  const bool rgb = raw.kind == PixelKind::Rgb;
  const std::size_t row_bytes = rgb ? std::size_t(raw.width) * 3 : (std::size_t(raw.width) * raw.bits + 7) / 8;
  std::vector<std::uint8_t> out(row_bytes * static_cast<std::size_t>(raw.height));
  for (std::int32_t y = 0; y < raw.height; ++y) {
    std::uint8_t* row = out.data() + static_cast<std::size_t>(y) * row_bytes;
    for (std::int32_t x = 0; x < raw.width; ++x) {
      const std::uint32_t v = raw.at(x, y);
      if (rgb) {
        row[3 * x] = static_cast<std::uint8_t>(v >> 16);
        row[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        row[3 * x + 2] = static_cast<std::uint8_t>(v);
      } else {
        const std::size_t bit = static_cast<std::size_t>(x) * raw.bits;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - raw.bits - bit % 8));
      }
    }
  }
  return out;
}

std::vector<std::uint8_t> flate(const std::vector<std::uint8_t>& bytes) {
  uLongf size = compressBound(bytes.size());
  std::vector<std::uint8_t> out(size);
  if (compress(out.data(), &size, bytes.data(), bytes.size()) != Z_OK) return {};
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> ccitt_g4(const RawImage& raw, const std::string& scratch_path) {
  // libtiff codes set bits of a MinIsWhite image as black runs, which a PDF
  // decoder without /BlackIs1 gives back as 0: black.
  RawImage white_is_zero = raw;
  white_is_zero.min_is_white = true;
  for (std::uint32_t& v : white_is_zero.pixels) v ^= 1;
  TiffOptions options;
  options.compression = TiffCompression::G4;
  options.rows_per_strip = static_cast<std::uint32_t>(raw.height);
  if (!write_tiff(scratch_path, white_is_zero, options)) return {};
  TIFF* tif = TIFFOpen(scratch_path.c_str(), "r");
  if (tif == nullptr) return {};
  std::vector<std::uint8_t> out(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
  const tmsize_t got = TIFFReadRawStrip(tif, 0, out.data(), static_cast<tmsize_t>(out.size()));
  TIFFClose(tif);
  out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return out;
}

}  // namespace vp::testing_imageio
