#include "view/drawlist.h"

#include <algorithm>

void DrawList::clear()
{
    m_entries.clear();
    m_vertices.clear();
    m_indices.clear();
    m_batches.clear();
}

void DrawList::reserve(std::size_t entries)
{
    // After a zoom back in, give back what a far wider region needed.
    if (m_entries.capacity() > 2 * entries + 4096) {
        std::vector<Entry>().swap(m_entries);
        std::vector<Vertex>().swap(m_vertices);
        std::vector<quint32>().swap(m_indices);
        std::vector<Batch>().swap(m_batches);
    }
    m_entries.reserve(entries);
    m_vertices.reserve(entries * 4);
    m_indices.reserve(entries * 6);
}

void DrawList::add(const Entry &names, Shape shape, quint32 texture, const std::array<Vertex, 4> &corners)
{
    const quint32 base = quint32(m_vertices.size());
    Entry e = names;
    e.texture = texture;
    e.firstVertex = base;
    e.shape = shape;
    m_entries.push_back(e);
    m_vertices.insert(m_vertices.end(), corners.begin(), corners.end());

    const bool lines = shape == Outline;
    if (m_batches.empty() || m_batches.back().lines != lines
        || (texture != 0 && m_batches.back().texture != 0 && m_batches.back().texture != texture)) {
        m_batches.push_back(Batch{texture, lines, quint32(m_indices.size()), 0});
    } else if (texture != 0 && m_batches.back().texture == 0) {
        // The run so far was untextured; it can bind this item's page as well.
        m_batches.back().texture = texture;
    }

    switch (shape) {
    case Strip:
        m_indices.insert(m_indices.end(), {base, base + 1, base + 2, base + 1, base + 2, base + 3});
        m_batches.back().indexCount += 6;
        break;
    case Quad:
        m_indices.insert(m_indices.end(), {base, base + 1, base + 3, base + 1, base + 2, base + 3});
        m_batches.back().indexCount += 6;
        break;
    case Outline:
        m_indices.insert(m_indices.end(),
                         {base, base + 1, base + 1, base + 2, base + 2, base + 3, base + 3, base});
        m_batches.back().indexCount += 8;
        break;
    }
}

std::size_t DrawList::triangleCount() const
{
    std::size_t n = 0;
    for (const Entry &e : m_entries)
        n += e.shape == Outline ? 0 : 2;
    return n;
}

void DrawList::submit(QOpenGLFunctions_1_1 *gl) const { submitFrom(gl, 0, m_indices.size()); }

std::size_t DrawList::submitFrom(QOpenGLFunctions_1_1 *gl, std::size_t from, std::size_t count) const
{
    if (m_entries.empty() || from >= m_indices.size())
        return m_indices.size();
    const Vertex *v = m_vertices.data();
    gl->glEnableClientState(GL_VERTEX_ARRAY);
    gl->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl->glEnableClientState(GL_COLOR_ARRAY);
    gl->glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &v->x);
    gl->glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v->u);
    gl->glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &v->r);
    // The run holding `from`: runs lie one after the other in the index list.
    auto b = std::upper_bound(m_batches.begin(), m_batches.end(), from,
                              [](std::size_t at, const Batch &run) { return at < run.firstIndex; });
    --b;
    std::size_t at = from, left = count;
    quint32 bound = ~0u;
    for (; b != m_batches.end() && (left > 0 || at == from); ++b) {
        const std::size_t end = std::size_t(b->firstIndex) + b->indexCount;
        const std::size_t primitive = b->lines ? 8 : 6;
        std::size_t n = std::min(end - at, std::max(left, primitive));
        n -= n % primitive;
        if (n == 0)
            continue;
        if (b->texture != bound) {
            gl->glBindTexture(GL_TEXTURE_2D, b->texture);
            bound = b->texture;
        }
        gl->glDrawElements(b->lines ? GL_LINES : GL_TRIANGLES, GLsizei(n), GL_UNSIGNED_INT, m_indices.data() + at);
        at += n;
        left -= std::min(left, n);
        if (at < end)
            break;
    }
    gl->glDisableClientState(GL_COLOR_ARRAY);
    gl->glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl->glDisableClientState(GL_VERTEX_ARRAY);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    return at;
}

void DrawList::submitWithNames(QOpenGLFunctions_1_1 *gl) const
{
    static const int order[3][8] = {{0, 1, 2, 1, 2, 3}, {0, 1, 3, 1, 2, 3}, {0, 1, 1, 2, 2, 3, 3, 0}};
    bool open = false;
    qint32 cx = 0, cy = 0;
    for (const Entry &e : m_entries) {
        if (!open || e.x != cx || e.y != cy) {
            if (open) {
                gl->glPopName();
                gl->glPopName();
            }
            gl->glPushName(GLuint(e.x));
            gl->glPushName(GLuint(e.y));
            cx = e.x;
            cy = e.y;
            open = true;
        }
        const bool outline = e.shape == Outline;
        if (!outline) {
            gl->glPushName(GLuint(e.kind));
            gl->glPushName(GLuint(e.z));
            gl->glPushName(GLuint(e.id));
        }
        gl->glBindTexture(GL_TEXTURE_2D, e.texture);
        gl->glBegin(outline ? GL_LINES : GL_TRIANGLES);
        for (int i = 0; i < (outline ? 8 : 6); ++i) {
            const Vertex &v = m_vertices[e.firstVertex + order[e.shape][i]];
            gl->glColor4ub(v.r, v.g, v.b, v.a);
            gl->glTexCoord2f(v.u, v.v);
            gl->glVertex3f(v.x, v.y, v.z);
        }
        gl->glEnd();
        if (!outline) {
            gl->glPopName();
            gl->glPopName();
            gl->glPopName();
        }
    }
    if (open) {
        gl->glPopName();
        gl->glPopName();
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
}
