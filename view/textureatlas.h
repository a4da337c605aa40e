#pragma once
#include <QImage>
#include <QOpenGLFunctions_1_1>

#include <vector>

// Large textures ("pages") that hold many small tile images, so a frame binds a page or
// two instead of one texture per tile.
//
// An image goes in exactly as it would be uploaded as a texture of its own, and samples
// the same: every entry is surrounded by a border of Pad texels copied from its opposite
// edges, which is what a lone texture with the default GL_REPEAT wrap shows at its edges
// under GL_LINEAR filtering. Each page also keeps a white patch at its origin: untextured
// drawing samples it, so it can share a page's run of draw calls.
class TextureAtlas
{
public:
    static constexpr int PageSide = 2048;
    static constexpr int Pad = 2;
    static constexpr int WhiteSide = 4;

    // Where an image lives: its page and its texture-coordinate rectangle, s from u0 to u1,
    // t from v0 (the image's bottom row) to v1 (its top row).
    struct Entry {
        GLuint texture = 0;
        float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
        bool isNull() const { return texture == 0; }
        float u(float s) const { return u0 + s * (u1 - u0); }
        float v(float t) const { return v0 + t * (v1 - v0); }
    };

    // Texture coordinates of the white patch, the same on every page.
    static float whiteU() { return float(WhiteSide / 2) / PageSide; }
    static float whiteV() { return float(WhiteSide / 2) / PageSide; }

    void setFunctions(QOpenGLFunctions_1_1 *gl) { m_gl = gl; }

    // Adds an image already in GL form (RGBA8888, rows bottom first, at most 256 a side);
    // a null image gives a null entry.
    Entry add(const QImage &glImage);

    // The image bordered by Pad texels taken cyclically from its opposite edges.
    static QImage padded(const QImage &glImage);

    // Deletes every page (one glDeleteTextures per page).
    void clear();
    int pageCount() const { return int(m_pages.size()); }
    int entryCount() const { return m_entries; }

private:
    struct Shelf {
        int y = 0;
        int height = 0;
        int x = 0;
    };
    struct Page {
        GLuint texture = 0;
        std::vector<Shelf> shelves;
        int top = 0; // first free row above the shelves
    };

    bool place(Page &page, int w, int h, int &x, int &y);
    Page &newPage();

    QOpenGLFunctions_1_1 *m_gl = nullptr;
    std::vector<Page> m_pages;
    int m_entries = 0;
};
