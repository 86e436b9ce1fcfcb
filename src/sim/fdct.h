#pragma once
// Forward 8x8 DCT with the scaling the decoder's inverse transform expects: a flat block of
// value v gives coefficient 0 = 8 v.
#include <array>
#include <cstdint>

namespace tamlorex::sim {

// F(u,v) = 1/4 C(u) C(v) sum f(x,y) cos((2x+1)u pi/16) cos((2y+1)v pi/16), C(0) = 1/sqrt 2.
// Output in raster order (index 8 v + u, v the vertical frequency).
std::array<double, 64> ForwardDct(const std::uint8_t* samples, int stride);

// The exact inverse of ForwardDct in floating point, for checking quantisation error.
std::array<double, 64> InverseDct(const std::array<double, 64>& coefficients);

}  // namespace tamlorex::sim
