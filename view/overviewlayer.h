#pragma once
#include "view/mapgeometry.h"
#include "world/overviewimage.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QTimer>

#include <array>
#include <memory>
#include <vector>

#include <QOpenGLFunctions_1_1>

class MapDocument;

// The whole facet at one colour per cell, for the map view's far zoom and the Overview
// dock. Each facet's image is built in pieces between events, a step of at most about
// StepBudgetMs at a time, nearest the view's centre first, and kept; the document's edits
// recolour just their blocks. Far out, the view draws the image instead of walking its
// cells: as textures of TileCells x TileCells cells, each made when its cells are all built
// and refreshed when an edit changed one of them; until then the window stays dark there.
// In isometric projection and in 3D the textures lie on a mesh lifted by the land's
// heights: just below the detail scale one vertex per cell corner around the view's centre
// and squares of a few cells beyond it, coarser farther out. Each texture's mesh is kept while
// the ground seen stays inside it, and made again when its cells change.
class OverviewLayer : public QObject
{
    Q_OBJECT
public:
    static constexpr int TileCells = 512;
    // Below this scale a cell is less than 5 pixels wide (a cell is 44 scene units across),
    // and the view draws the overview instead of the cells: finer cells are too many for a
    // frame to draw while the window stays responsive.
    static constexpr double DetailScale = 5.0 / 44.0;
    static bool drawsAt(double scale) { return scale < DetailScale; }

    explicit OverviewLayer(MapDocument &doc, QObject *parent = nullptr);
    ~OverviewLayer() override;

    // A step of the build in pieces stops once it has taken this long: it shares its pass of
    // the event loop with a frame, which may upload textures for up to UploadBudgetMs.
    static constexpr double StepBudgetMs = 12.0;

    // The image of the document's current facet, its whole build finished now.
    const OverviewImage &image();
    // The same for any facet (0..5); null image for a facet without blocks.
    const OverviewImage &image(int facet);
    // The image of facet as far as it is built; a build in pieces starts (or goes on) when
    // it is not complete, one step per pass of the event loop, imageChanged after each.
    const OverviewImage &imageSoFar(int facet);
    // Every piece of facet's image built.
    bool isBuilt(int facet) const;
    // One step of the build of the facet last asked for: pieces until budgetMs have passed
    // (at least one); true while pieces remain.
    bool buildStep(double budgetMs = StepBudgetMs);
    // The longest step so far, in ms.
    double longestStepMs() const { return m_longestStep; }
    // The cell whose surroundings are built first.
    void setFocus(int x, int y);
    // The side, in cells, of the mesh's squares at the view's scale and projection (flat:
    // a texture's whole side).
    static int meshStep(const mapgeometry::ViewSpec &view);
    // The side, in cells, of the squares of the lifted mesh away from the centre at a scale.
    static int coarseStep(double scale);
    // Why the directory's radarcol.mul was left aside for the art's colours; empty when it
    // was used, or there is none.
    QString colourRefusal() { return colours().loadError(); }

    // The ground cells (x, y as real numbers) under the four corners of a view of the given
    // spec centred on cell (cx, cy): top-left, top-right, bottom-right, bottom-left of the
    // window. The ground is taken at height 0.
    static std::array<QPointF, 4> footprint(const mapgeometry::ViewSpec &view, int cx, int cy);

    // The lift, in scene units, the overview's mesh gives the ground at cell point (gx, gy)
    // (x, y as real numbers) of the current facet in a projection at a scale: the heights of
    // the corners of the mesh square it lies in, taken across the square's triangle it lies
    // in, as the mesh last made for its texture has them (a texture not drawn yet: as its
    // mesh would be made far out). 0 flat, or without an image.
    double liftAt(int mode, double scale, double gx, double gy) const;
    // Where the line from scene point eye to scene point away (before the view transform,
    // around the top corner of cell (cx, cy); eye on the viewer's side) first meets the
    // ground as a view of the given spec draws it far out: the cell point (x, y as real
    // numbers). False when it meets no cell of the current facet. The lifted ground is
    // searched from the viewer's side along the line, so where it folds over itself the
    // nearer fold is taken: what 3D's depth test shows, and in isometric the land in front,
    // which the frame draws over what lies behind it (but for folds across textures' seams).
    bool groundAt(const mapgeometry::ViewSpec &view, int cx, int cy, const std::array<double, 3> &eye,
                  const std::array<double, 3> &away, QPointF &ground) const;

