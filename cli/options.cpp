#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "cli/image_input.h"
#include "export/export_rules.h"
#include "export/text_writer.h"
#include "scan/dust_removal.h"

namespace vp::cli {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::optional<std::int32_t> parse_int(const std::string& text, std::int32_t low, std::int32_t high) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

std::string extension_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lower(path.substr(dot));
}

// "A:B" or "A,B,C" as whole numbers, each within its own range; nothing when a
// part is missing, extra or out of range.
std::optional<std::vector<std::int32_t>> parse_int_list(
    const std::string& text, char separator, const std::vector<std::pair<std::int32_t, std::int32_t>>& ranges) {
  std::vector<std::int32_t> values;
  std::size_t start = 0;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    const std::size_t end = i + 1 < ranges.size() ? text.find(separator, start) : text.size();
    if (end == std::string::npos) return std::nullopt;
    const auto v = parse_int(text.substr(start, end - start), ranges[i].first, ranges[i].second);
    if (!v) return std::nullopt;
    values.push_back(*v);
    start = end + 1;
  }
  return values;
}

// "X" or "X.Y...", a multiple of 0.1, as tenths; nothing for any other text.
std::optional<std::int32_t> parse_tenths(const std::string& text) {
  const auto dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "0" : text.substr(dot + 1);
  auto digits = [](const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
  };
  if (!digits(whole) || !digits(fraction) || whole.size() > 6) return std::nullopt;
  if (fraction.find_first_not_of('0', 1) != std::string::npos) return std::nullopt;  // finer than a tenth
  return *parse_int(whole, 0, 999999) * 10 + (fraction[0] - '0');
}

constexpr std::int32_t kMaxLength = 2147483647;

// One line per format for the help: its extensions, then what it holds.
std::string format_lines() {
  std::string lines;
  for (const ExportFormat& format : export_formats()) {
    std::string extensions;
    for (const std::string_view extension : format.extensions) {
      if (extension.empty()) continue;
      if (!extensions.empty()) extensions += ' ';
      extensions += extension;
    }
    extensions.resize(std::max<std::size_t>(extensions.size() + 1, 18), ' ');
    lines += "  " + extensions + std::string(format.summary) + "\n";
  }
  return lines;
}

// Every written extension, "txt, text, ... or svg" (with_dot: ".txt, ...").
std::string extension_list(bool with_dot) {
  std::vector<std::string_view> all;
  for (const ExportFormat& format : export_formats())
    for (const std::string_view extension : format.extensions)
      if (!extension.empty()) all.push_back(with_dot ? extension : extension.substr(1));
  std::string list;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i > 0) list += i + 1 == all.size() ? " or " : ", ";
    list += all[i];
  }
  return list;
}

}  // namespace

