#include "view/overviewlayer.h"
#include "world/facet.h"
#include "world/mapdocument.h"

#include <GL/gl.h>

#include <QElapsedTimer>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <cmath>

#ifndef GL_UNSIGNED_SHORT_1_5_5_5_REV
#define GL_UNSIGNED_SHORT_1_5_5_5_REV 0x8366
#endif
#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

OverviewLayer::OverviewLayer(MapDocument &doc, QObject *parent) : QObject(parent), m_doc(doc)
{
    connect(&m_doc, &MapDocument::blocksChanged, this, &OverviewLayer::blocksChanged);
    m_step.setSingleShot(true);
    m_step.setInterval(0);
    connect(&m_step, &QTimer::timeout, this, [this] {
        if (buildStep())
            scheduleStep();
    });
}

OverviewLayer::~OverviewLayer() = default;

OverviewColours &OverviewLayer::colours()
{
    if (!m_colours)
        m_colours = std::make_unique<OverviewColours>();
    return *m_colours;
}

bool OverviewLayer::isBuilt(int facet) const
{
    return facet >= 0 && facet < int(m_images.size()) && m_images[size_t(facet)]
        && m_images[size_t(facet)]->isComplete();
}

const OverviewImage &OverviewLayer::image()
{
    return image(m_doc.currentFacet());
}

const OverviewImage &OverviewLayer::image(int facet)
{
    const OverviewImage &img = imageSoFar(facet);
    if (!img.isNull() && !img.isComplete()) {
        while (buildStep(1e9)) {
        }
    }
    return img;
}

const OverviewImage &OverviewLayer::imageSoFar(int facet)
{
    if (facet < 0 || facet >= int(m_images.size()))
        return m_empty;
    std::unique_ptr<OverviewImage> &slot = m_images[size_t(facet)];
    if (!slot) {
        slot = std::make_unique<OverviewImage>();
        slot->begin(m_doc.facet(facet));
    }
    if (!slot->isNull() && !slot->isComplete()) {
        m_wanted = facet;
        scheduleStep();
    }
    return *slot;
}

void OverviewLayer::scheduleStep()
{
    if (!m_step.isActive())
        m_step.start();
}

void OverviewLayer::setFocus(int x, int y)
{
    m_focusX = x;
    m_focusY = y;
}

bool OverviewLayer::buildStep(double budgetMs)
{
    if (m_wanted < 0 || !m_images[size_t(m_wanted)])
        return false;
    const int facet = m_wanted;
    OverviewImage &img = *m_images[size_t(facet)];
    if (img.isNull() || img.isComplete())
        return false;
    QElapsedTimer timer;
    timer.start();
    BlockCache *cache = facet == m_doc.currentFacet() ? &m_doc.cache() : nullptr;
    Facet &f = m_doc.facet(facet);
    const int fx = m_focusX >= 0 ? m_focusX : img.width() / 2, fy = m_focusY >= 0 ? m_focusY : img.height() / 2;
    // The pieces of the texture nearest the focus first, so that whole textures are ready
    // soonest; within one, in order.
    constexpr int perTile = TileCells / OverviewImage::PieceCells;
    std::vector<std::pair<double, int>> order;
    for (int py = 0; py < img.piecesY(); ++py)
        for (int px = 0; px < img.piecesX(); ++px) {
            if (img.pieceBuilt(px, py))
                continue;
            const double tx = (px / perTile + 0.5) * TileCells - fx, ty = (py / perTile + 0.5) * TileCells - fy;
            order.emplace_back(tx * tx + ty * ty, py * img.piecesX() + px);
        }
    std::sort(order.begin(), order.end());
    QRect built;
    for (const auto &o : order) {
        if (!built.isEmpty() && timer.nsecsElapsed() / 1e6 >= budgetMs)
            break;
        const QRect piece = img.buildPiece(f, m_doc.tileData(), colours(), cache, o.second % img.piecesX(),
                                           o.second / img.piecesX());
        // Each piece's own textures: the pieces of one step lie far apart once the ones near
        // the focus are built, and the box around them all would take every finished
        // texture between them to be uploaded again.
        if (facet == m_textureFacet && !piece.isEmpty())
            markStale(piece);
        built |= piece;
    }
    m_longestStep = std::max(m_longestStep, timer.nsecsElapsed() / 1e6);
    if (!built.isEmpty())
        emit imageChanged(facet, built);
    return !img.isComplete();
}

