#include "export/save_file.h"

#include <functional>
#include <ostream>

#include "export/atomic_file.h"

namespace vp {
namespace {

// The saving dialog for the lifetime of the object, so that it is hidden again
// (and the main window enabled) whatever way the save ends.
class DialogShown {
 public:
  explicit DialogShown(SaveHost& host) : host_(host) { host_.begin_saving(); }
  ~DialogShown() { host_.end_saving(); }
  DialogShown(const DialogShown&) = delete;
  DialogShown& operator=(const DialogShown&) = delete;

 private:
  SaveHost& host_;
};

// A writer's reports as the dialog's bar and the format's pace of events.
class SavingProgress final : public Progress {
 public:
  SavingProgress(SaveHost& host, int events_every) : host_(host), events_every_(events_every) {}

  bool report(Phase, std::int64_t done, std::int64_t total) override {
    host_.set_saving_bar(bar_.position(done, total));
    if (events_every_ > 0 && done % events_every_ == 0) host_.process_events();
    stopped_ = stopped_ || host_.abort_requested();
    return !stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  SaveHost& host_;
  SavingBar bar_;
  int events_every_;
  bool stopped_ = false;
};

// The magnification text as a number for which `fits` holds, or the message.
template <typename Fits>
std::optional<float> accept_with(std::string_view text, SaveHost& host, Fits&& fits) {
  std::optional<float> rate = parse_rate(text);
  if (rate && !fits(*rate)) rate.reset();
  if (!rate) host.show_message(kInvalidRateMessage);
  return rate;
}

// The one body of a save: the file, the dialog and the messages around
// `write(out, progress)`, which runs the format's writer.
SaveResult save_with(const ExportFormat& format, const std::filesystem::path& path, SaveHost& host,
                     const std::function<bool(std::ostream&, Progress&)>& write) {
  SaveResult result;
  {
    AtomicFile file(path, [&host] { return host.abort_requested(); });
    std::optional<DialogShown> dialog;
    if (!format.create_before_dialog) dialog.emplace(host);
    if (const std::error_code created = file.open()) {
      result = {SaveFailure::Create, created};
    } else {
      if (!dialog) dialog.emplace(host);
      SavingProgress progress(host, format.events_every);
      bool written = false;
      {
        std::ostream out(&file.buffer());
        written = write(out, progress);
      }
      // The file is closed and in place (or gone) before the dialog goes away.
      std::error_code failure = file.finish(written);
      if (progress.stopped()) failure = std::make_error_code(std::errc::operation_canceled);
      if (failure) result = {SaveFailure::Write, failure};
    }
  }
  if (!result.written() && !format.failure_message.empty()) host.show_message(format.failure_message);
  return result;
}

}  // namespace

std::optional<float> accept_magnification(const ExportFormat& format, std::string_view text,
                                          std::span<const LineRecord> records, SaveHost& host) {
  return accept_with(text, host, [&](float rate) { return rate_fits(format, records, rate); });
}

std::optional<float> accept_magnification(const ExportFormat& format, std::string_view text,
                                          const cad::CadDrawing& drawing, SaveHost& host) {
  return accept_with(text, host, [&](float rate) { return rate_fits(format, drawing, rate); });
}

SaveResult save_file(const ExportFormat& format, const std::filesystem::path& path, std::span<const LineRecord> records,
                     float rate, const ExportOptions& options, SaveHost& host) {
  return save_with(format, path, host, [&](std::ostream& out, Progress& progress) {
    return format.write(out, records, rate, options, progress);
  });
}

SaveResult save_file(const ExportFormat& format, const std::filesystem::path& path, const cad::CadDrawing& drawing,
                     float rate, const ExportOptions& options, SaveHost& host) {
  return save_with(format, path, host, [&](std::ostream& out, Progress& progress) {
    return format.write_cad(out, drawing, rate, options, progress);
  });
}

std::optional<SaveFailureText> save_failure_text(const ExportFormat& format, const SaveResult& result) {
  switch (result.failure) {
    case SaveFailure::None:
    case SaveFailure::Template:
      return std::nullopt;
    case SaveFailure::Create:
      if (format.create_before_dialog) return SaveFailureText{file_error_text(result.error), true};
      break;
    default:
      break;
  }
  return SaveFailureText{std::string(kNotSavedMessage), false};
}

}  // namespace vp