std::string usage_text() {
  return "usage: vpconvert INPUT.bmp -o OUTPUT [options]\n"
         "       vpconvert INPUT... --to FORMAT --out-dir DIR [--jobs N] [options]\n"
         "       vpconvert --info INPUT\n"
         "       vpconvert --suggest-passes INPUT\n"
         "\n"
         "Converts a scanned drawing into straight line segments. Inputs: BMP\n"
         "(1-bit, 8-bit palette, 24-bit), TIFF (1/2/4/8-bit grey or palette, 8-bit RGB; uncompressed,\n"
         "LZW, PackBits, CCITT G3/G4...), PNG (1/2/4/8-bit grey or palette, 8-bit RGB), JPEG\n"
         "(baseline or progressive, grey or colour), PBM and PDF (a scanned page as its image, any other\n"
         "page rendered in grey);\n"
         "the file's content, not its name, tells which. The output's extension picks the format:\n" +
         format_lines() +
         "\n"
         "options:\n"
         "  -o, --output FILE      where to write the segments (required)\n"
         "  --passes N             thinning passes, 1 to 100, to match the line thickness (default 3)\n"
         "  --passes auto          as many passes as --suggest-passes advises for each input\n"
         "  --rate TEXT            magnification: millimetres per pixel (default 1.0)\n"
         "  --rate from-dpi:SCALE  magnification of a drawing at 1/SCALE from the resolution the image\n"
         "                         file gives: SCALE / dpi x 25.4, as the scale calculator works it out\n"
         "  --separator NAME       coordinate text: space, comma, minus or slash between numbers (default space)\n"
         "  --decimals N           coordinate text: 0 to 4 decimals, or 5 for eight (\"実数\") (default 4)\n"
         "  --dxf-header FILE      DXF header template to use instead of DXFHED.TXT\n"
         "                         (default: the first DXFHED.TXT of the user's own\n"
         "                         ($XDG_DATA_HOME/velorin-pelkin/, else ~/.local/share/velorin-pelkin/),\n"
         "                         the desktop program's (.../Quillet/VelorinPelkin/), the one beside the\n"
         "                         program and the installed one (<prefix>/share/velorin-pelkin/);\n"
         "                         without any the DXF file has no header)\n"
         "  --dxf-decimals N       DXF and SVG: 0 to 4 decimals, or 5 for eight (default 4)\n"
         "  --dxf-short MM         DXF and SVG: lines shorter than MM millimetres go on the layer Short\n"
         "                         (default off)\n"
         "  --dxf-split            DXF and SVG: layers Horizon, Vertical and Oblique instead of Velorin\n"
         "                         (default off)\n"
         "  --jwc-group N          jw_cad: group of every line, 0 to 15 (default 0)\n"
         "  --jwc-layer N          jw_cad: layer of every line, 0 to 15 (default 0)\n"
         "  --jwc-color N          jw_cad: colour 0 to 5: 水 白 緑 黄 紫 青 (default 0, 水)\n"
         "  --jwc-type N           jw_cad: line type 0 to 8: 実線, 点線１-３, 一点鎖線１-２, 二点鎖線１-２,\n"
         "                         補助線 (default 0, 実線)\n"
         "  --jwc-short MM:LAYER   jw_cad: lines shorter than MM millimetres go on LAYER, 0 to 15 (default off)\n"
         "  --jwc-split X,Y,R      jw_cad: horizontal, vertical and oblique lines go on layers X, Y, R,\n"
         "                         each 0 to 15, instead of --jwc-layer (default off)\n"
         "  --special              merge chains of short segments into longer lines (special mode)\n"
         "  --tolerance X          with --special: how far, in pixels, a merged line may pass from the\n"
         "                         points it replaces, 0.1 to 10.0 in steps of 0.1 (default 2.0)\n"
         "  --cad                  the drawing as it was drawn: lines, arcs and circles fitted to the ink\n"
         "                         instead of segments (so without --special), the scan's skew (0.05 to 5\n"
         "                         degrees) turned back, near-axis lines made exactly horizontal or\n"
         "                         vertical and meeting ends closed\n"
         "  --keep-skew            with --cad: leave a skewed scan as it is\n"
         "  --thinned FILE.pbm     also write the thinned image, to judge the number of passes\n"
         "  --page N               the page of a PDF or multi-page TIFF, from 1 (default 1); a batch\n"
         "                         converts every page, to NAME-pN.EXT\n"
         "  --dpi N                the resolution a PDF page that is not one scanned image is rendered at,\n"
         "                         50 to 1200 (default 300)\n"
         "\n"
         "grey and colour scans:\n"
         "  --threshold MODE       which pixels are ink: nearest-black (the one grey value or palette entry\n"
         "                         nearest to black, pure black in RGB), auto (relative to the paper's\n"
         "                         brightness, for uneven light, faint or coloured ink), otsu (one global\n"
         "                         threshold), adaptive (local, Sauvola) or a grey level 1 to 255 (darker\n"
         "                         is ink); colour counts by its luma; 1-bit images are taken as they are\n"
         "                         (default: auto for JPEG, and for PNG and TIFF whose first 64 rows use\n"
         "                         more than 16 grey levels, as a scan's do; nearest-black for BMP and\n"
         "                         for drawings of a few levels)\n"
         "  --despeckle N          remove specks of ink of at most N pixels (8-connected), 0 to 10000\n"
         "                         (default 0)\n"
         "  --ink FILE.pbm         also write the ink as the thinning receives it, to judge the clean-up\n"
         "\n"
         "several inputs at once (a batch):\n"
         "  --to FORMAT            the outputs' format: " +
         extension_list(false) +
         " (required)\n"
         "  --out-dir DIR          the outputs' folder; each output is named after its input (required)\n"
         "  -j, --jobs N           conversions at once, 1 to 256 (default: the number of cores)\n"
         "  A batch prints one line per file and a summary, goes on after a failed file and\n"
         "  exits with the highest status of its files.\n"
         "\n"
         "  --quiet                no progress bar and no summary\n"
         "  --info                 describe the input image (format, size, ink, resolution, grey levels and\n"
         "                         the threshold auto would take); no conversion, but with --cad also the\n"
         "                         skew measured by converting with the given passes\n"
         "  --suggest-passes       measure the input's strokes and print the number of passes that thins\n"
         "                         the typical one to a single pixel, and its width; no conversion\n"
         "  -h, --help             this text\n"
         "  --version              the version number\n"
         "\n"
         "exit status: 0 written; 1 not written (invalid magnification, write failure, unreadable DXF\n"
         "header template, aborted); 2 out of memory; 3 unreadable or unsupported bitmap; 64 usage error\n";
}

