#include "cli/page_files.h"

#include <filesystem>

#include "cli/batch.h"
#include "cli/converter.h"
#include "core/messages.h"
#include "imageio/image_formats.h"
#include "raster/utf8_path.h"

namespace vp::cli {

PageChoice page_choice(const Options& options) { return {options.page - 1, options.render_dpi}; }

PageCheck check_page(const Options& options) {
  const OpenedImage image = open_any_image(options.input, page_choice(options));
  if (!image.reader) return {};
  if (image.reader->password_protected()) return {kExitUnreadable, std::string(messages::kPasswordProtected)};
  // A one-page file has its page 1 as well; its reader takes no page choice.
  const int pages = image.reader->page_count();
  if (pages > 0 && options.page > pages) {
    return {kExitUsage, "--page " + std::to_string(options.page) + ": " + options.input + " has " +
                            std::to_string(pages) + (pages == 1 ? " page" : " pages")};
  }
  return {};
}

std::string PagedInput::label() const { return pages > 1 ? input + " page " + std::to_string(page) : input; }

std::vector<PagedInput> paged_inputs(const Options& options) {
  std::vector<PagedInput> paged;
  for (const std::string& input : options.inputs) {
    // Counted on the first page; a file that cannot be opened is one page, whose conversion fails.
    const OpenedImage image = open_any_image(input, {0, options.render_dpi});
    const int pages = image.reader ? std::max(image.reader->page_count(), 1) : 1;
    for (int page = 1; page <= pages; ++page) paged.push_back({input, page, pages});
  }
  return paged;
}

std::string paged_output_path(const Options& options, const PagedInput& page) {
  const std::string path = batch_output_path(options, page.input);
  if (page.pages == 1) return path;
  std::filesystem::path named = path_from_utf8(path);
  const std::string extension = path_to_utf8(named.extension());
  named.replace_filename(path_to_utf8(named.stem()) + "-p" + std::to_string(page.page) + extension);
  return path_to_utf8(named);
}

}  // namespace vp::cli
