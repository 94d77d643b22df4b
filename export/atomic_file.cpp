#include "export/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "export/file_calls.h"

namespace vp {

namespace {

std::error_code last_error() {
  // The C library sets errno on failing file calls here; should it not, the
  // failure still must not pass for success.
  const int e = errno;
  return std::error_code(e != 0 ? e : EIO, std::generic_category());
}

std::uint64_t random_bits() {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  seed ^= counter.fetch_add(0x9E3779B97F4A7C15ull) + 0x632BE59BD9B4E019ull;
  try {
    std::random_device device;
    seed ^= (std::uint64_t{device()} << 32) | device();
  } catch (...) {
    // No entropy source: the clock and the counter still make names unlikely to
    // collide, and exclusive creation catches the collisions that remain.
  }
  std::mt19937_64 gen(seed);
  return gen();
}

std::filesystem::path temp_name_beside(const std::filesystem::path& target) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::uint64_t bits = random_bits();
  // A short fixed-length name: a target whose own name is near the length limit
  // must not fail because of a longer temporary name.
  std::string name = ".velorin-";
  for (int i = 0; i < 12; ++i) {
    name.push_back(kHex[bits & 0xF]);
    bits >>= 4;
  }
  name += ".tmp";
  return target.parent_path() / name;
}

}  // namespace

// A put area in front of the C stream; the first failure sticks.
class AtomicFile::Buffer : public std::streambuf {
 public:
  Buffer(std::FILE* file, const std::function<bool()>& cancelled)
      : file_(file), cancelled_(cancelled), storage_(kSize) {
    setp(storage_.data(), storage_.data() + storage_.size());
  }

  std::error_code error() const { return error_; }

  // Stops every later write once the save is called off.
  bool check_cancelled() {
    if (error_) return false;
    if (cancelled_ && cancelled_()) {
      error_ = std::make_error_code(std::errc::operation_canceled);
      setp(storage_.data(), storage_.data());
      return false;
    }
    return true;
  }

  // Writes out the put area and the C stream's own buffer.
  bool flush_all() {
    if (!drain()) return false;
    if (std::fflush(file_) != 0) return fail();
    return true;
  }

 protected:
  int_type overflow(int_type ch) override {
    if (!drain()) return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    return ch;
  }

  std::streamsize xsputn(const char_type* s, std::streamsize n) override {
    if (error_) return 0;
    const std::streamsize room = epptr() - pptr();
    if (n <= room) {
      std::memcpy(pptr(), s, static_cast<std::size_t>(n));
      pbump(static_cast<int>(n));
      return n;
    }
    if (!drain()) return 0;
    if (n < static_cast<std::streamsize>(storage_.size())) {
      std::memcpy(pptr(), s, static_cast<std::size_t>(n));
      pbump(static_cast<int>(n));
      return n;
    }
    return put_direct(s, static_cast<std::size_t>(n)) ? n : 0;
  }

  int sync() override { return flush_all() ? 0 : -1; }

 private:
  static constexpr std::size_t kSize = 1 << 16;

  bool put_direct(const char* s, std::size_t n) {
    errno = 0;
    if (std::fwrite(s, 1, n, file_) != n) return fail();
    return true;
  }

  bool drain() {
    if (!check_cancelled()) return false;
    const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
    setp(storage_.data(), storage_.data() + storage_.size());
    return n == 0 || put_direct(storage_.data(), n);
  }

  bool fail() {
    if (!error_) error_ = last_error();
    // No room any more: every later put goes through overflow and fails.
    setp(storage_.data(), storage_.data());
    return false;
  }

  std::FILE* file_;
  const std::function<bool()>& cancelled_;
  std::vector<char> storage_;
  std::error_code error_;
};

AtomicFile::AtomicFile(std::filesystem::path target, std::function<bool()> cancelled)
    : target_(std::move(target)), cancelled_(std::move(cancelled)) {}

AtomicFile::~AtomicFile() { discard(); }

