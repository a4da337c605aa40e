#pragma once
#include <QtGlobal>
#include <QOpenGLFunctions_1_1>

#include <array>
#include <vector>

// What one frame draws, in drawing order. The region walk appends every tile it draws as an
// item: four corners with texture coordinates and a colour, the texture (atlas page) it
// samples, and the names picking sees it under. Since the depth test is off, the order of
// the items alone decides what covers what; submit() keeps that order while handing the
// items to GL in a few vertex-array calls (one per run of items that share texture and
// primitive), instead of one begin/end, bind and flush per tile.
//
// Picking replays the same list: every item keeps the names it is drawn under
// (x, y, kind, z, id), so a selection-mode replay or a CPU test sees exactly what the
// last walk produced.
class DrawList
{
public:
    // Kind names of the items, as picking reads them.
    enum Kind : qint32 { Land = 0, Static = 1, AltitudeLabel = 3, Item = 5, GridOutline = -1 };

    // How the four corners are joined.
    enum Shape : quint8 {
        Strip,   // land: triangles (0,1,2) and (1,2,3), bent along the 1-2 diagonal
        Quad,    // corners in order round the outline: triangles (0,1,3) and (1,2,3)
        Outline, // the outline 0-1-2-3-0 as lines
    };

    struct Vertex {
        float x, y, z;
        float u, v;
        quint8 r, g, b, a;
    };

    struct Entry {
        qint32 x = 0;      // cell
        qint32 y = 0;
        qint32 kind = 0;   // Kind; a grid outline carries only the two cell names
        qint32 z = 0;
        qint32 id = 0;
        quint32 texture = 0; // GL texture name, 0 for none
        quint32 firstVertex = 0; // four vertices from here
        Shape shape = Quad;
    };

    // A run of consecutive entries drawn with one call.
    struct Batch {
        quint32 texture = 0;
        bool lines = false;
        quint32 firstIndex = 0;
        quint32 indexCount = 0;
    };

    void clear();
    // Room for this many entries; memory far beyond it (kept from a larger list) is freed.
    void reserve(std::size_t entries);

    // Appends an item. texture 0 means "any": an untextured item samples a white texel
    // every atlas page keeps at the same place, so it joins the current run whatever page
    // that run binds.
    void add(const Entry &names, Shape shape, quint32 texture, const std::array<Vertex, 4> &corners);

    const std::vector<Entry> &entries() const { return m_entries; }
    const std::vector<Vertex> &vertices() const { return m_vertices; }
    const std::vector<quint32> &indices() const { return m_indices; }
    const std::vector<Batch> &batches() const { return m_batches; }
    std::size_t size() const { return m_entries.size(); }
    std::size_t capacity() const { return m_entries.capacity(); }
    bool isEmpty() const { return m_entries.empty(); }
    // Triangles the list draws (two per textured or coloured item).
    std::size_t triangleCount() const;

    // Draws the list. Leaves vertex arrays disabled and texture 0 bound; the current colour
    // afterwards is undefined, callers restore their own.
    void submit(QOpenGLFunctions_1_1 *gl) const;
    // Draws the part of the list from index position `from` on: about `count` indices, cut
    // at whole triangles or lines (at least one), in the order submit draws them. Returns
    // where the next part starts; indices().size() once the list is drawn.
    std::size_t submitFrom(QOpenGLFunctions_1_1 *gl, std::size_t from, std::size_t count) const;

    // Draws the list one item at a time with its names on the name stack (x, y, then kind,
    // z, id; outlines only x and y), in the same order: the replay picking runs in
    // selection mode.
    void submitWithNames(QOpenGLFunctions_1_1 *gl) const;

private:
    std::vector<Entry> m_entries;
    std::vector<Vertex> m_vertices;
    std::vector<quint32> m_indices;
    std::vector<Batch> m_batches;
};
