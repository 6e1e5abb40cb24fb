// Every number the title picture is drawn from, at the screen sizes the
// program meets, as text: the host build and the shipped 32-bit build write
// it alike, and the two texts must be the same byte for byte, so that x87
// arithmetic moving one vertex by one pixel is caught.
#ifndef VM_TESTS_TITLE_GEOMETRY_DUMP_H
#define VM_TESTS_TITLE_GEOMETRY_DUMP_H

#include <cstdint>
#include <cstdio>

#include "title/title_geometry.h"

inline void dumpTitleGeometry(FILE* out) {
  static const int32_t kSizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1280, 1024},
                                      {1366, 768},  {1440, 900},  {1600, 900},  {1920, 1080}};
  for (const auto& size : kSizes) {
    int32_t width = size[0], height = size[1];
    fprintf(out, "screen %d x %d font %d\n", width, height, titleFontPointSize(width));
    for (int32_t row = 0; row < height; ++row) fprintf(out, "row %d %06lx\n", row,
                                                       static_cast<unsigned long>(gradientRowColour(row, height)));
    uint32_t seed = kNoiseFirstSeed;
    for (int32_t x = 0; x <= width; ++x) {
      TitlePoint curve = resonanceCurvePoint(x, width, height);
      seed = nextNoiseSeed(seed);
      TitlePoint noise = noiseLinePoint(x, seed, height);
      fprintf(out, "column %d curve %d,%d noise %d,%d\n", x, curve.x, curve.y, noise.x, noise.y);
    }
    SquareWave wave = startSquareWave();
    do {
      SquareWavePass pass = nextSquareWavePass(&wave, width, height);
      fprintf(out, "wave %d,%d %d,%d %d,%d\n", pass.start.x, pass.start.y, pass.along.x, pass.along.y,
              pass.across.x, pass.across.y);
    } while (!squareWaveFinished(wave));
  }
}

#endif  // VM_TESTS_TITLE_GEOMETRY_DUMP_H