void OverviewLayer::markStale(const QRect &cells)
{
    for (int ty = cells.top() / TileCells; ty <= cells.bottom() / TileCells && ty < m_tilesY; ++ty)
        for (int tx = cells.left() / TileCells; tx <= cells.right() / TileCells && tx < m_tilesX; ++tx)
            m_textures[size_t(ty * m_tilesX + tx)].stale = true;
    // Heights may have changed: the meshes over these cells, and those of the textures to
    // the left and above, whose last corners stand on the first cells of these.
    const QRect corners = cells.adjusted(-1, -1, 0, 0);
    for (int ty = std::max(0, corners.top()) / TileCells; ty <= corners.bottom() / TileCells && ty < m_tilesY; ++ty)
        for (int tx = std::max(0, corners.left()) / TileCells; tx <= corners.right() / TileCells && tx < m_tilesX;
             ++tx)
            m_meshes[size_t(ty * m_tilesX + tx)].valid = false;
}

bool OverviewLayer::tileComplete(const OverviewImage &img, int tx, int ty) const
{
    constexpr int perTile = TileCells / OverviewImage::PieceCells;
    for (int py = ty * perTile; py < std::min(img.piecesY(), (ty + 1) * perTile); ++py)
        for (int px = tx * perTile; px < std::min(img.piecesX(), (tx + 1) * perTile); ++px)
            if (!img.pieceBuilt(px, py))
                return false;
    return true;
}

void OverviewLayer::blocksChanged(int facet, const QList<int> &blocks)
{
    if (facet < 0 || facet >= int(m_images.size()) || !m_images[size_t(facet)])
        return;
    if (facet != m_doc.currentFacet()) {
        // Only the current facet's blocks can be read back from the cache: another facet's
        // image is built anew when it is next asked for.
        m_images[size_t(facet)].reset();
        if (facet == m_textureFacet)
        {
            for (Texture &t : m_textures)
                t.stale = true;
            for (Mesh &m : m_meshes)
                m.valid = false;
        }
        return;
    }
    // Blocks of pieces not built yet are coloured now too; their piece takes them from the
    // cache again when it is built.
    const QRect cells = m_images[size_t(facet)]->update(m_doc.cache(), blocks, colours());
    if (cells.isEmpty())
        return;
    if (facet == m_textureFacet)
        markStale(cells);
    emit imageChanged(facet, cells);
}

std::array<QPointF, 4> OverviewLayer::footprint(const mapgeometry::ViewSpec &view, int cx, int cy)
{
    std::array<QPointF, 4> out;
    const double s = view.scale > 0 ? view.scale : 1.0;
    const double hw = view.width / 2.0, hh = view.height / 2.0;
    const double theta = -view.degree * M_PI / 180.0;
    const double c = std::cos(theta), sn = std::sin(theta);
    // Window corners, y upwards as the scene has it.
    const QPointF corners[4] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
    for (int i = 0; i < 4; ++i) {
        const double wx = corners[i].x() / s, wy = corners[i].y() / s;
        const double X = wx * c - wy * sn, Y = wx * sn + wy * c;
        // The inverse of cellOffset: X = 22 (dx - dy), Y = -22 (dx + dy).
        out[size_t(i)] = QPointF(cx + (X - Y) / 44.0, cy + (-X - Y) / 44.0);
    }
    return out;
}

int OverviewLayer::textureCount() const
{
    return int(std::count_if(m_textures.begin(), m_textures.end(), [](const Texture &t) { return t.name != 0; }));
}

void OverviewLayer::clearTextures(QOpenGLFunctions_1_1 *gl)
{
    for (Texture &t : m_textures) {
        if (t.name && gl)
            gl->glDeleteTextures(1, &t.name);
    }
    m_textures.clear();
    m_meshes.clear();
    m_textureFacet = -1;
    m_tilesX = m_tilesY = 0;
}

void OverviewLayer::releaseTextures(QOpenGLFunctions_1_1 *gl)
{
    clearTextures(gl);
    std::vector<Texture>().swap(m_textures);
    std::vector<Mesh>().swap(m_meshes);
    std::vector<quint16>().swap(m_upload);
    std::vector<quint32>().swap(m_sums);
    m_uploadsPending = false;
#ifdef __GLIBC__
    // What the driver and the meshes freed lies amid the heap, where the C library keeps it
    // for this process unless told to give it back.
    malloc_trim(0);
#endif
}

