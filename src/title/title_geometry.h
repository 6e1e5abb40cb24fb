// The points and colours of the title window's picture, apart from the
// drawing calls that put them on the screen.
//
// All arithmetic is in double precision and every coordinate and colour
// channel is rounded to the nearest integer, ties to even, so that the picture
// is the same pixel for pixel on every machine. The client area is W x H with
// its origin at the top left.
#ifndef VM_TITLE_TITLE_GEOMETRY_H
#define VM_TITLE_TITLE_GEOMETRY_H

#include <cstdint>

#include "platform/win32.h"

struct TitlePoint {
  int32_t x;
  int32_t y;
};

// Point size of the title font for a screen this many pixels wide: 30 at 640.
int32_t titleFontPointSize(int32_t screenWidth);

// Colour of one pixel row of the background gradient.
COLORREF gradientRowColour(int32_t row, int32_t height);

// The resonance curve at column x (0 to W inclusive).
TitlePoint resonanceCurvePoint(int32_t x, int32_t width, int32_t height);

// The noise line: a fixed sequence, so that every paint draws the same line.
const uint32_t kNoiseFirstSeed = 1;
uint32_t nextNoiseSeed(uint32_t seed);
// The point at column x whose seed has just been advanced to `seed`.
TitlePoint noiseLinePoint(int32_t x, uint32_t seed, int32_t height);

// The square wave along the diagonal, drawn pass by pass: a move to `start`,
// a line parallel to the diagonal to `along`, and the jump across it to
// `across`.
struct SquareWavePass {
  TitlePoint start;
  TitlePoint along;
  TitlePoint across;
};

struct SquareWave {
  double t;     // position along the diagonal, 0 to 1, accumulated pass by pass
  double side;  // signed offset of the current side, in units of the normal
};

SquareWave startSquareWave();
// Computes the next pass and moves the wave on.
SquareWavePass nextSquareWavePass(SquareWave* wave, int32_t width, int32_t height);
// True once the last pass has been drawn.
bool squareWaveFinished(const SquareWave& wave);

#endif  // VM_TITLE_TITLE_GEOMETRY_H
