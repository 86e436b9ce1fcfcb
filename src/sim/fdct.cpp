#include "sim/fdct.h"

#include <cmath>

namespace tamlorex::sim {
namespace {

// basis[k][x] = C(k)/2 cos((2x+1) k pi / 16): one 1-D pass is out[k] = sum basis[k][x] in[x].
struct Basis {
    double c[8][8];
    Basis()
    {
        const double pi = std::acos(-1.0);
        for (int k = 0; k < 8; ++k)
            for (int x = 0; x < 8; ++x)
                c[k][x] = (k == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * k * pi / 16.0);
    }
};

const Basis& TheBasis()
{
    static const Basis basis;
    return basis;
}

}  // namespace

std::array<double, 64> ForwardDct(const std::uint8_t* samples, int stride)
{
    const auto& b = TheBasis().c;
    double rows[64];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x) s += b[u][x] * samples[y * stride + x];
            rows[y * 8 + u] = s;
        }
    std::array<double, 64> out{};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y) s += b[v][y] * rows[y * 8 + u];
            out[v * 8 + u] = s;
        }
    return out;
}

std::array<double, 64> InverseDct(const std::array<double, 64>& in)
{
    const auto& b = TheBasis().c;
    double cols[64];
    for (int u = 0; u < 8; ++u)
        for (int y = 0; y < 8; ++y) {
            double s = 0;
            for (int v = 0; v < 8; ++v) s += b[v][y] * in[v * 8 + u];
            cols[y * 8 + u] = s;
        }
    std::array<double, 64> out{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int u = 0; u < 8; ++u) s += b[u][x] * cols[y * 8 + u];
            out[y * 8 + x] = s;
        }
    return out;
}

}  // namespace tamlorex::sim
