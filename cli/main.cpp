#include <iostream>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "cli/system.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const bool terminal = vp::cli::prepare_console();
  return vp::cli::run_converter(vp::cli::utf8_arguments(argc, argv), std::cout, std::cerr, terminal);
}