    // Draws the current facet's image around (cx, cy) in scene units, with the view's
    // transform already set, making or refreshing the textures it needs. Needs gl's context
    // current. The number of textures drawn.
    int draw(QOpenGLFunctions_1_1 *gl, const mapgeometry::ViewSpec &view, int cx, int cy);
    // Deletes the textures (gl's context current); they are made again when next drawn.
    void clearTextures(QOpenGLFunctions_1_1 *gl);
    // At or above this scale a frame that draws no overview lets go of its textures and
    // meshes (the GL driver may keep textures in main memory: some 0.5 to 1 MB each, a
    // hundred and more for a large facet); the image itself is kept, and the textures are
    // uploaded again, a few a frame, when the view zooms out. Between DetailScale and this
    // they are kept, for a walk not finished yet is drawn over them there.
    static constexpr double ReleaseScale = 2 * DetailScale;
    // Lets go of the textures and meshes as clearTextures does, and of the memory that held
    // them, where the C library can give it back.
    void releaseTextures(QOpenGLFunctions_1_1 *gl);
    int textureCount() const;
    // The texture of tile (tx, ty) of the facet last drawn (0 when not made): its levels are
    // the pyramid of the tile's cells, each the mean of four cells of the one below.
    GLuint textureOf(int tx, int ty) const
    {
        return tx >= 0 && ty >= 0 && tx < m_tilesX && ty < m_tilesY ? m_textures[size_t(ty * m_tilesX + tx)].name : 0;
    }
    // A frame uploads textures for at most this long (at least MinUploads of them), nearest
    // the view's centre first; the rest wait for the next frames.
    static constexpr double UploadBudgetMs = 12.0;
    static constexpr int MinUploads = 2;
    // The last draw left textures it needs to upload to a later frame.
    bool uploadsPending() const { return m_uploadsPending; }
    // Textures uploaded (made or refreshed) so far.
    qint64 uploads() const { return m_uploads; }
    // Textures the last draw drew, and their triangles.
    int lastDrawn() const { return m_lastDrawn; }
    qint64 lastTriangles() const { return m_lastTriangles; }
    // The last draw showed all the ground it was asked for: every texture in sight built,
    // uploaded and drawn.
    bool drewWhole() const { return m_drewWhole && !m_uploadsPending; }

signals:
    // Cells of facet's image changed (after an edit, or a first build).
    void imageChanged(int facet, const QRect &cells);

private:
    void blocksChanged(int facet, const QList<int> &blocks);
    OverviewColours &colours();
    void scheduleStep();
    void markStale(const QRect &cells);
    bool tileComplete(const OverviewImage &img, int tx, int ty) const;
    // The lift of the mesh corner at cell corner (gx, gy) in a grid of squares s cells wide
    // whose coarse squares are step wide, fine the part drawn at one cell a square.
    static int cornerLift(const OverviewImage &img, int gx, int gy, int s, int step, const QRect &fine);
    // Makes or refreshes tile (tx, ty)'s texture from img.
    void upload(QOpenGLFunctions_1_1 *gl, const OverviewImage &img, int tx, int ty);

    struct Texture {
        GLuint name = 0;
        bool stale = true; // an edit changed its cells since it was made
    };
    // The mesh last drawn on one texture, kept while the view's ground stays inside it:
    // corners relative to the texture's first cell (x, y, z, u, v each), rows of squares
    // step cells wide, each row's cells [spans[2i], spans[2i + 1]) (empty when equal).
    struct Mesh {
        bool valid = false;
        int step = 0;
        int mode = -1;
        QRect fine; // cells drawn at one cell a square (the rest at step), when not empty
        std::vector<int> spans;
        std::vector<float> vertices;
        std::vector<quint32> indices;
    };
    // The mesh of texture t at step for the ground seen, kept or made anew.
    const Mesh &meshFor(size_t t, int tx, int ty, int step, int mode, const std::vector<mapgeometry::PointF> &ground,
                        double margin, const QRect &fine, int cx, int cy);

    MapDocument &m_doc;
    std::unique_ptr<OverviewColours> m_colours;
    std::array<std::unique_ptr<OverviewImage>, 6> m_images;
    OverviewImage m_empty;
    // The textures of one facet's image, row by row of tiles.
    int m_textureFacet = -1;
    int m_tilesX = 0;
    int m_tilesY = 0;
    std::vector<Texture> m_textures;
    std::vector<quint16> m_upload;
    std::vector<quint32> m_sums; // a level's channel sums while its pyramid is made
    int m_lastDrawn = 0;
    qint64 m_lastTriangles = 0;
    bool m_drewWhole = false;
    // The draw's tiles in sight, and those of them to upload (by distance from the centre).
    std::vector<int> m_seen;
    std::vector<std::pair<double, int>> m_toUpload;
    bool m_uploadsPending = false;
    qint64 m_uploads = 0;
    // The build in pieces.
    QTimer m_step;
    int m_wanted = -1;
    int m_focusX = -1;
    int m_focusY = -1;
    double m_longestStep = 0;
    // The meshes of the textures, as the textures are laid out.
    std::vector<Mesh> m_meshes;
    std::vector<int> m_wantedSpans;
    std::vector<int> m_fineSpans;
};
