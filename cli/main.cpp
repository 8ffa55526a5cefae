// varnelle: the command line front end.
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "platform/platform.h"

namespace {

int Run(const std::vector<std::string>& args) {
  InstallInterruptHandler();
  CProgressBar progress(stderr, IsTerminal(stderr));
  CliContext context {std::cout, std::cerr, progress};
  const int status = RunCommandLine(args, context);
  std::cout.flush();
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
  }
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
