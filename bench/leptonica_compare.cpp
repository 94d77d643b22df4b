// Auto, otsu and adaptive beside Leptonica's classic binarisations, scored by
// the pixel F-measure against the truth of generated worn documents: print,
// handwriting and drawings with faint pencil, under stains, a spine's shadow,
// the back page showing through and a fold, in even and uneven light. Other
// pages than the quality test's (seeds from 101).
//
//   leptonica_compare [--pages N]
#include <leptonica/allheaders.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "scan/threshold.h"
#include "testkit/document_scan.h"

namespace {

constexpr std::int32_t kWidth = 850, kHeight = 1100;

using Binarise = std::function<PIX*(PIX*)>;  // grey in, 1 bpp out (1 = ink); null when it fails

double f_measure(const vp::InkImage& found, const vp::InkImage& truth) {
  std::size_t both = 0, found_count = 0, truth_count = 0;
  for (std::int32_t y = 0; y < truth.height; ++y)
    for (std::int32_t x = 0; x < truth.width; ++x) {
      const bool f = found.get(x, y), t = truth.get(x, y);
      both += f && t;
      found_count += f;
      truth_count += t;
    }
  return found_count + truth_count == 0
             ? 1
             : 2.0 * static_cast<double>(both) / static_cast<double>(found_count + truth_count);
}

vp::InkImage ours(const vp::DocumentScan& page, vp::scan::ThresholdRule rule) {
  vp::InkImage ink(kWidth, kHeight);
  vp::scan::apply_threshold(
      {rule}, kWidth, kHeight,
      [&](const vp::GreyRowSink& sink) {
        for (std::int32_t y = 0; y < kHeight; ++y)
          if (!sink(y, std::span<const std::uint8_t>(&page.grey[static_cast<std::size_t>(y) * kWidth], kWidth))) break;
        return vp::ImageStatus::Ok;
      },
      [&](std::int32_t r, std::span<const std::uint64_t> row) {
        std::copy(row.begin(), row.end(), ink.row(r).begin());
        return true;
      });
  return ink;
}

vp::InkImage theirs(const vp::DocumentScan& page, const Binarise& binarise) {
  PIX* grey = pixCreate(kWidth, kHeight, 8);
  for (std::int32_t y = 0; y < kHeight; ++y)
    for (std::int32_t x = 0; x < kWidth; ++x)
      pixSetPixel(grey, x, y, page.grey[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)]);
  PIX* binary = binarise(grey);
  vp::InkImage ink(kWidth, kHeight);
  if (binary != nullptr) {
    const l_uint32* data = pixGetData(binary);
    const l_int32 wpl = pixGetWpl(binary);
    for (std::int32_t y = 0; y < kHeight; ++y)
      for (std::int32_t x = 0; x < kWidth; ++x)
        if (GET_DATA_BIT(data + y * wpl, x)) ink.set(x, y);
  }
  pixDestroy(&binary);
  pixDestroy(&grey);
  return ink;
}

// One Otsu threshold over the whole (normalised) image.
PIX* global_otsu(PIX* pix) {
  PIX* binary = nullptr;
  if (pix == nullptr) return nullptr;
  pixOtsuAdaptiveThreshold(pix, pixGetWidth(pix), pixGetHeight(pix), 0, 0, 0, nullptr, &binary);
  pixDestroy(&pix);
  return binary;
}

}  // namespace

