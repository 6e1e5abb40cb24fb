// The title picture's numbers as the host computes them (SSE2 doubles), the
// reference for the shipped 32-bit build's: see title_geometry_dump.h.
#include <cmath>

#include "title_geometry_dump.h"

// The C runtime's, as the sim gives them to the host tests; this program
// links only the picture's arithmetic.
double runtimeExp(double x) { return std::exp(x); }
double runtimeLog(double x) { return std::log(x); }

int main() {
  dumpTitleGeometry(stdout);
  return 0;
}
