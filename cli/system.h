// What the converter asks of the operating system. Each system's answers live
// in a file of their own (cli/posix/, cli/windows/), chosen by the build, so
// that everything else stays portable. Paths and texts are UTF-8 throughout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/dxf_header.h"

namespace vp::cli {

// The folder of the running program; nothing when the system does not say.
std::optional<std::filesystem::path> program_folder();

// An environment variable naming a folder; nothing when unset or empty.
std::optional<std::filesystem::path> environment_folder(const char* name);

// The command line's arguments after the program's name, as UTF-8.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Readies the standard streams for UTF-8 text; true when the error stream is a
// terminal (where a progress bar makes sense).
bool prepare_console();

// Ctrl-C, a terminal hang-up and a polite kill (on Windows: Ctrl-C, Ctrl-Break and
// closing the console) call `handler` instead of ending the program, until the
// handlers are restored. The handler may only set a lock-free flag.
void install_interrupt_handlers(void (*handler)());
void restore_interrupt_handlers();

// The address space this process may still take under its limit (ulimit -v);
// nothing when there is no limit (or the system has none to tell).
std::optional<std::uint64_t> address_space_room();

// Where the user's own data goes: $XDG_DATA_HOME or ~/.local/share, %APPDATA% on Windows.
std::optional<std::filesystem::path> user_data_folder();

// The DXF header templates the converter looks for, in order: the user's own
// (<data>/velorin-pelkin/), the desktop program's (<data>/Quillet/VelorinPelkin/,
// where its settings dialog writes), beside the program, then the installed one.
DxfHeaderPlaces dxf_header_places();

}  // namespace vp::cli
