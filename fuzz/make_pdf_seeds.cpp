// Writes seeds for the PDF reader fuzzer: one small drawing as a scanned page in
// each code (CCITT G4, G3 in 1-D and 2-D with and without EOLs and byte
// alignment, JBIG2 with MMR, Flate grey, RGB, indexed and 1-bit with its Decode
// turned round, an image mask, DCT grey and colour), a vector page, a file of
// several pages and a locked one.
//   make_pdf_seeds DIR
#include <cstdio>
#include <string>

#include "imageio/pdf_files.h"
#include "testkit/synthetic_drawing.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pdf_seeds DIR\n");
    return 64;
  }
  using namespace vp::testing_imageio;
  using vp::PdfImage;
  using vp::PdfPage;
  const std::string dir = argv[1];
  const vp::InkImage image = vp::generate_drawing(29, 17, 3);
  const RawImage bilevel = raw_from_ink(image, RawSpec{vp::PixelKind::Grey, 1, false, {}, false});
  const RawImage grey = raw_from_ink(image, RawSpec{vp::PixelKind::Grey, 8, false, {}, true});
  const RawImage rgb = raw_from_ink(image, RawSpec{vp::PixelKind::Rgb, 8, false, {}, true});
  const RawImage indexed =
      raw_from_ink(image, RawSpec{vp::PixelKind::Palette, 2, false, {{255, 255, 255}, {20, 20, 20}}, false});
  auto page = [](const RawImage& raw, std::string space, std::vector<std::uint8_t> data, std::string filter) {
    PdfPage p;
    p.width_pt = raw.width * 72.0 / 200;
    p.height_pt = raw.height * 72.0 / 200;
    p.images.push_back(
        {raw.width, raw.height, raw.bits, std::move(space), std::move(filter), "", "", false, std::move(data)});
    return p;
  };
  const std::string scratch = dir + "/scratch.tif";
  PdfPage g4 = page(bilevel, "/DeviceGray", ccitt_g4(bilevel, scratch), "/CCITTFaxDecode");
  g4.images[0].decode_parms = "<< /K -1 /Columns 29 /Rows 17 >>";
  auto g3 = [&](const G3Layout& layout) {
    PdfPage p = page(bilevel, "/DeviceGray", ccitt_g3(bilevel, layout, scratch), "/CCITTFaxDecode");
    p.images[0].decode_parms = g3_decode_parms(bilevel, layout);
    return p;
  };
  const std::vector<PdfPage> g3_pages = {
      g3({}), g3({.end_of_line = false, .byte_align = true}),
      g3({.two_d = true, .byte_align = true, .black_is_1 = true}),
      g3({.two_d = true, .byte_align = true, .eols_start_on_bytes = true, .eols_unsaid = true})};
  std::remove(scratch.c_str());
  const PdfPage jbig2 = page(bilevel, "/DeviceGray", jbig2_mmr(bilevel, g4.images[0].data), "/JBIG2Decode");
  PdfPage turned = page(bilevel, "/DeviceGray", flate(packed_samples(bilevel)), "/FlateDecode");
  turned.images[0].decode = "[1 0]";
  PdfPage mask = page(bilevel, "", flate(packed_samples(bilevel)), "/FlateDecode");
  mask.images[0].image_mask = true;
  PdfPage vector;
  vector.width_pt = vector.height_pt = 36;
  vector.content = "0 G 1 w 2 2 m 30 30 l S 4 30 m 30 4 l S\n";
  const std::vector<std::vector<PdfPage>> files = {
      {g4},
      {g3_pages[0]},
      {g3_pages[1]},
      {g3_pages[2]},
      {g3_pages[3]},
      {jbig2},
      {turned},
      {mask},
      {page(grey, "/DeviceGray", flate(packed_samples(grey)), "/FlateDecode")},
      {page(rgb, "/DeviceRGB", flate(packed_samples(rgb)), "/FlateDecode")},
      {page(indexed, "[/Indexed /DeviceRGB 1 <FFFFFF141414>]", flate(packed_samples(indexed)), "/FlateDecode")},
      {page(grey, "/DeviceGray", encode_jpeg(grey, {}), "/DCTDecode")},
      {page(rgb, "/DeviceRGB", encode_jpeg(rgb, {}), "/DCTDecode")},
      {vector},
      {g4, vector, mask},
  };
  int n = 0;
  for (const auto& pages : files) write_bytes(dir + "/seed" + std::to_string(n++) + ".pdf", vp::pdf_bytes(pages));
  write_bytes(dir + "/seed" + std::to_string(n++) + ".pdf", vp::pdf_bytes({g4}, true));
  return 0;
}
