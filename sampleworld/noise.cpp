#include "noise.h"

#include <cmath>

namespace sampleworld {

quint32 hash32(quint32 a)
{
    a ^= a >> 16;
    a *= 0x7feb352dU;
    a ^= a >> 15;
    a *= 0x846ca68bU;
    a ^= a >> 16;
    return a;
}

quint32 hash2(quint32 seed, qint32 x, qint32 y)
{
    return hash32(seed ^ hash32(quint32(x) * 0x9e3779b1U ^ hash32(quint32(y) + 0x632be5abU)));
}

quint32 hash3(quint32 seed, qint32 x, qint32 y, qint32 z)
{
    return hash2(hash32(seed + quint32(z) * 0x85ebca6bU), x, y);
}

float ValueNoise::lattice(int ix, int iy, int octave) const
{
    if (m_period > 0) {
        const int p = m_period << octave;
        ix = ((ix % p) + p) % p;
        iy = ((iy % p) + p) % p;
    }
    return unit(hash3(m_seed, ix, iy, octave)) * 2.0f - 1.0f;
}

static inline float smooth(float t) { return t * t * (3.0f - 2.0f * t); }

float ValueNoise::at(float x, float y) const
{
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const float tx = smooth(x - fx), ty = smooth(y - fy);
    const float a = lattice(ix, iy, 0), b = lattice(ix + 1, iy, 0);
    const float c = lattice(ix, iy + 1, 0), d = lattice(ix + 1, iy + 1, 0);
    const float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float ValueNoise::fbm(float x, float y, int octaves) const
{
    float sum = 0.0f, amplitude = 1.0f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const float fx = std::floor(x), fy = std::floor(y);
        const int ix = int(fx), iy = int(fy);
        const float tx = smooth(x - fx), ty = smooth(y - fy);
        const float a = lattice(ix, iy, o), b = lattice(ix + 1, iy, o);
        const float c = lattice(ix, iy + 1, o), d = lattice(ix + 1, iy + 1, o);
        const float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
        sum += (top + (bottom - top) * ty) * amplitude;
        norm += amplitude;
        amplitude *= 0.5f;
        x *= 2.0f;
        y *= 2.0f;
    }
    return sum / norm * 1.6f;
}

} // namespace sampleworld

namespace sampleworld {

TableNoise::TableNoise(quint32 seed) : m_table(size_t(Size) * Size)
{
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            m_table[size_t(y * Size + x)] = unit(hash2(seed, x, y)) * 2.0f - 1.0f;
}

float TableNoise::fbm(float x, float y, int octaves) const
{
    float sum = 0.0f, amplitude = 1.0f, norm = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const float fx = std::floor(x), fy = std::floor(y);
        const int ix = int(fx) + o * 263, iy = int(fy) + o * 541;
        const float tx = smooth(x - fx), ty = smooth(y - fy);
        const int x0 = ix & (Size - 1), x1 = (ix + 1) & (Size - 1);
        const float *row0 = &m_table[size_t((iy & (Size - 1)) * Size)];
        const float *row1 = &m_table[size_t(((iy + 1) & (Size - 1)) * Size)];
        const float top = row0[x0] + (row0[x1] - row0[x0]) * tx;
        const float bottom = row1[x0] + (row1[x1] - row1[x0]) * tx;
        sum += (top + (bottom - top) * ty) * amplitude;
        norm += amplitude;
        amplitude *= 0.5f;
        x *= 2.0f;
        y *= 2.0f;
    }
    return sum / norm * 1.6f;
}

} // namespace sampleworld
