#include "testkit/pdf_writer.h"

#include <cstdio>

namespace vp {
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
        const std::string matrix = page.image_matrix.empty()
                                       ? number(page.width_pt) + " 0 0 " + number(page.height_pt) + " 0 0"
                                       : page.image_matrix;
        content += "q " + matrix + " cm /Im" + std::to_string(i) + " Do Q\n";
      }
    }
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.width_pt) + " " + number(page.height_pt) + "]" +
           (page.rotate != 0 ? " /Rotate " + std::to_string(page.rotate) : std::string()) +
           " /Resources << /XObject << " + resources + ">> >> /Contents " + std::to_string(page_object + 1) +
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

}  // namespace vp
