#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

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

}  // namespace

std::string usage_text() {
  return "usage: vpconvert INPUT.bmp -o OUTPUT [options]\n"
         "\n"
         "Converts a scanned black-on-white drawing (BMP: 1-bit, 8-bit palette or 24-bit) into\n"
         "straight line segments. The output's extension picks the format:\n"
         "  .txt .text .csv   coordinate text: one line \"x1 y1 x2 y2\" per segment, in millimetres\n"
         "\n"
         "options:\n"
         "  -o, --output FILE      where to write the segments (required)\n"
         "  --passes N             thinning passes, 1 to 100, to match the line thickness (default 3)\n"
         "  --rate TEXT            magnification: millimetres per pixel (default 1.0)\n"
         "  --separator NAME       space, comma, minus or slash between numbers (default space)\n"
         "  --decimals N           0 to 4 decimals, or 5 for eight (\"実数\") (default 4)\n"
         "  --thinned FILE.pbm     also write the thinned image, to judge the number of passes\n"
         "  --quiet                no progress bar and no summary\n"
         "  -h, --help             this text\n"
         "\n"
         "exit status: 0 written; 1 not written (invalid magnification, write failure, aborted);\n"
         "2 out of memory; 3 unreadable or unsupported bitmap; 64 usage error\n";
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
    auto needs_value = [&](const std::string& name) {
      return "option " + name + " needs a value";
    };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "-o" || arg == "--output") {
      const auto v = value();
      if (!v || v->empty()) return fail(needs_value(arg));
      options.output = *v;
    } else if (arg == "--passes") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 1, 100);
      if (!n) return fail("--passes must be a whole number from 1 to 100, not \"" + *v + "\"");
      options.passes = *n;
    } else if (arg == "--rate") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      options.rate = *v;
    } else if (arg == "--separator") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      static const char* const kNames[] = {"space", "comma", "minus", "slash"};
      const auto* found = std::find(std::begin(kNames), std::end(kNames), lower(*v));
      if (found == std::end(kNames)) return fail("--separator must be space, comma, minus or slash, not \"" + *v + "\"");
      options.separator = static_cast<std::int32_t>(found - std::begin(kNames));
    } else if (arg == "--decimals") {
      const auto v = value();
      if (!v) return fail(needs_value(arg));
      const auto n = parse_int(*v, 0, 5);
      if (!n) return fail("--decimals must be a whole number from 0 to 5, not \"" + *v + "\"");
      options.decimals = *n;
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
  if (options.help) return {options, ""};
  if (inputs.empty()) return fail("no input bitmap given");
  if (inputs.size() > 1) return fail("one input bitmap at a time, got " + std::to_string(inputs.size()));
  options.input = inputs.front();
  if (options.output.empty()) return fail("no output file given (-o OUTPUT)");
  const std::string ext = extension_of(options.output);
  if (ext == ".txt" || ext == ".text" || ext == ".csv") {
    options.format = OutputFormat::CoordinateText;
  } else if (ext == ".dxf" || ext == ".jwc") {
    return fail("output format " + ext + " is not available yet; use .txt, .text or .csv");
  } else {
    return fail("cannot tell the output format from \"" + options.output + "\": use .txt, .text or .csv");
  }
  return {options, ""};
}

}  // namespace vp::cli