int OverviewLayer::coarseStep(double scale)
{
    int step = 2;
    while (step < TileCells && step * 44.0 * scale < 14.0)
        step *= 2;
    return step;
}

int OverviewLayer::meshStep(const mapgeometry::ViewSpec &view)
{
    if (view.mode == mapgeometry::Flat)
        return TileCells;
    // One square per cell just below the detail scale, where the walked frame takes over,
    // while a cell is 3.5 pixels wide or more (around the centre only, see draw); farther
    // out squares about 14 pixels wide or more, for the land's relief needs no finer and
    // each square costs the frame.
    if (44.0 * view.scale >= 3.5)
        return 1;
    return coarseStep(view.scale);
}

int OverviewLayer::draw(QOpenGLFunctions_1_1 *gl, const mapgeometry::ViewSpec &view, int cx, int cy)
{
    const int facet = m_doc.currentFacet();
    setFocus(cx, cy);
    const OverviewImage &img = imageSoFar(facet);
    m_lastDrawn = 0;
    m_lastTriangles = 0;
    m_uploadsPending = false;
    m_drewWhole = false;
    if (img.isNull())
        return 0;
    if (facet != m_textureFacet || m_tilesX != (img.width() + TileCells - 1) / TileCells
        || m_tilesY != (img.height() + TileCells - 1) / TileCells) {
        clearTextures(gl);
        m_textureFacet = facet;
        m_tilesX = (img.width() + TileCells - 1) / TileCells;
        m_tilesY = (img.height() + TileCells - 1) / TileCells;
        m_textures.assign(size_t(m_tilesX) * size_t(m_tilesY), Texture{});
        m_meshes.assign(m_textures.size(), Mesh{});
    }

    // The ground the window can show, in cells (x, y as real numbers): the walk's own plan,
    // which reaches as far as lifted land can, and its box.
    const mapgeometry::WalkPlan plan = mapgeometry::walkPlan(view);
    std::vector<mapgeometry::PointF> ground;
    for (const mapgeometry::PointF &p : plan.polygon)
        ground.push_back({(p.x - p.y) / 44.0 + cx, (-p.x - p.y) / 44.0 + cy}); // the inverse of cellOffset
    if (ground.size() < 3) {
        m_drewWhole = true; // nothing of the facet to show
        return 0;
    }
    double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18, area = 0;
    for (size_t i = 0; i < ground.size(); ++i) {
        const mapgeometry::PointF &p = ground[i], &q = ground[(i + 1) % ground.size()];
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
        area += p.x * q.y - q.x * p.y;
    }
    // Coarser when the ground seen is so large (3D looking along it) that the squares would
    // be too many.
    int step = meshStep(view);
    const double cells = std::min(std::abs(area) / 2, (std::min(x1, double(img.width())) - std::max(x0, 0.0))
                                                          * (std::min(y1, double(img.height())) - std::max(y0, 0.0)));
    constexpr double MaxSquares = 400000;
    while (step < TileCells && cells / (double(step) * step) > MaxSquares)
        step *= 2;
    const bool lifted = view.mode != mapgeometry::Flat;
    const bool depthAxis = view.mode == mapgeometry::ThreeD;
    // Lifted at one cell a square, the land stands at each cell's own height around the
    // centre, where the eye compares it with the walked frame; farther out squares of two.
    QRect fine;
    if (lifted && step == 1) {
        // The fine part a square of whole coarse squares, an eighth of the ground seen
        // across: the rest of the ground costs the frame far less at the coarse step.
        step = coarseStep(view.scale);
        const int half = std::max(step, int(std::max(x1 - x0, y1 - y0) / 16) / step * step);
        const auto down = [step](int v) { return v - (((v % step) + step) % step); };
        fine = QRect(down(cx - half), down(cy - half), 2 * half, 2 * half);
    }
    // Room kept around the ground seen, so that a mesh made for one frame serves the
    // next ones while the view moves a little.
    const double margin = std::max(2.0 * step, std::max(x1 - x0, y1 - y0) / 32);

    gl->glColor4f(1, 1, 1, 1);
    gl->glDisableClientState(GL_COLOR_ARRAY);
    gl->glEnableClientState(GL_VERTEX_ARRAY);
    gl->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    if (depthAxis) {
        gl->glEnable(GL_DEPTH_TEST);
        gl->glDepthFunc(GL_LEQUAL);
    }
    // The textures the ground seen needs, whole ones only (the rest stays dark until its
    // cells are built). Those to make or refresh are uploaded nearest the centre first, as
    // many as UploadBudgetMs allows (at least MinUploads): a jump far out, or the way back
    // after releaseTextures, fills the window over a few frames instead of stalling one.
    // A stale texture is drawn as it was until its turn comes.
    m_seen.clear();
    m_toUpload.clear();
    m_drewWhole = true;
    for (int ty = 0; ty < m_tilesY; ++ty) {
        for (int tx = 0; tx < m_tilesX; ++tx) {
            const int cx0 = tx * TileCells, cy0 = ty * TileCells;
            const int w = std::min(TileCells, img.width() - cx0), h = std::min(TileCells, img.height() - cy0);
            if (cx0 + w < x0 || cx0 > x1 || cy0 + h < y0 || cy0 > y1)
                continue;
            if (!tileComplete(img, tx, ty)) {
                m_drewWhole = false;
                continue;
            }
            const int t = ty * m_tilesX + tx;
            m_seen.push_back(t);
            const Texture &tex = m_textures[size_t(t)];
            if (tex.name == 0 || tex.stale) {
                const double dx = cx0 + w / 2.0 - cx, dy = cy0 + h / 2.0 - cy;
                m_toUpload.emplace_back(dx * dx + dy * dy, t);
            }
        }
    }
    std::sort(m_toUpload.begin(), m_toUpload.end());
    QElapsedTimer uploading;
    uploading.start();
    int uploads = 0;
    m_uploadsPending = false;
    for (const auto &u : m_toUpload) {
        if (uploads >= MinUploads && uploading.nsecsElapsed() / 1e6 >= UploadBudgetMs) {
            m_uploadsPending = true;
            break;
        }
        upload(gl, img, u.second % m_tilesX, u.second / m_tilesX);
        ++uploads;
    }
    m_uploads += uploads;

    int drawn = 0;
    for (const int t : m_seen) {
        const int tx = t % m_tilesX, ty = t / m_tilesX;
        const int cx0 = tx * TileCells, cy0 = ty * TileCells;
        {
            const Texture &tex = m_textures[size_t(t)];
            if (tex.name == 0)
                continue; // its turn to be uploaded comes in a later frame
            gl->glBindTexture(GL_TEXTURE_2D, tex.name);

            const Mesh &mesh = meshFor(size_t(ty * m_tilesX + tx), tx, ty, step, view.mode, ground, margin, fine,
                                       cx, cy);
            if (mesh.indices.empty())
                continue;
            // The mesh lies around the texture's first cell; moved to where that cell is
            // from the centre (whole scene units, so every corner lands where it would
            // have been drawn around the centre itself).
            const int ox = cx0 - cx, oy = cy0 - cy;
            gl->glPushMatrix();
            gl->glTranslatef(float((ox - oy) * 22), float(-(ox + oy) * 22), 0.0f);
            gl->glVertexPointer(3, GL_FLOAT, 5 * sizeof(float), mesh.vertices.data());
            gl->glTexCoordPointer(2, GL_FLOAT, 5 * sizeof(float), mesh.vertices.data() + 3);
            gl->glDrawElements(GL_TRIANGLES, GLsizei(mesh.indices.size()), GL_UNSIGNED_INT, mesh.indices.data());
            gl->glPopMatrix();
            ++drawn;
            m_lastTriangles += qint64(mesh.indices.size() / 3);
        }
    }
    if (depthAxis)
        gl->glDisable(GL_DEPTH_TEST);
    gl->glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl->glDisableClientState(GL_VERTEX_ARRAY);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    m_lastDrawn = drawn;
    return drawn;
}

