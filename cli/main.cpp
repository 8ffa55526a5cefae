// varnelle: the command line front end.
#include <cstdio>

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::fprintf(stderr, "varnelle: no command yet\n");
  return 2;
}