std::error_code AtomicFile::open() {
  namespace fs = std::filesystem;
  if (file_ != nullptr) return std::make_error_code(std::errc::device_or_resource_busy);
  if (target_.filename().empty()) return std::make_error_code(std::errc::invalid_argument);

  // Replacing a symbolic link by renaming would cut it: write to what it names,
  // even when that is not there yet.
  if (const std::error_code link = platform::resolve_write_target(target_)) return link;

  std::error_code ec;
  const fs::file_status status = fs::status(target_, ec);
  const bool exists = fs::exists(status);
  if (exists) {
    if (fs::is_directory(status)) return std::make_error_code(std::errc::is_a_directory);
    if (!fs::is_regular_file(status)) return std::make_error_code(std::errc::invalid_argument);
    // Opening for append creates nothing and changes nothing, but fails where a
    // plain overwrite would: a read-only file keeps its protection.
    errno = 0;
    std::FILE* probe = platform::open_c_file(target_, "ab");
    if (probe == nullptr) return last_error();
    std::fclose(probe);
  }

  for (int attempt = 0; attempt < 32; ++attempt) {
    const fs::path candidate = temp_name_beside(target_);
    errno = 0;
    std::FILE* file = platform::open_c_file(candidate, "wbx");
    if (file == nullptr) {
      const std::error_code err = last_error();
      if (err == std::errc::file_exists) continue;
      return err;
    }
    // Our own buffer sits in front; a second one in the C stream would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    file_ = file;
    temp_path_ = candidate;
    // The replacement keeps the owner and permissions the file had; failing
    // that, it has the ones a newly created file gets.
    if (exists) platform::copy_owner_and_mode(file_, target_);
    buffer_ = std::make_unique<Buffer>(file_, cancelled_);
    return {};
  }
  return std::make_error_code(std::errc::file_exists);
}

std::streambuf& AtomicFile::buffer() { return *buffer_; }

std::error_code AtomicFile::error() const { return buffer_ ? buffer_->error() : std::error_code{}; }

std::error_code AtomicFile::commit() {
  if (file_ == nullptr) return std::make_error_code(std::errc::bad_file_descriptor);
  std::error_code err;
  if (!buffer_->flush_all()) err = buffer_->error();
  if (!err) err = platform::sync_file(file_);
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  if (!closed && !err) err = last_error();
  file_ = nullptr;
  // The last moment a save can still be called off without touching the target.
  if (!err && !buffer_->check_cancelled()) err = buffer_->error();
  if (!err) err = platform::replace_file(temp_path_, target_);
  if (err) {
    discard();
    return err;
  }
  platform::sync_folder(target_.parent_path());
  temp_path_.clear();
  buffer_.reset();
  return {};
}

void AtomicFile::discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temp_path_, ignored);
    temp_path_.clear();
  }
  buffer_.reset();
}

std::string file_error_text(std::error_code error) {
  using std::errc;
  if (error == errc::no_such_file_or_directory) return "ファイルが見つかりません";
  if (error == errc::invalid_argument || error == errc::filename_too_long || error == errc::not_a_directory ||
      error == errc::illegal_byte_sequence || error == errc::too_many_symbolic_link_levels) {
    return "不正なファイル名です";
  }
  if (error == errc::too_many_files_open || error == errc::too_many_files_open_in_system) {
    return "オープンしたファイルが多すぎます";
  }
  if (error == errc::permission_denied || error == errc::operation_not_permitted ||
      error == errc::read_only_file_system || error == errc::is_a_directory || error == errc::text_file_busy) {
    return "ファイルへのアクセスが拒否されました";
  }
  bool full = error == errc::no_space_on_device || error == errc::file_too_large;
#ifdef EDQUOT
  full = full || (error.category() == std::generic_category() && error.value() == EDQUOT);
#endif
  if (full) return "ディスクがいっぱいです";
  return "I/O エラー (" + std::to_string(error.value()) + ")";
}

std::error_code AtomicFile::finish(bool written) {
  if (written) return commit();
  std::error_code failure = error();
  if (!failure) failure = std::make_error_code(std::errc::io_error);
  discard();
  return failure;
}

}  // namespace vp