void OverviewLayer::upload(QOpenGLFunctions_1_1 *gl, const OverviewImage &img, int tx, int ty)
{
    Texture &t = m_textures[size_t(ty * m_tilesX + tx)];
    const int cx0 = tx * TileCells, cy0 = ty * TileCells;
    const int w = std::min(TileCells, img.width() - cx0), h = std::min(TileCells, img.height() - cy0);
    const bool fresh = t.name == 0;
    if (fresh) {
        gl->glGenTextures(1, &t.name);
        gl->glBindTexture(GL_TEXTURE_2D, t.name);
        // Far out a pixel spans many cells: it shows their mean from the pyramid's level
        // nearest its size, instead of one cell picked apart from its neighbours.
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        // To the edge: plain clamping would blend the border's black into a dark line
        // along every seam between textures.
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    } else {
        gl->glBindTexture(GL_TEXTURE_2D, t.name);
    }
    // Whole tiles of the image's 5-5-5 cells, the top bit set: the texture is stored as
    // 1-5-5-5 exactly as uploaded (no conversion in the driver) and every cell is opaque.
    // The padding of an edge tile repeats the last column and row, so that the coarser
    // levels do not darken the facet's edge.
    m_upload.resize(size_t(TileCells) * TileCells);
    for (int r = 0; r < TileCells; ++r) {
        const quint16 *line = reinterpret_cast<const quint16 *>(img.image().constScanLine(cy0 + std::min(r, h - 1))) + cx0;
        quint16 *to = m_upload.data() + qsizetype(r) * TileCells;
        for (int i = 0; i < w; ++i)
            to[i] = line[i] | 0x8000;
        std::fill(to + w, to + TileCells, quint16(line[w - 1] | 0x8000));
    }
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    // Each level of the pyramid holds the mean of the cells each of its texels stands for,
    // channel by channel, rounded once from their sums (kept per channel, four cells of the
    // level below adding up to one of the next).
    m_sums.resize(size_t(3) * TileCells * TileCells);
    for (size_t i = 0; i < m_upload.size(); ++i)
        for (int k = 0; k < 3; ++k)
            m_sums[3 * i + size_t(k)] = (m_upload[i] >> (5 * k)) & 31;
    for (int n = TileCells, l = 0; n >= 1; n /= 2, ++l) {
        if (l > 0) {
            const int m = n * 2;
            const quint32 area = quint32(1) << (2 * l);
            for (int y = 0; y < n; ++y) {
                for (int x = 0; x < n; ++x) {
                    // In place: texel (x, y) of this level is written after every texel it
                    // reads of the one below, which lie at or after it in the array.
                    const size_t a = 3 * (size_t(2 * y) * m + 2 * x), c = a + 3 * size_t(m), to = 3 * (size_t(y) * n + x);
                    quint16 texel = 0x8000;
                    for (int k = 0; k < 3; ++k) {
                        const quint32 sum = m_sums[a + k] + m_sums[a + 3 + k] + m_sums[c + k] + m_sums[c + 3 + k];
                        m_sums[to + k] = sum;
                        texel |= quint16(((sum + area / 2) / area) << (5 * k));
                    }
                    m_upload[size_t(y) * n + x] = texel;
                }
            }
        }
        if (fresh)
            gl->glTexImage2D(GL_TEXTURE_2D, l, GL_RGB5_A1, n, n, 0, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,
                             m_upload.data());
        else
            gl->glTexSubImage2D(GL_TEXTURE_2D, l, 0, 0, n, n, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,
                                m_upload.data());
    }
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    t.stale = false;
}

