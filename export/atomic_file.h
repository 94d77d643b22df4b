// Writing a file so that it is either complete or not there at all.
//
// The bytes go to a new temporary file in the target's folder; only when every
// write, the flush and the close have succeeded is it renamed over the target.
// On any failure the temporary file is removed and the target is left exactly
// as it was, so a failed save never destroys a good file nor leaves a partial
// or empty one behind. The bytes are synced before the rename and the folder
// after it, so a reported success survives a power loss.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <system_error>

namespace vp {

class AtomicFile {
 public:
  // `cancelled`, when given, is asked between blocks of bytes and before the
  // rename: once it says yes, writing fails with operation_canceled.
  explicit AtomicFile(std::filesystem::path target, std::function<bool()> cancelled = {});
  ~AtomicFile();  // an uncommitted file is discarded
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file. Fails without touching anything when the target
  // cannot be written: a folder that is missing or not writable, a target that
  // is a folder or not a regular file, or a target that is not writable itself
  // (replacing it by renaming would otherwise get round its protection). A
  // symbolic link is followed to its end, which is created when missing; a loop
  // of links fails with too_many_symbolic_link_levels.
  std::error_code open();

  // Where the bytes go; valid after a successful open(). A failed write makes
  // this and every later write fail (an ostream over it turns bad).
  std::streambuf& buffer();

  // Flushes, syncs and closes the temporary file, then moves it over the target
  // (a symbolic link target is written through, the link kept; a hard-linked
  // target is replaced, its other names keep the old bytes). The replacement
  // keeps the owner, group and mode of the file it replaces where permitted.
  // On failure the temporary file is removed and the target untouched.
  std::error_code commit();

  // Removes the temporary file; the target is untouched.
  void discard();

  // The end of every writer: commit() when everything was `written`, otherwise
  // discard(). Returns the failure, if any: the first write error (an I/O error
  // when none was seen), or the commit's.
  std::error_code finish(bool written);

  // The first failure of a write so far, if any.
  std::error_code error() const;

  const std::filesystem::path& target() const { return target_; }
  // Empty until open() succeeds, and again after commit() or discard().
  const std::filesystem::path& temp_path() const { return temp_path_; }

 private:
  class Buffer;

  std::filesystem::path target_;
  std::function<bool()> cancelled_;
  std::filesystem::path temp_path_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<Buffer> buffer_;
};

// The text the user sees for a failed file operation.
std::string file_error_text(std::error_code error);

}  // namespace vp
