#pragma once
#include <QtGlobal>
#include <vector>

namespace sampleworld {

// Integer hashes: the only source of randomness, so every output is a pure
// function of the seed and the coordinates.
quint32 hash32(quint32 a);
quint32 hash2(quint32 seed, qint32 x, qint32 y);
quint32 hash3(quint32 seed, qint32 x, qint32 y, qint32 z);
// Uniform in [0, 1).
inline float unit(quint32 h) { return float(h >> 8) * (1.0f / 16777216.0f); }

// Value noise on an integer lattice with smoothstep interpolation. A non-zero
// period wraps the lattice, which makes textures tile seamlessly.
class ValueNoise {
public:
    explicit ValueNoise(quint32 seed, int period = 0) : m_seed(seed), m_period(period) {}

    // In [-1, 1].
    float at(float x, float y) const;
    // Fractal sum of octaves, each at twice the frequency and half the amplitude;
    // normalised to about [-1, 1].
    float fbm(float x, float y, int octaves) const;

private:
    float lattice(int ix, int iy, int octave) const;

    quint32 m_seed;
    int m_period;
};

} // namespace sampleworld

namespace sampleworld {

// Value noise for the maps: the same idea as ValueNoise, but the lattice comes from a
// precomputed table instead of hashing, because the largest map asks for a few hundred
// million samples. The table repeats every 1024 lattice cells, far beyond the size of
// any map at the frequencies used; each octave reads it at its own offset.
class TableNoise {
public:
    explicit TableNoise(quint32 seed);
    float fbm(float x, float y, int octaves) const;

private:
    static constexpr int Size = 1024;
    std::vector<float> m_table;
};

} // namespace sampleworld
