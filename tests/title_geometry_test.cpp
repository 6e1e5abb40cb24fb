// The title picture's numbers, which depend on exact double arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "title/title_geometry.h"

namespace {

void expectPoint(TitlePoint point, int32_t x, int32_t y) {
  EXPECT_EQ(point.x, x);
  EXPECT_EQ(point.y, y);
}

}  // namespace

TEST(TitleGeometryTest, FontSizeFollowsScreenWidthAtThirtyPointsPer640Pixels) {
  EXPECT_EQ(titleFontPointSize(640), 30);
  EXPECT_EQ(titleFontPointSize(800), 38);
  EXPECT_EQ(titleFontPointSize(1024), 48);
  EXPECT_EQ(titleFontPointSize(1280), 60);
  EXPECT_EQ(titleFontPointSize(0), 0);
}

TEST(TitleGeometryTest, GradientRunsFromDarkBlueAndRoundsHalvesToEven) {
  EXPECT_EQ(gradientRowColour(0, 480), 0x800000u);
  // Blue 191.5 rounds to 192.
  EXPECT_EQ(gradientRowColour(240, 480), 0xC04040u);
  // t stays below 1, yet the last row already rounds to the limit.
  EXPECT_EQ(gradientRowColour(479, 480), 0xFF8080u);
  EXPECT_EQ(gradientRowColour(0, 1), 0x800000u);
  // 0.5 of a channel between 0 and 1 rounds down to the even 0 (ties to even, not away).
  EXPECT_EQ(gradientRowColour(1, 256) & 0xFF, 0u);
}

TEST(TitleGeometryTest, ResonanceCurveStartsPeaksAndEndsWhereThePictureWants) {
  expectPoint(resonanceCurvePoint(0, 640, 480), 0, 190);
  expectPoint(resonanceCurvePoint(439, 640, 480), 439, 57);
  expectPoint(resonanceCurvePoint(640, 640, 480), 640, 428);
  int32_t highest = 480;
  for (int32_t x = 0; x <= 640; ++x) highest = std::min(highest, resonanceCurvePoint(x, 640, 480).y);
  EXPECT_EQ(highest, 57);
}

TEST(TitleGeometryTest, NoiseLineIsTheSameSequenceFromSeedOne) {
  uint32_t seed = kNoiseFirstSeed;
  seed = nextNoiseSeed(seed);
  EXPECT_EQ(seed, 22695478u);
  expectPoint(noiseLinePoint(0, seed, 480), 0, 359);
  seed = nextNoiseSeed(seed);
  expectPoint(noiseLinePoint(1, seed, 480), 1, 408);
  seed = nextNoiseSeed(seed);
  expectPoint(noiseLinePoint(2, seed, 480), 2, 392);
  // Wraps modulo 2^32 and reads the seed as signed: the top of the range lies below the middle.
  EXPECT_EQ(nextNoiseSeed(0xFFFFFFFFu), 0xFEA5B1CCu);
  EXPECT_GT(noiseLinePoint(0, 0x80000000u, 480).y, 360);
}

TEST(TitleGeometryTest, SquareWaveMakesTwentyPassesByAccumulatedSteps) {
  SquareWave wave = startSquareWave();
  SquareWavePass first = nextSquareWavePass(&wave, 640, 480);
  expectPoint(first.start, -26, -13);
  expectPoint(first.along, 9, 14);
  expectPoint(first.across, 62, -57);
  int passes = 1;
  SquareWavePass last = first;
  while (!squareWaveFinished(wave)) {
    last = nextSquareWavePass(&wave, 640, 480);
    ++passes;
  }
  // A t computed as passes * 0.05 would reach exactly 1.0 and draw a 21st pass.
  EXPECT_EQ(passes, 20);
  EXPECT_EQ(wave.t, std::nextafter(1.0, 2.0));
  expectPoint(last.across, 678, 515);
}
