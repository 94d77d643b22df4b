// Files of several pages on the command line: the page chosen with --page, its
// check before a conversion, and a batch's pages with their outputs' names.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "imageio/image_reader.h"

namespace vp::cli {

PageChoice page_choice(const Options& options);

// Before a single conversion: a page beyond the last is a usage error (status
// 64) that names the count; a file locked by a password is not supported (3).
// Status 0 for anything else: an unreadable file is the conversion's to report.
struct PageCheck {
  int status = 0;
  std::string message;
};
PageCheck check_page(const Options& options);

// One page of a batch's input: every page of a file of several, page 1 of any other.
struct PagedInput {
  std::string input;
  int page = 1;   // from 1
  int pages = 1;  // the file's count
  // "plan.pdf" for a one-page file, "plan.pdf page 2" for a page of several.
  std::string label() const;
};
std::vector<PagedInput> paged_inputs(const Options& options);

// The batch output of one page: NAME.EXT for a one-page file, NAME-pN.EXT for page N of several.
std::string paged_output_path(const Options& options, const PagedInput& page);

}  // namespace vp::cli