ParseResult parse_options(const std::vector<std::string>& args) {
  Options options;
  auto fail = [](std::string message) { return ParseResult{std::nullopt, std::move(message)}; };
  std::vector<std::string> inputs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> inline_value;
    if (arg.rfind("--", 0) == 0) {
      if (const auto eq = arg.find('='); eq != std::string::npos) {
        inline_value = arg.substr(eq + 1);
        arg.resize(eq);
      }
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    auto needs_value = [&](const std::string& name) { return "option " + name + " needs a value"; };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      if (inline_value) return fail("--version takes no value");
      options.version = true;
    } else if (arg == "--info") {
      if (inline_value) return fail("--info takes no value");
      options.info = true;
    } else if (arg == "--page" || arg == "--dpi") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const bool page = arg == "--page";
      const auto n = page ? parse_int(*v, 1, 1000000) : parse_int(*v, 50, 1200);
      if (!n)
        return fail(arg + (page ? " must be a page number from 1" : " must be a whole number from 50 to 1200") +
                    ", not \"" + *v + "\"");
      (page ? options.page : options.render_dpi) = *n;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "-o" || arg == "--output") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.output = *v;
    } else if (arg == "--passes") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      options.auto_passes = lower(*v) == "auto";
      const auto n = parse_int(*v, 1, 100);
      if (!n && !options.auto_passes)
        return fail("--passes must be a whole number from 1 to 100 or auto, not \"" + *v + "\"");
      if (n) options.passes = *n;
    } else if (arg == "--suggest-passes") {
      if (inline_value) return fail("--suggest-passes takes no value");
      options.suggest_passes = true;
    } else if (arg == "--rate") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      // Read here, once, so that a bad one costs no conversion.
      if (v->starts_with(kRateFromDpi)) {
        options.rate_scale = v->substr(kRateFromDpi.size());
        if (!parse_rate(options.rate_scale))
          return fail("--rate from-dpi:SCALE needs a number for SCALE, not \"" + *v + "\"");
      } else {
        const std::optional<float> rate = parse_rate(*v);
        if (!rate) return fail("--rate must be a number of millimetres per pixel such as 6.35, not \"" + *v + "\"");
        options.rate = *rate;
        options.rate_scale.clear();
      }
    } else if (arg == "--separator") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      static const char* const kNames[] = {"space", "comma", "minus", "slash"};
      const auto* found = std::find(std::begin(kNames), std::end(kNames), lower(*v));
      if (found == std::end(kNames))
        return fail("--separator must be space, comma, minus or slash, not \"" + *v + "\"");
      options.exports.text_delimiter = text_delimiter(static_cast<std::int32_t>(found - std::begin(kNames)));
    } else if (arg == "--decimals") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 0, 5);
      if (!n) return fail("--decimals must be a whole number from 0 to 5, not \"" + *v + "\"");
      options.exports.text_decimals = DecimalDigits(*n);
    } else if (arg == "--dxf-header") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.dxf_header = *v;
    } else if (arg == "--dxf-decimals") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 0, 5);
      if (!n) return fail("--dxf-decimals must be a whole number from 0 to 5, not \"" + *v + "\"");
      options.exports.dxf_decimals = DecimalDigits(*n);
    } else if (arg == "--dxf-short") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 0, kMaxLength);
      if (!n) return fail("--dxf-short must be a length in whole millimetres, 0 or more, not \"" + *v + "\"");
      options.exports.dxf_layers.short_lines = true;
      options.exports.dxf_layers.short_limit_mm = *n;
    } else if (arg == "--dxf-split") {
      if (inline_value) return fail("--dxf-split takes no value");
      options.exports.dxf_layers.split = true;
    } else if (arg == "--jwc-group" || arg == "--jwc-layer" || arg == "--jwc-color" || arg == "--jwc-type") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const std::int32_t high = arg == "--jwc-color" ? 5 : arg == "--jwc-type" ? 8 : 15;
      const auto n = parse_int(*v, 0, high);
      if (!n) return fail(arg + " must be a whole number from 0 to " + std::to_string(high) + ", not \"" + *v + "\"");
      (arg == "--jwc-group"   ? options.exports.jwc.group
       : arg == "--jwc-layer" ? options.exports.jwc.layer
       : arg == "--jwc-color" ? options.exports.jwc.colour
                              : options.exports.jwc.line_type) = *n;
    } else if (arg == "--jwc-short") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int_list(*v, ':', {{0, kMaxLength}, {0, 15}});
      if (!n)
        return fail("--jwc-short must be MM:LAYER, a length in whole millimetres and a layer 0 to 15, not \"" + *v +
                    "\"");
      options.exports.jwc.layers.short_lines = true;
      options.exports.jwc.layers.short_limit_mm = (*n)[0];
      options.exports.jwc.short_layer = (*n)[1];
    } else if (arg == "--jwc-split") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int_list(*v, ',', {{0, 15}, {0, 15}, {0, 15}});
      if (!n) return fail("--jwc-split must be X,Y,R, three layers 0 to 15, not \"" + *v + "\"");
      options.exports.jwc.layers.split = true;
      options.exports.jwc.horizontal_layer = (*n)[0];
      options.exports.jwc.vertical_layer = (*n)[1];
      options.exports.jwc.oblique_layer = (*n)[2];
    } else if (arg == "--special") {
      if (inline_value) return fail("--special takes no value");
      options.special = true;
    } else if (arg == "--cad") {
      if (inline_value) return fail("--cad takes no value");
      options.cad = true;
    } else if (arg == "--keep-skew") {
      if (inline_value) return fail("--keep-skew takes no value");
      options.keep_skew = true;
    } else if (arg == "--tolerance") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto tenths = parse_tenths(*v);
      if (!tenths || *tenths < 1 || *tenths > 100)
        return fail("--tolerance must be 0.1 to 10.0 in steps of 0.1, not \"" + *v + "\"");
      options.tolerance_tenths = *tenths;
    } else if (arg == "--to") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.to = *v;
    } else if (arg == "--out-dir") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.out_dir = *v;
    } else if (arg == "--jobs" || arg == "-j") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 1, 256);
      if (!n) return fail("--jobs must be a whole number from 1 to 256, not \"" + *v + "\"");
      options.jobs = *n;
    } else if (arg == "--threshold") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto mode = scan::parse_threshold_mode(*v);
      if (!mode)
        return fail("--threshold must be nearest-black, auto, otsu, adaptive or a grey level from 1 to 255, not \"" +
                    *v + "\"");
      options.cleanup.threshold = *mode;
    } else if (arg == "--despeckle") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 0, scan::kMaxSpeck);
      if (!n)
        return fail("--despeckle must be a whole number of pixels from 0 to " + std::to_string(scan::kMaxSpeck) +
                    ", not \"" + *v + "\"");
      options.cleanup.despeckle = *n;
    } else if (arg == "--ink") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.ink = *v;
    } else if (arg == "--thinned") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.thinned = *v;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg);
    } else {
      inputs.push_back(arg);
    }
  }
  if (options.help || options.version) return {options, ""};
  if (options.keep_skew && !options.cad) return fail("--keep-skew goes with --cad");
  if (inputs.empty()) return fail("no input bitmap given");
  options.inputs = inputs;
  options.input = inputs.front();
  if (options.info) {
    if (inputs.size() > 1) return fail("--info describes one input at a time");
    return {options, ""};
  }
  if (options.suggest_passes) {
    if (inputs.size() > 1) return fail("--suggest-passes measures one input at a time");
    return {options, ""};
  }
  if (inputs.size() > 1 || !options.out_dir.empty()) {
    // A batch: every output is named after its input, in one folder, in one format.
    if (!options.output.empty())
      return fail("-o names a single output; for several inputs use --to FORMAT --out-dir DIR");
    if (!options.thinned.empty()) return fail("--thinned names a single file; it cannot be used with several inputs");
    if (!options.ink.empty()) return fail("--ink names a single file; it cannot be used with several inputs");
    if (options.to.empty()) return fail("several inputs need --to FORMAT (" + extension_list(false) + ")");
    if (options.out_dir.empty()) return fail("several inputs need --out-dir DIR");
    const ExportFormat* format = format_by_extension("." + options.to);
    if (format == nullptr) return fail("--to must be one of " + extension_list(false) + ", not \"" + options.to + "\"");
    options.format = format;
    return {options, ""};
  }
  if (!options.to.empty()) return fail("--to goes with --out-dir; for one input name the output with -o");
  if (options.output.empty()) return fail("no output file given (-o OUTPUT)");
  const ExportFormat* format = format_by_extension(extension_of(options.output));
  if (format == nullptr)
    return fail("cannot tell the output format from \"" + options.output + "\": use " + extension_list(true));
  options.format = format;
  return {options, ""};
}

}  // namespace vp::cli