const OverviewLayer::Mesh &OverviewLayer::meshFor(size_t t, int tx, int ty, int step, int mode,
                                                  const std::vector<mapgeometry::PointF> &ground, double margin,
                                                  const QRect &fine, int cx, int cy)
{
    const OverviewImage &img = *m_images[size_t(m_textureFacet)];
    const int cx0 = tx * TileCells, cy0 = ty * TileCells;
    const int w = std::min(TileCells, img.width() - cx0), h = std::min(TileCells, img.height() - cy0);
    // Each row's cells the ground seen needs, whole squares of s cells.
    const auto span = [&](int s, int gy, double grow, int &ga, int &gb) {
        const int gy1 = std::min(gy + s, cy0 + h);
        double xa = 0, xb = 0;
        ga = gb = 0;
        if (!mapgeometry::polygonSpan(ground, gy - grow, gy1 + grow, xa, xb))
            return;
        ga = std::max(cx0, cx0 + int(std::floor((xa - grow - cx0) / s)) * s);
        gb = std::min(cx0 + w, cx0 + int(std::ceil((xb + grow - cx0) / s)) * s);
        if (ga >= gb)
            ga = gb = 0;
    };
    Mesh &mesh = m_meshes[t];
    m_wantedSpans.clear();
    for (int gy = cy0; gy < cy0 + h; gy += step) {
        int ga = 0, gb = 0;
        span(step, gy, 0, ga, gb);
        m_wantedSpans.insert(m_wantedSpans.end(), {ga, gb});
    }
    // The fine part serves while the centre stays in its middle half.
    const bool fineKept = fine.isEmpty() == mesh.fine.isEmpty()
        && (fine.isEmpty()
            || (std::abs(2 * cx - (mesh.fine.left() + mesh.fine.right() + 1)) <= mesh.fine.width() / 2
                && std::abs(2 * cy - (mesh.fine.top() + mesh.fine.bottom() + 1)) <= mesh.fine.height() / 2));
    if (mesh.valid && mesh.step == step && mesh.mode == mode && fineKept
        && mesh.spans.size() == m_wantedSpans.size()) {
        bool inside = true;
        for (size_t i = 0; i < m_wantedSpans.size() && inside; i += 2)
            inside = m_wantedSpans[i] == m_wantedSpans[i + 1]
                || (mesh.spans[i] <= m_wantedSpans[i] && m_wantedSpans[i + 1] <= mesh.spans[i + 1]);
        if (inside)
            return mesh;
    }

    // Rows of squares step cells wide, each cut to the ground seen and the room around
    // it. A corner of the mesh at cell corner (x, y) stands where the walked frame puts the
    // top corner of cell (x, y): lifted by its land's height on the screen (isometric) or
    // along the depth axis (3D).
    const bool lifted = mode != mapgeometry::Flat;
    const bool depthAxis = mode == mapgeometry::ThreeD;
    mesh.valid = true;
    mesh.step = step;
    mesh.mode = mode;
    mesh.fine = fine;
    mesh.spans.clear();
    mesh.vertices.clear();
    mesh.indices.clear();
    // Cells of the fine part [fx0, fx1) x [fy0, fy1), in whole squares of the coarse step.
    const int fx0 = fine.left(), fx1 = fine.right() + 1, fy0 = fine.top(), fy1 = fine.bottom() + 1;
    const auto vertex = [&](int gx, int gy, int z) {
        const int dx = gx - cx0, dy = gy - cy0;
        mesh.vertices.insert(mesh.vertices.end(), {float((dx - dy) * 22), float(-(dx + dy) * 22 + (depthAxis ? 0 : z)),
                                                   float(depthAxis ? z : 0), float(dx) / TileCells,
                                                   float(dy) / TileCells});
    };
    // One grid of squares s cells wide over rows [ylo, yhi) and cells [xlo, xhi), its
    // squares inside the fine part left out when skipFine.
    const auto grid = [&](int s, int ylo, int yhi, int xlo, int xhi, bool skipFine, std::vector<int> &spans) {
        spans.clear();
        for (int gy = ylo; gy < yhi; gy += s) {
            // The fine rows reach as far as the coarse row they lie in, whose squares they
            // stand for.
            int ga = 0, gb = 0;
            span(step, cy0 + (gy - cy0) / step * step, margin, ga, gb);
            ga = std::max(ga, xlo);
            gb = std::min(gb, xhi);
            if (ga >= gb)
                ga = gb = 0;
            spans.insert(spans.end(), {ga, gb});
        }
        // Squares of neighbouring rows share their corners: each line of corners reaches as
        // far as the rows on either side of it, corner k at cell x0 + k s (the last one at
        // the texture's edge).
        const int rows = int(spans.size() / 2);
        const int lastColumn = (w + s - 1) / s;
        const auto column = [&](int gx) { return gx >= cx0 + w ? lastColumn : (gx - cx0) / s; };
        std::vector<std::pair<quint32, int>> lines(size_t(rows) + 1); // first corner, its column
        for (int j = 0; j <= rows; ++j) {
            int ka = lastColumn + 1, kb = -1;
            for (const int r : {j - 1, j}) {
                if (r < 0 || r >= rows || spans[size_t(2 * r)] >= spans[size_t(2 * r + 1)])
                    continue;
                ka = std::min(ka, column(spans[size_t(2 * r)]));
                kb = std::max(kb, column(spans[size_t(2 * r + 1)]));
            }
            lines[size_t(j)] = {quint32(mesh.vertices.size() / 5), ka};
            const int gy = std::min(ylo + j * s, yhi);
            for (int k = ka; k <= kb; ++k) {
                const int gx = std::min(cx0 + k * s, cx0 + w);
                vertex(gx, gy, lifted ? cornerLift(img, gx, gy, s, step, fine) : 0);
            }
        }
        for (int r = 0; r < rows; ++r) {
            const int ga = spans[size_t(2 * r)], gb = spans[size_t(2 * r + 1)];
            if (ga >= gb)
                continue;
            const int gy = ylo + r * s;
            const bool rowInFine = skipFine && gy >= fy0 && gy + s <= fy1;
            const auto &top = lines[size_t(r)], &bottom = lines[size_t(r) + 1];
            for (int k = column(ga); k < column(gb); ++k) {
                if (rowInFine && cx0 + k * s >= fx0 && cx0 + (k + 1) * s <= fx1)
                    continue;
                const quint32 a = top.first + quint32(k - top.second), b = bottom.first + quint32(k - bottom.second);
                // (x, y), (x + s, y), (x + s, y1), then (x, y1)
                mesh.indices.insert(mesh.indices.end(), {a, a + 1, b + 1, a, b + 1, b});
            }
        }
    };
    grid(step, cy0, cy0 + h, cx0, cx0 + w, !fine.isEmpty(), mesh.spans);
    if (!fine.isEmpty()) {
        const int ylo = std::max(cy0, fy0), yhi = std::min(cy0 + h, fy1);
        if (ylo < yhi)
            grid(1, ylo, yhi, std::max(cx0, fx0), std::min(cx0 + w, fx1), false, m_fineSpans);
    }
    return mesh;
}