int main(int argc, char** argv) {
  int pages = 30;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--pages" && i + 1 < argc) {
      pages = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: leptonica_compare [--pages N]\n");
      return 2;
    }
  }
  setMsgSeverity(L_SEVERITY_NONE);
  struct Method {
    const char* name;
    std::function<vp::InkImage(const vp::DocumentScan&)> run;
  };
  const auto lept = [](Binarise b) { return [b](const vp::DocumentScan& page) { return theirs(page, b); }; };
  const std::vector<Method> methods = {
      {"auto", [](const vp::DocumentScan& p) { return ours(p, vp::scan::ThresholdRule::Auto); }},
      {"otsu", [](const vp::DocumentScan& p) { return ours(p, vp::scan::ThresholdRule::Otsu); }},
      {"adaptive", [](const vp::DocumentScan& p) { return ours(p, vp::scan::ThresholdRule::Adaptive); }},
      {"L:SauvolaBinarize 31", lept([](PIX* p) {
         PIX* d = nullptr;
         pixSauvolaBinarize(p, 15, 0.34f, 1, nullptr, nullptr, nullptr, &d);
         return d;
       })},
      {"L:OtsuAdaptive 200", lept([](PIX* p) {
         PIX* d = nullptr;
         pixOtsuAdaptiveThreshold(p, 200, 200, 0, 0, 0.1f, nullptr, &d);
         return d;
       })},
      {"L:OtsuOnBackgroundNorm", lept([](PIX* p) {
         l_int32 t = 0;
         return pixOtsuThreshOnBackgroundNorm(p, nullptr, 10, 15, 100, 50, 255, 2, 2, 0.1f, &t);
       })},
      {"L:MaskedOnBackgroundNorm", lept([](PIX* p) {
         l_int32 t = 0;
         return pixMaskedThreshOnBackgroundNorm(p, nullptr, 10, 15, 100, 50, 2, 2, 0.1f, &t);
       })},
      {"L:BackgroundNormFlex+Otsu", lept([](PIX* p) { return global_otsu(pixBackgroundNormFlex(p, 7, 7, 1, 1, 10)); })},
      {"L:CleanToWhite+Otsu",
       lept([](PIX* p) { return global_otsu(pixCleanBackgroundToWhite(p, nullptr, nullptr, 1.0f, 70, 190)); })},
      {"L:ContrastNorm+Otsu", lept([](PIX* p) { return global_otsu(pixContrastNorm(nullptr, p, 20, 20, 130, 2, 2)); })},
      {"L:SauvolaOnContrastNorm", lept([](PIX* p) { return pixSauvolaOnContrastNorm(p, 130, nullptr, nullptr); })},
      {"L:ThreshOnDoubleNorm", lept([](PIX* p) { return pixThreshOnDoubleNorm(p, 130); })},
  };
  // Pages cycle through the contents and the flaws, each flaw in even and uneven light.
  const vp::PageContent contents[] = {vp::PageContent::Print, vp::PageContent::Handwriting, vp::PageContent::Drawing};
  std::vector<double> sums(methods.size(), 0), worst(methods.size(), 1);
  std::printf("%-34s", "page");
  for (const Method& m : methods) std::printf(" %s", m.name);
  std::printf("\n");
  for (int i = 0; i < pages; ++i) {
    vp::DocumentFlaws flaws;
    flaws.seed = static_cast<std::uint32_t>(101 + i);
    const int flaw = i / 2 % 5;
    flaws.stains = flaw == 0 || flaw == 4 ? 4 + i % 5 : 0;
    flaws.bleed_through = flaw == 1 || flaw == 4 ? 0.3 + 0.05 * (i % 4) : 0;
    flaws.spine_shadow = flaw == 2 || flaw == 4;
    flaws.fold = flaw == 3 || flaw == 4;
    flaws.light_falloff = i % 2 == 1 ? 0.4 + 0.05 * (i % 3) : 0;
    flaws.noise = flaw == 4 ? 8 : 4;
    const vp::PageContent content = contents[i % 3];
    const vp::DocumentScan page = vp::scan_document(kWidth, kHeight, content, flaws);
    const char* flaw_names[] = {"stains", "bleed-through", "spine shadow", "fold", "all"};
    const char* content_names[] = {"print", "hand", "drawing"};
    char name[64];
    std::snprintf(name, sizeof name, "%s, %s%s", flaw_names[flaw], content_names[i % 3],
                  flaws.light_falloff > 0 ? ", uneven" : "");
    std::printf("%-34s", name);
    for (std::size_t m = 0; m < methods.size(); ++m) {
      const double f = f_measure(methods[m].run(page), page.truth);
      sums[m] += f;
      worst[m] = std::min(worst[m], f);
      std::printf(" %.4f", f);
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("\n%-28s %8s %8s\n", "method", "mean F", "worst F");
  for (std::size_t m = 0; m < methods.size(); ++m)
    std::printf("%-28s %8.4f %8.4f\n", methods[m].name, sums[m] / pages, worst[m]);
  return 0;
}
