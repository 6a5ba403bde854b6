// The W3C compositing and blending formulas, written out in double
// precision: the independent expectation the rendering tests check against.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace blend {

using RGB = std::array<double, 3>;

// Separable blend functions B(Cb, Cs), per channel.
inline double Multiply(double b, double s) { return b * s; }
inline double Screen(double b, double s) { return b + s - b * s; }
inline double HardLight(double b, double s) { return s <= 0.5 ? Multiply(b, 2 * s) : Screen(b, 2 * s - 1); }
inline double Overlay(double b, double s) { return HardLight(s, b); }
inline double Darken(double b, double s) { return std::min(b, s); }
inline double Lighten(double b, double s) { return std::max(b, s); }
inline double ColorDodge(double b, double s) { return b == 0 ? 0 : s >= 1 ? 1 : std::min(1.0, b / (1 - s)); }
inline double ColorBurn(double b, double s) { return b >= 1 ? 1 : s <= 0 ? 0 : 1 - std::min(1.0, (1 - b) / s); }
inline double SoftLight(double b, double s) {
  if (s <= 0.5) return b - (1 - 2 * s) * b * (1 - b);
  const double d = b <= 0.25 ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
  return b + (2 * s - 1) * (d - b);
}
inline double Difference(double b, double s) { return std::fabs(b - s); }
inline double Exclusion(double b, double s) { return b + s - 2 * b * s; }

// Non-separable helpers.
inline double Lum(RGB c) { return 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2]; }
inline RGB ClipColor(RGB c) {
  const double l = Lum(c), n = std::min({c[0], c[1], c[2]}), x = std::max({c[0], c[1], c[2]});
  for (double& v : c) {
    if (n < 0) v = l + (v - l) * l / (l - n);
    if (x > 1) v = l + (v - l) * (1 - l) / (x - l);
  }
  return c;
}
inline RGB SetLum(RGB c, double l) {
  const double d = l - Lum(c);
  return ClipColor({c[0] + d, c[1] + d, c[2] + d});
}
inline double Sat(RGB c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }
inline RGB SetSat(RGB c, double s) {
  int order[3] = {0, 1, 2};
  std::sort(order, order + 3, [&](int i, int j) { return c[i] < c[j]; });
  double &mn = c[order[0]], &mid = c[order[1]], &mx = c[order[2]];
  if (mx > mn) {
    mid = (mid - mn) * s / (mx - mn);
    mx = s;
  } else {
    mid = mx = 0;
  }
  mn = 0;
  return c;
}

using Blend = std::function<RGB(RGB, RGB)>;
inline Blend Separable(double (*f)(double, double)) {
  return [f](RGB b, RGB s) { return RGB{f(b[0], s[0]), f(b[1], s[1]), f(b[2], s[2])}; };
}

// Indexed by BlendMode - 1, the platform's numbering.
inline const std::vector<std::pair<const char*, Blend>>& Modes() {
  static const std::vector<std::pair<const char*, Blend>> modes = {
      {"normal", [](RGB, RGB s) { return s; }},
      {"multiply", Separable(Multiply)},
      {"screen", Separable(Screen)},
      {"overlay", Separable(Overlay)},
      {"darken", Separable(Darken)},
      {"lighten", Separable(Lighten)},
      {"colour dodge", Separable(ColorDodge)},
      {"colour burn", Separable(ColorBurn)},
      {"soft light", Separable(SoftLight)},
      {"hard light", Separable(HardLight)},
      {"difference", Separable(Difference)},
      {"exclusion", Separable(Exclusion)},
      {"hue", [](RGB b, RGB s) { return SetLum(SetSat(s, Sat(b)), Lum(b)); }},
      {"saturation", [](RGB b, RGB s) { return SetLum(SetSat(b, Sat(s)), Lum(b)); }},
      {"colour", [](RGB b, RGB s) { return SetLum(s, Lum(b)); }},
      {"luminosity", [](RGB b, RGB s) { return SetLum(b, Lum(s)); }},
  };
  return modes;
}

// A premultiplied colour, channels 0 to 1.
struct Premultiplied {
  double a, r, g, b;
};

// Source over backdrop with blending, for any alphas (premultiplied in and
// out): co = cs (1 - ab) + cb (1 - as) + as ab B(Cb, Cs), ao = as + ab - as ab.
inline Premultiplied Over(const Blend& blend, Premultiplied s, Premultiplied d) {
  auto straight = [](Premultiplied c) {
    return c.a > 0 ? RGB{c.r / c.a, c.g / c.a, c.b / c.a} : RGB{0, 0, 0};
  };
  const RGB mixed = blend(straight(d), straight(s));
  const double both = s.a * d.a;
  return {s.a + d.a - both, s.r * (1 - d.a) + d.r * (1 - s.a) + both * mixed[0],
          s.g * (1 - d.a) + d.g * (1 - s.a) + both * mixed[1], s.b * (1 - d.a) + d.b * (1 - s.a) + both * mixed[2]};
}

}  // namespace blend
