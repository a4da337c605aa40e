#include "view/textureatlas.h"

#include <cstring>

QImage TextureAtlas::padded(const QImage &glImage)
{
    const QImage src = glImage.format() == QImage::Format_RGBA8888
        ? glImage
        : glImage.convertToFormat(QImage::Format_RGBA8888);
    const int w = src.width();
    const int h = src.height();
    QImage out(w + 2 * Pad, h + 2 * Pad, QImage::Format_RGBA8888);
    for (int y = 0; y < out.height(); ++y) {
        const int sy = ((y - Pad) % h + h) % h;
        const quint32 *in = reinterpret_cast<const quint32 *>(src.constScanLine(sy));
        quint32 *line = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < Pad; ++x)
            line[x] = in[((x - Pad) % w + w) % w];
        std::memcpy(line + Pad, in, size_t(w) * 4);
        for (int x = 0; x < Pad; ++x)
            line[Pad + w + x] = in[x % w];
    }
    return out;
}

TextureAtlas::Page &TextureAtlas::newPage()
{
    Page page;
    m_gl->glGenTextures(1, &page.texture);
    m_gl->glBindTexture(GL_TEXTURE_2D, page.texture);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, PageSide, PageSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    QImage white(WhiteSide, WhiteSide, QImage::Format_RGBA8888);
    white.fill(Qt::white);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, WhiteSide, WhiteSide, GL_RGBA, GL_UNSIGNED_BYTE,
                          white.constBits());
    page.shelves.push_back(Shelf{0, WhiteSide, WhiteSide});
    page.top = WhiteSide;
    m_pages.push_back(std::move(page));
    return m_pages.back();
}

bool TextureAtlas::place(Page &page, int w, int h, int &x, int &y)
{
    // Shelves as tall as the entry, or a little taller, take it first; then a new shelf.
    for (Shelf &s : page.shelves) {
        if (s.height >= h && s.height <= h + h / 2 && s.x + w <= PageSide) {
            x = s.x;
            y = s.y;
            s.x += w;
            return true;
        }
    }
    if (page.top + h <= PageSide) {
        page.shelves.push_back(Shelf{page.top, h, w});
        x = 0;
        y = page.top;
        page.top += h;
        return true;
    }
    for (Shelf &s : page.shelves) {
        if (s.height >= h && s.x + w <= PageSide) {
            x = s.x;
            y = s.y;
            s.x += w;
            return true;
        }
    }
    return false;
}

TextureAtlas::Entry TextureAtlas::add(const QImage &glImage)
{
    if (glImage.isNull() || !m_gl)
        return {};
    const QImage img = padded(glImage);
    int x = 0, y = 0;
    Page *page = nullptr;
    for (Page &p : m_pages) {
        if (place(p, img.width(), img.height(), x, y)) {
            page = &p;
            break;
        }
    }
    if (!page) {
        page = &newPage();
        if (!place(*page, img.width(), img.height(), x, y))
            return {};
    }
    m_gl->glBindTexture(GL_TEXTURE_2D, page->texture);
    m_gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_gl->glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, img.width(), img.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                          img.constBits());
    ++m_entries;
    Entry e;
    e.texture = page->texture;
    e.u0 = float(x + Pad) / PageSide;
    e.v0 = float(y + Pad) / PageSide;
    e.u1 = float(x + Pad + glImage.width()) / PageSide;
    e.v1 = float(y + Pad + glImage.height()) / PageSide;
    return e;
}

void TextureAtlas::clear()
{
    for (Page &p : m_pages) {
        if (m_gl)
            m_gl->glDeleteTextures(1, &p.texture);
    }
    m_pages.clear();
    m_entries = 0;
}
