// First: the other system headers need its types.
#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/system.h"
#include "raster/utf8_path.h"

namespace vp::cli {
namespace {

std::string to_utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

void (*g_handler)() = nullptr;

// Runs on a thread of its own that the system starts; TRUE keeps the process alive
// so that the work sees the flag and removes its temporary files.
BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      g_handler();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void install_interrupt_handlers(void (*handler)()) {
  g_handler = handler;
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

void restore_interrupt_handlers() { SetConsoleCtrlHandler(on_console_event, FALSE); }

std::optional<std::filesystem::path> program_folder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return std::nullopt;
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(name.size() * 2);  // truncated: try a longer buffer
  }
  const std::filesystem::path exe(name);
  if (!exe.has_parent_path()) return std::nullopt;
  return exe.parent_path();
}

std::optional<std::filesystem::path> environment_folder(const char* name) {
  const std::wstring wide_name(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wide_name.c_str());
  if (value == nullptr || *value == L'\0') return std::nullopt;
  return std::filesystem::path(value);
}

// The narrow argv holds the ANSI code page's version of each argument, with "?"
// for every character it lacks; the wide command line has them all.
std::vector<std::string> utf8_arguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!wide) return {argv + 1, argv + argc};
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(to_utf8(wide.get()[i]));
  return args;
}

bool prepare_console() {
  // Messages are UTF-8; a console shows them as such only when told.
  SetConsoleOutputCP(CP_UTF8);
  return _isatty(_fileno(stderr)) != 0;
}

std::optional<std::uint64_t> address_space_room() { return std::nullopt; }  // no per-process cap to heed

std::optional<std::filesystem::path> user_data_folder() { return environment_folder("APPDATA"); }

}  // namespace vp::cli
