#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "cli/system.h"
#include "cli/terminal_host.h"
#include "core/messages.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  try {
    const bool terminal = vp::cli::prepare_console();
    return vp::cli::run_converter(vp::cli::utf8_arguments(argc, argv), std::cout, std::cerr, terminal);
  } catch (const std::bad_alloc&) {
    // The converter reports its own; this is the last edge, with no room left to say more.
    vp::cli::print_message(std::cerr, vp::messages::kOutOfMemory);
    return vp::cli::kExitOutOfMemory;
  }
}
