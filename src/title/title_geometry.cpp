#include "title/title_geometry.h"

#include <cmath>

namespace {

// Gradient from dark blue at the top towards a light blue that the last rows
// reach only by rounding.
const COLORREF kGradientTop = 0x800000;
const COLORREF kGradientBottomLimit = 0xFF8080;

// The resonance curve is the magnitude response of a resonant second-order
// low-pass filter over a logarithmic frequency axis. Its two constants are
// the exact doubles the picture was first drawn with: the exponent is the
// double just below 2.1 (0.7 * 3 in double arithmetic) and the damping factor
// lies two steps below 0.4. Other roundings move points of the curve.
const double kResonanceExponent = 0x1.0ccccccccccccp+1;  // 2.0999999999999996
const double kResonanceDamping = 0x1.9999999999998p-2;   // 0.3999999999999999

// Half a step of the square wave, in units of the diagonal's normal.
const double kSquareWaveStep = 0.05;

// Ties to even, as the floating-point unit rounds by default.
int32_t roundToInt(double value) { return static_cast<int32_t>(std::nearbyint(value)); }

int32_t blend(uint32_t top, uint32_t bottom, double t) {
  return roundToInt((1 - t) * static_cast<double>(top) + t * static_cast<double>(bottom));
}

}  // namespace

int32_t titleFontPointSize(int32_t screenWidth) {
  // 0.0015625 is 1/640, not exact in binary; the product is taken in this order.
  return roundToInt(static_cast<double>(screenWidth) * 30 * 0.0015625);
}

COLORREF gradientRowColour(int32_t row, int32_t height) {
  double t = static_cast<double>(row) / height;
  int32_t red = blend(kGradientTop & 0xFF, kGradientBottomLimit & 0xFF, t);
  int32_t green = blend((kGradientTop >> 8) & 0xFF, (kGradientBottomLimit >> 8) & 0xFF, t);
  int32_t blue = blend((kGradientTop >> 16) & 0xFF, (kGradientBottomLimit >> 16) & 0xFF, t);
  return RGB(red, green, blue);
}

TitlePoint resonanceCurvePoint(int32_t x, int32_t width, int32_t height) {
  double v = runtimeExp(3.0 * x / width);
  double e = runtimeExp(kResonanceExponent);
  double real = e * v * kResonanceDamping;
  double imaginary = e * e - v * v;
  double s = std::sqrt(real * real + imaginary * imaginary);
  double h = height;
  double y = h - 0.6 * h - 0.3 * h * runtimeLog(e * e / s);
  return TitlePoint{x, roundToInt(y)};
}

uint32_t nextNoiseSeed(uint32_t seed) { return seed * 22695477u + 1u; }

TitlePoint noiseLinePoint(int32_t x, uint32_t seed, int32_t height) {
  double h = height;
  double y = h - 0.25 * h - static_cast<int32_t>(seed) * 0x1p-31 * 0.1 * h;
  return TitlePoint{x, roundToInt(y)};
}

SquareWave startSquareWave() { return SquareWave{0.0, kSquareWaveStep}; }

SquareWavePass nextSquareWavePass(SquareWave* wave, int32_t width, int32_t height) {
  // The diagonal runs from a tenth of the height above the top-left corner to
  // the bottom edge a tenth of the width beyond the right edge; the normal
  // (-D, X1) stands at right angles to it.
  double y0 = -0.1 * height;
  double x1 = 1.1 * width;
  double d = height - y0;
  auto at = [&](double t, double side) {
    return TitlePoint{roundToInt(x1 * t + side * -d), roundToInt(y0 + d * t + side * x1)};
  };
  SquareWavePass pass;
  pass.start = at(wave->t, wave->side);
  // t is accumulated by repeated addition, not computed from a pass count:
  // after the twentieth addition it is 1.0000000000000002, which ends the
  // wave after exactly twenty passes.
  wave->t += kSquareWaveStep;
  pass.along = at(wave->t, wave->side);
  wave->side = -wave->side;
  pass.across = at(wave->t, wave->side);
  return pass;
}

bool squareWaveFinished(const SquareWave& wave) { return wave.t > 1.0; }