int OverviewLayer::cornerLift(const OverviewImage &img, int gx, int gy, int s, int step, const QRect &fine)
{
    const auto height = [&](int x, int y) { return 4 * img.heightAt(x, y); };
    if (s < step && !fine.isEmpty()) {
        // On the fine part's edge a corner between two of the coarse grid's takes the height
        // halfway between theirs, so that the two grids meet without a gap.
        const int fx0 = fine.left(), fx1 = fine.right() + 1, fy0 = fine.top(), fy1 = fine.bottom() + 1;
        if ((gy == fy0 || gy == fy1) && (gx - fx0) % step != 0) {
            const int a = gx - (gx - fx0) % step;
            return (height(a, gy) + height(a + step, gy)) / 2;
        }
        if ((gx == fx0 || gx == fx1) && (gy - fy0) % step != 0) {
            const int a = gy - (gy - fy0) % step;
            return (height(gx, a) + height(gx, a + step)) / 2;
        }
    }
    return height(gx, gy);
}

double OverviewLayer::liftAt(int mode, double scale, double gx, double gy) const
{
    const int facet = m_doc.currentFacet();
    if (mode == mapgeometry::Flat || facet < 0 || facet >= int(m_images.size()) || !m_images[size_t(facet)])
        return 0;
    const OverviewImage &img = *m_images[size_t(facet)];
    if (img.isNull())
        return 0;
    const int cellX = std::clamp(int(std::floor(gx)), 0, img.width() - 1);
    const int cellY = std::clamp(int(std::floor(gy)), 0, img.height() - 1);
    const int tx = cellX / TileCells, ty = cellY / TileCells;
    const int cx0 = tx * TileCells, cy0 = ty * TileCells;
    const int w = std::min(TileCells, img.width() - cx0), h = std::min(TileCells, img.height() - cy0);
    // The squares of the texture's mesh as made, or as draw would make them far out.
    int step = coarseStep(scale);
    QRect fine;
    const size_t t = size_t(ty) * size_t(std::max(m_tilesX, 0)) + size_t(tx);
    if (facet == m_textureFacet && tx < m_tilesX && ty < m_tilesY && t < m_meshes.size()) {
        const Mesh &mesh = m_meshes[t];
        if (mesh.valid && mesh.mode == mode) {
            step = mesh.step;
            fine = mesh.fine;
        }
    }
    // The square: one cell inside the fine part, else the coarse one (cut at the texture's
    // edge, where its last corners stand).
    const int s = !fine.isEmpty() && fine.contains(cellX, cellY) ? 1 : step;
    const int x0 = cx0 + (cellX - cx0) / s * s, y0 = cy0 + (cellY - cy0) / s * s;
    const int x1 = std::min(x0 + s, cx0 + w), y1 = std::min(y0 + s, cy0 + h);
    const double z00 = cornerLift(img, x0, y0, s, step, fine), z10 = cornerLift(img, x1, y0, s, step, fine);
    const double z11 = cornerLift(img, x1, y1, s, step, fine), z01 = cornerLift(img, x0, y1, s, step, fine);
    const double u = std::clamp((gx - x0) / (x1 - x0), 0.0, 1.0), v = std::clamp((gy - y0) / (y1 - y0), 0.0, 1.0);
    // The mesh cuts each square from (x0, y0) to (x1, y1): (x0, y0), (x1, y0), (x1, y1) and
    // (x0, y0), (x1, y1), (x0, y1).
    if (u >= v)
        return z00 + u * (z10 - z00) + v * (z11 - z10);
    return z00 + v * (z01 - z00) + u * (z11 - z01);
}

