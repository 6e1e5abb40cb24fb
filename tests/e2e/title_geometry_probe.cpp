// Writes the title picture's numbers at every screen size the program meets
// (tests/title_geometry_dump.h) as the program's own build computes them, to
// title_geometry.txt in the folder named by VM_E2E_SCREENS (else the current
// one), for title_geometry.check to compare with the host's.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "title_geometry_dump.h"

int main() {
  const char* folder = getenv("VM_E2E_SCREENS");
  std::string path = std::string(folder ? folder : ".") + "\\title_geometry.txt";
  FILE* out = fopen(path.c_str(), "w");
  if (!out) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  dumpTitleGeometry(out);
  return fclose(out) == 0 ? 0 : 1;
}