bool OverviewLayer::groundAt(const mapgeometry::ViewSpec &view, int cx, int cy, const std::array<double, 3> &eye,
                             const std::array<double, 3> &away, QPointF &ground) const
{
    const int facet = m_doc.currentFacet();
    if (facet < 0 || facet >= int(m_images.size()) || !m_images[size_t(facet)] || m_images[size_t(facet)]->isNull())
        return false;
    const OverviewImage &img = *m_images[size_t(facet)];
    // Scene to cells: the inverse of cellOffset.
    const auto cellOf = [&](double sx, double sy) { return QPointF(cx + (sx - sy) / 44.0, cy + (-sx - sy) / 44.0); };
    const auto inside = [&](const QPointF &p) {
        return p.x() >= 0 && p.y() >= 0 && p.x() < img.width() && p.y() < img.height();
    };
    const double dz = away[2] - eye[2];
    // The cell point under the line where the ground is lifted by z. Flat and isometric
    // frames look along the scene's z axis and draw the ground on z 0, lifted along the
    // screen's vertical in isometric; 3D lifts it along the depth axis the line runs through.
    std::array<double, 2> onPlane{eye[0], eye[1]};
    if (view.mode != mapgeometry::ThreeD && std::abs(dz) > 1e-12) {
        const double t = -eye[2] / dz;
        onPlane = {eye[0] + t * (away[0] - eye[0]), eye[1] + t * (away[1] - eye[1])};
    }
    if (view.mode == mapgeometry::ThreeD && !(dz < -1e-9))
        return false; // looking along the ground (or up): the line does not go down through the lifts
    const auto at = [&](double z) {
        if (view.mode != mapgeometry::ThreeD)
            return cellOf(onPlane[0], onPlane[1] - z);
        const double t = (z - eye[2]) / dz;
        return cellOf(eye[0] + t * (away[0] - eye[0]), eye[1] + t * (away[1] - eye[1]));
    };
    if (view.mode == mapgeometry::Flat) {
        ground = at(0);
        return inside(ground);
    }
    // The line at lift z is above the ground there; outside the facet, where nothing is
    // drawn, it always is.
    const auto above = [&](double z) {
        const QPointF p = at(z);
        return !inside(p) || z > liftAt(view.mode, view.scale, p.x(), p.y());
    };
    // From the highest lift down (towards the far end of the line in 3D, towards the front of
    // the ground in isometric), in steps that move the point on the ground half a cell or
    // less, until the line is no longer above the ground; then halved down to the crossing.
    const double zHigh = mapgeometry::kLandLiftHigh, zLow = mapgeometry::kLandLiftLow;
    const QPointF a = at(zHigh), b = at(zLow);
    const double cellsPerZ = std::max(std::abs(a.x() - b.x()), std::abs(a.y() - b.y())) / (zHigh - zLow);
    constexpr int MaxSteps = 1 << 14;
    const double dStep = std::max(std::min(4.0, 0.5 / std::max(cellsPerZ, 1e-12)), (zHigh - zLow) / MaxSteps);
    double hi = zHigh;
    if (!above(hi)) {
        ground = a; // the ground at the highest lift there is
        return inside(ground);
    }
    for (double z = zHigh - dStep;; z -= dStep) {
        const double lo = std::max(z, zLow);
        if (!above(lo)) {
            double top = hi, bottom = lo;
            for (int i = 0; i < 60 && top - bottom > 1e-9; ++i) {
                const double mid = (top + bottom) / 2;
                (above(mid) ? top : bottom) = mid;
            }
            ground = at(bottom);
            return inside(ground);
        }
        if (lo <= zLow)
            return false;
        hi = lo;
    }
}
