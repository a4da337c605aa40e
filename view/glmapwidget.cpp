#include "view/glmapwidget.h"
#include "view/viewsave.h"
#include "world/facetsaver.h"
#include "world/datadirectory.h"
#include "world/facet.h"
#include "world/workingdirectory.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFont>
#include <QMessageBox>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QTimer>
#include <QPainter>

#include <GL/glu.h>

#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kSelectionHue = 53;
constexpr int kEventInterval = 2000;
constexpr int kEventMillis = 100;
// Scene z a static or grid line is lifted by in 3D so that it wins against the land it lies
// on, which has the same height.
constexpr float kNearer = 0.5f;

qint64 textureKey(int id, int hue)
{
    return (qint64(id) << 16) | quint16(hue);
}

std::array<quint8, 4> toRgba(const std::array<float, 4> &c)
{
    std::array<quint8, 4> out{};
    for (int i = 0; i < 4; ++i)
        out[size_t(i)] = quint8(std::lround(std::clamp(c[size_t(i)], 0.0f, 1.0f) * 255.0f));
    return out;
}

} // namespace

// Marks the view busy for its lifetime; when the outermost one ends, work that arrived in
// the meantime is started from the event loop.
class GLMapWidget::BusyScope
{
public:
    explicit BusyScope(GLMapWidget &w) : m_w(w) { ++m_w.m_busy; }
    ~BusyScope()
    {
        if (--m_w.m_busy == 0)
            m_w.scheduleIdleWork();
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    GLMapWidget &m_w;
};

GLMapWidget::GLMapWidget(QWidget *parent) : GLWidget(parent)
{
    m_overview = new OverviewLayer(m_doc, this);
    connect(m_overview, &OverviewLayer::imageChanged, this, [this] {
        if (OverviewLayer::drawsAt(m_scale))
            update();
    });
    connect(&m_doc, &MapDocument::mapChanged, this, [this] { update(); });
    connect(&m_doc, &MapDocument::storeFailed, this, &GLMapWidget::warnAboutWorkingFiles);
    if (!m_doc.store()->isValid()) {
        // Told once the window is up; edits are kept in memory and the directory is made
        // at the first write that succeeds.
        const QString reason = m_doc.store()->errorString();
        QTimer::singleShot(0, this, [this, reason] { warnAboutWorkingFiles(reason); });
    }
    setMouseTracking(true);
    // Painting draws its tile ids with rand(); seeded once per view.
    std::srand(unsigned(QDateTime::currentMSecsSinceEpoch()));
    buildContextMenu();
}

GLMapWidget::~GLMapWidget()
{
    // Textures belong to our context; without it (never shown) there are none.
    if (m_glReady) {
        makeCurrent();
        m_atlas.clear();
        m_labelAtlas.clear();
        m_overview->clearTextures(this);
        m_scene.reset();
        doneCurrent();
    }
}

// ---- view state -------------------------------------------------------------------------

void GLMapWidget::setMapid(int id)
{
    if (isBusy()) {
        // The walk under way reads the current facet's blocks; switch once it is done.
        runWhenIdle([this, id] { setMapid(id); update(); });
        return;
    }
    if (id == m_mapid || id < 0 || id >= ClientLayout::FacetCount)
        return;
    if (!m_doc.setFacet(id))
        warnAboutWorkingFiles(m_cache.lastError()); // the unwritten blocks are kept for their facet
    m_mapid = id;
    m_currentX = qMin(m_currentX, facetBlocksX(id) * 8);
    m_currentY = qMin(m_currentY, facetBlocksY(id) * 8);
}

void GLMapWidget::setCenter(int x, int y) { m_currentX = x; m_currentY = y; update(); }
void GLMapWidget::setTerrain(bool on) { m_terrainOn = on; update(); }
void GLMapWidget::setStatics(bool on) { m_staticsOn = on; update(); }
void GLMapWidget::setTerrainMode(int mode) { m_terrainMode = mode; update(); }
void GLMapWidget::setDrawDynamics(bool on) { m_dynamicsOn = on; update(); }
void GLMapWidget::setAltitudes(bool on) { m_altitudesOn = on; update(); }

void GLMapWidget::setGridColor(quint32 rgba)
{
    m_gridRgba = rgba;
    m_gridColor = {float((rgba >> 16) & 0xff) / 255.0f, float((rgba >> 8) & 0xff) / 255.0f,
                   float(rgba & 0xff) / 255.0f, float((rgba >> 24) & 0xff) / 255.0f};
    update();
}

void GLMapWidget::setAngle(double a) { m_angle = a; update(); }
void GLMapWidget::setDistance(int d) { m_distance = d; update(); }
void GLMapWidget::setStaticAbove(int v) { m_staticClip.above = v; update(); }
void GLMapWidget::setStaticBelow(int v) { m_staticClip.below = v; update(); }
void GLMapWidget::enableStaticAbove(bool on) { m_staticClip.aboveOn = on; update(); }
void GLMapWidget::enableStaticBelow(bool on) { m_staticClip.belowOn = on; update(); }
void GLMapWidget::setLandAbove(int v) { m_landClip.above = v; update(); }
void GLMapWidget::setLandBelow(int v) { m_landClip.below = v; update(); }
void GLMapWidget::enableLandAbove(bool on) { m_landClip.aboveOn = on; update(); }
void GLMapWidget::enableLandBelow(bool on) { m_landClip.belowOn = on; update(); }
void GLMapWidget::setSelectMode(int mode) { m_selectMode = mode; update(); }

void GLMapWidget::enterEvent(QEnterEvent *event)
{
    // The pointer passing over the map does not take the keyboard from a text field (the
    // palette's altitude, a dialog's number): what is typed there stays there.
    const QWidget *focus = QApplication::focusWidget();
    if (!focus || !focus->testAttribute(Qt::WA_InputMethodEnabled))
        setFocus();
    GLWidget::enterEvent(event);
}

// ---- editing (arrives with the editing work) ---------------------------------------------

void GLMapWidget::save(int mode)
{
    // A save flushes the cache and lets events run itself; never inside a walk.
    if (isBusy()) {
        runWhenIdle([this, mode] { save(mode); });
        return;
    }
    Facet *facets[ClientLayout::FacetCount];
    for (int i = 0; i < ClientLayout::FacetCount; ++i)
        facets[i] = m_facets[size_t(i)].get();
    {
        // Busy for the whole save: clicks and keys that arrive while it lets events run
        // wait until it is over, and a frame let in meanwhile waits too.
        BusyScope busy(*this);
        // Only the current facet: the other one of a shared main save has its edits in
        // backup files it does not read, so they still count as unsaved.
        if (saveView(this, m_cache, facets, m_mapid, mode))
            m_doc.markSaved(m_mapid);
    }
    update();
}

void GLMapWidget::warnAboutWorkingFiles(const QString &reason)
{
    if (auto *open = findChild<QMessageBox *>(QStringLiteral("workingFilesWarning")); open && open->isVisible())
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Working Files"),
                                QStringLiteral("Changes cannot be written to the working files:\n\n") + reason
                                    + QStringLiteral("\n\nThey are kept in memory. Remove the cause and save them "
                                                     "before closing."),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("workingFilesWarning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void GLMapWidget::undo()
{
    if (isBusy()) {
        runWhenIdle([this] { undo(); });
        return;
    }
    endStroke();
    m_doc.undo();
    update();
}

void GLMapWidget::redo()
{
    if (isBusy()) {
        runWhenIdle([this] { redo(); });
        return;
    }
    endStroke();
    m_doc.redo();
    update();
}

bool GLMapWidget::hasUnsavedChanges() const
{
    return m_doc.hasUnsavedChanges();
}

// ---- re-entrancy -------------------------------------------------------------------------

void GLMapWidget::runWhenIdle(std::function<void()> action)
{
    if (!isBusy()) {
        action();
        return;
    }
    m_deferred.push_back(std::move(action));
}

void GLMapWidget::scheduleIdleWork()
{
    if (m_idleWorkPosted || (m_deferred.empty() && !m_repaintWanted))
        return;
    // Not from here: the walk that just ended may sit inside a paint event with our
    // framebuffer bound. The event loop is the first place where nothing is half done.
    m_idleWorkPosted = true;
    QMetaObject::invokeMethod(this, &GLMapWidget::runDeferred, Qt::QueuedConnection);
}

void GLMapWidget::runDeferred()
{
    m_idleWorkPosted = false;
    while (!isBusy() && !m_deferred.empty()) {
        auto action = std::move(m_deferred.front());
        m_deferred.pop_front();
        action();
    }
    if (m_repaintWanted && !isBusy()) {
        m_repaintWanted = false;
        update();
    }
}

void GLMapWidget::letEventsRun()
{
    // Never from inside a paint event: Qt's painting is not re-entrant, and the events let
    // in there include deferred deletes of widgets the paint (or a show) is walking over.
    // Frames are short since they draw from a list; the long walks that let events run
    // are those outside painting (picks).
    if (m_inPaint)
        return;
    ++m_stats.eventPoints;
    QCoreApplication::processEvents(QEventLoop::AllEvents, kEventMillis);
    // Whatever ran may have made another context current (the window's compositor) or
    // replaced our framebuffer (a resize); textures made from here on must go to ours.
    if (m_glReady)
        makeCurrent();
    m_landMemoLoads = -1;
}

// ---- GL set-up and the frame -------------------------------------------------------------

void GLMapWidget::initGLResources()
{
    GLfloat c[4] = {1, 1, 1, 1};
    glGetFloatv(GL_CURRENT_COLOR, c);
    m_defaultColor = {c[0], c[1], c[2], c[3]};
    m_defaultRgba = toRgba(m_defaultColor);
    m_atlas.setFunctions(this);
    m_labelAtlas.setFunctions(this);
    m_glReady = true;
    ++m_textureGeneration;
    m_scene.reset(); // made in the context gone, if any
    m_sceneKeyValid = false;
    buildAltitudeTextures();
    m_selectBuffer.assign(SelectBufferWords, 0);
    glSelectBuffer(GLsizei(m_selectBuffer.size()), m_selectBuffer.data());
}

void GLMapWidget::resizeGL(int w, int h)
{
    // The viewport in device pixels, the box in the widget's own: one scene unit stays one
    // window pixel at scale 1 on any screen.
    Q_UNUSED(w);
    Q_UNUSED(h);
    const QSize fb = framebufferSize();
    glViewport(0, 0, fb.width(), fb.height());
    applyProjection(walkPlanFor(m_mode).depth);
}

void GLMapWidget::applyProjection(double depth)
{
    const int w = width(), h = height();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-(w / 2), w / 2, -(h / 2), h / 2, -depth, depth);
    glMatrixMode(GL_MODELVIEW);
}

mapgeometry::WalkPlan GLMapWidget::walkPlanFor(int mode) const
{
    return mapgeometry::walkPlan(viewSpec(mode));
}

mapgeometry::ViewSpec GLMapWidget::viewSpec(int mode) const
{
    mapgeometry::ViewSpec v;
    v.mode = mode;
    v.scale = m_scale;
    v.degree = m_degree;
    v.angle = m_angle;
    v.distance = m_distance;
    v.width = width();
    v.height = height();
    return v;
}

void GLMapWidget::paintGL()
{
    if (isBusy()) {
        // A paint let in by a walk's event processing (a pick under way): the walk
        // finishes, and a frame follows once it has. Outside a walk (a save asking its
        // question) the last list is whole: the view keeps its picture from it.
        if (m_walking == 0) {
            m_inPaint = true;
            submitLastList();
            m_inPaint = false;
        }
        m_repaintWanted = true;
        return;
    }
    m_inPaint = true;
    drawFrame();
    m_inPaint = false;
    emit framePainted();
}

void GLMapWidget::drawFrame()
{
    BusyScope busy(*this);
    // A frame never lets events run, wherever it is drawn from: its walk is cut into parts
    // short enough instead.
    struct NoEvents {
        bool &flag;
        bool was;
        explicit NoEvents(bool &f) : flag(f), was(f) { flag = true; }
        ~NoEvents() { flag = was; }
    } noEvents(m_inPaint);
    QElapsedTimer frame;
    frame.start();
    ++m_stats.frames;
    const int bx = facetBlocksX(m_mapid), by = facetBlocksY(m_mapid);
    // The list stays as long as nothing that decides it changed: a repaint of the same view
    // (a band drawn over it, the window uncovered) walks nothing and decodes nothing.
    if (!m_listKeyValid || !(m_listKey == listKey(m_mode, m_currentX, m_currentY, bx, by)))
        beginWalk(m_mode, m_currentX, m_currentY, bx, by);
    else if (m_walkCursor.done)
        ++m_stats.reused;
    // A region too large for one frame is walked on in the next ones, which keeps every
    // frame short while zoomed out near the overview's scale.
    if (!continueWalk(FrameCells, m_frameBudgetMs))
        postNextPart();
    submitLastList(&frame);
}

void GLMapWidget::postNextPart()
{
    if (m_nextPartPosted)
        return;
    m_nextPartPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_nextPartPosted = false;
            update();
        },
        Qt::QueuedConnection);
}

bool GLMapWidget::drawsThroughScene()
{
    if (OverviewLayer::drawsAt(m_scale) || !QOpenGLFramebufferObject::hasOpenGLFramebufferBlit()) {
        m_scene.reset();
        m_sceneKeyValid = false;
        return false;
    }
    const bool begun = m_scene && m_sceneKeyValid && m_sceneKey == m_listKey && m_scene->size() == framebufferSize();
    if (begun || !m_walkCursor.done || m_drawList.size() > m_frameItems)
        return true;
    // A list one frame draws whole is drawn straight into the window; the picture is let go
    // once well inside the detail scales, as the overview's textures are.
    if (m_scale >= OverviewLayer::ReleaseScale) {
        m_scene.reset();
        m_sceneKeyValid = false;
    }
    return false;
}

bool GLMapWidget::fillScene(const QElapsedTimer *frame)
{
    const QSize fb = framebufferSize();
    if (!m_scene || m_scene->size() != fb) {
        // Laid out as the window's own buffer, so that the whole picture copies over exactly.
        QOpenGLFramebufferObjectFormat format;
        format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
        format.setInternalTextureFormat(GL_RGBA8);
        m_scene = std::make_unique<QOpenGLFramebufferObject>(fb, format);
        glBindTexture(GL_TEXTURE_2D, m_scene->texture());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        m_sceneKeyValid = false;
    }
    m_scene->bind();
    glViewport(0, 0, fb.width(), fb.height());
    applyProjection(walkPlanFor(m_mode).depth);
    applyViewTransform();
    if (!m_sceneKeyValid || !(m_sceneKey == m_listKey)) {
        m_sceneKey = m_listKey;
        m_sceneKeyValid = true;
        m_sceneIndex = 0;
        // Colours as the window starts a frame; alpha 0 where nothing is drawn yet, which is
        // what lets the part drawn so far lie over the overview.
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
    }
    listCoverage(true);
    const std::size_t total = m_drawList.indices().size();
    // Six indices to an item; what the rasteriser has done is known only once it finishes.
    // A frame draws a part at least, then on while it is within its budget.
    constexpr std::size_t part = 2048 * 6;
    if (!frame) {
        m_sceneIndex = m_drawList.submitFrom(this, m_sceneIndex, total);
    } else {
        while (m_sceneIndex < total) {
            m_sceneIndex = m_drawList.submitFrom(this, m_sceneIndex, part);
            glFinish();
            if (frame->nsecsElapsed() >= qint64(m_frameBudgetMs * 1e6))
                break;
        }
    }
    listCoverage(false);
    glColor4fv(m_defaultColor.data());
    m_scene->release();
    context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    return m_sceneIndex >= total && m_walkCursor.done;
}

void GLMapWidget::showScene(bool whole)
{
    const QSize fb = framebufferSize();
    if (whole) {
        QOpenGLExtraFunctions *ef = context()->extraFunctions();
        ef->glBindFramebuffer(GL_READ_FRAMEBUFFER, m_scene->handle());
        ef->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
        // Depth only matters in 3D, where picking reads it back under the pointer.
        ef->glBlitFramebuffer(0, 0, fb.width(), fb.height(), 0, 0, fb.width(), fb.height(),
                              GL_COLOR_BUFFER_BIT | (m_mode == mapgeometry::ThreeD ? GL_DEPTH_BUFFER_BIT : 0),
                              GL_NEAREST);
        ef->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
        // The window is opaque, whatever the picture's alpha says of where nothing was drawn.
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        return;
    }
    // The part drawn so far, texel for pixel, where it drew anything.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glBindTexture(GL_TEXTURE_2D, m_scene->texture());
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glColor4fv(m_defaultColor.data());
}

void GLMapWidget::listCoverage(bool on)
{
    // In 3D what is nearer covers what is farther whatever the walk's order; transparent
    // texels neither show nor hide. Flat and isometric pictures are painted back to front.
    if (m_mode != mapgeometry::ThreeD)
        return;
    if (on) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.5f);
    } else {
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_DEPTH_TEST);
    }
}

void GLMapWidget::submitLastList(const QElapsedTimer *frame)
{
    const QSize fb = framebufferSize();
    const bool scene = m_cache.facet() && drawsThroughScene();
    const bool wholeBefore = scene ? m_scene && m_sceneKeyValid && m_scene->size() == fb && m_sceneKey == m_listKey
                                         && m_sceneIndex >= m_drawList.indices().size() && m_walkCursor.done
                                   : m_walkCursor.done;
    glViewport(0, 0, fb.width(), fb.height());
    applyProjection(walkPlanFor(m_mode).depth);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    applyViewTransform();
    // Far out the facet is drawn from its overview; the walk drew nothing.
    bool overviewDrawn = false;
    m_overviewPartial = false;
    if (OverviewLayer::drawsAt(m_scale) && m_cache.facet()) {
        m_overview->draw(this, viewSpec(m_mode), m_currentX, m_currentY);
        overviewDrawn = true;
        m_overviewPartial = !m_overview->drewWhole();
    } else if (!wholeBefore && m_cache.facet()) {
        // While the walk or its picture is still under way the part done so far lies on the
        // overview, laid flat but in 3D: it stands for a frame or two, and flat it costs next
        // to nothing.
        m_overview->draw(this, viewSpec(m_mode == mapgeometry::ThreeD ? m_mode : mapgeometry::Flat), m_currentX,
                         m_currentY);
        overviewDrawn = true;
    }
    if (overviewDrawn && m_overview->uploadsPending() && !m_uploadsPosted) {
        // The textures this frame had no time for come in the next ones.
        m_uploadsPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_uploadsPosted = false;
                update();
            },
            Qt::QueuedConnection);
    } else if (!overviewDrawn && m_scale >= OverviewLayer::ReleaseScale && m_overview->textureCount() > 0) {
        // Well inside the detail scales the overview is not drawn: its textures wait in the
        // image until the view zooms out again.
        m_overview->releaseTextures(this);
    }
    // The picture's part is drawn in what is left of the frame, after the overview.
    const bool whole = scene ? fillScene(frame) : m_walkCursor.done;
    m_scenePartial = scene && !whole;
    if (m_scenePartial)
        postNextPart();
    if (scene) {
        showScene(whole);
    } else {
        listCoverage(true);
        m_drawList.submit(this);
        listCoverage(false);
    }
    glColor4fv(m_defaultColor.data());
    if (m_pasteArmed)
        drawPastePreview();
    if (m_bandActive)
        drawBand();
    glFlush();
}

// ---- geometry and the walk ---------------------------------------------------------------

int GLMapWidget::landZ(int x, int y, int fallback)
{
    if (x < 0 || y < 0 || x >= m_cache.blocksX() * 8 || y >= m_cache.blocksY() * 8)
        return fallback;
    const int block = blockNumber(x, y, m_cache.blocksY());
    if (m_landMemoLoads != m_cache.landLoads()) {
        m_landMemo = {};
        m_landMemoLoads = m_cache.landLoads();
    }
    const LandBlock *data = nullptr;
    for (const LandMemo &m : m_landMemo) {
        if (m.block == block)
            data = m.data;
    }
    if (!data) {
        data = &m_cache.landBlock(block);
        if (m_cache.landLoads() != m_landMemoLoads) {
            // That fetch loaded (and may have evicted): only this block is known good.
            m_landMemo = {};
            m_landMemoLoads = m_cache.landLoads();
        }
        m_landMemo[size_t(m_landMemoNext)] = {block, data};
        m_landMemoNext ^= 1;
    }
    const Tile &t = data->at(cellKey(x, y));
    return t.id() == -1 ? fallback : t.z();
}

bool GLMapWidget::landQuad(int x, int y, const Tile &tile, TileQuad &quad, int mode)
{
    mapgeometry::LandHeights h;
    h.z0 = tile.id() == -1 ? 0 : tile.z();
    if (mode != mapgeometry::Flat) {
        h.zS = landZ(x, y + 1, h.z0);
        h.zE = landZ(x + 1, y, h.z0);
        h.zSE = landZ(x + 1, y + 1, h.z0);
    }
    return mapgeometry::landCorners(mode, tile.texture() != 0, h, quad);
}

bool GLMapWidget::ListKey::operator==(const ListKey &o) const
{
    // The selections are shared copies: unchanged ones compare at once.
    return facet == o.facet && mapid == o.mapid && mode == o.mode && cx == o.cx && cy == o.cy
        && blocksX == o.blocksX && blocksY == o.blocksY && scale == o.scale && degree == o.degree
        && angle == o.angle && distance == o.distance && width == o.width && height == o.height
        && terrain == o.terrain && statics == o.statics && dynamics == o.dynamics && altitudes == o.altitudes
        && grid == o.grid && terrainMode == o.terrainMode && gridRgba == o.gridRgba && clips == o.clips
        && edits == o.edits && textures == o.textures && pasteArmed == o.pasteArmed
        && pasteAnchor == o.pasteAnchor && pasteXml == o.pasteXml && land == o.land
        && staticsSelected == o.staticsSelected;
}

GLMapWidget::ListKey GLMapWidget::listKey(int mode, int cx, int cy, int blocksX, int blocksY) const
{
    ListKey k;
    k.facet = m_cache.facet();
    k.mapid = m_mapid;
    k.mode = mode;
    k.cx = cx;
    k.cy = cy;
    k.blocksX = blocksX;
    k.blocksY = blocksY;
    k.scale = m_scale;
    k.degree = m_degree;
    k.angle = m_angle;
    k.distance = m_distance;
    k.width = width();
    k.height = height();
    k.terrain = m_terrainOn;
    k.statics = m_staticsOn;
    k.dynamics = m_dynamicsOn;
    k.altitudes = m_altitudesOn;
    k.grid = m_grid;
    k.terrainMode = m_terrainMode;
    k.gridRgba = m_gridRgba;
    k.clips = {m_landClip.aboveOn, m_landClip.above, m_landClip.belowOn, m_landClip.below,
               m_staticClip.aboveOn, m_staticClip.above, m_staticClip.belowOn, m_staticClip.below};
    k.edits = m_cache.edits();
    k.textures = m_textureGeneration;
    k.land = m_doc.landSelection(m_doc.currentFacet());
    k.staticsSelected = m_doc.staticSelection(m_doc.currentFacet());
    k.pasteArmed = m_pasteArmed;
    if (m_pasteArmed) {
        k.pasteAnchor = m_pasteAnchor;
        k.pasteXml = m_pasteXml;
    }
    return k;
}

void GLMapWidget::drawMap(int mode, int cx, int cy, int blocksX, int blocksY)
{
    BusyScope busy(*this);
    beginWalk(mode, cx, cy, blocksX, blocksY);
    continueWalk(0, 0);
}

void GLMapWidget::beginWalk(int mode, int cx, int cy, int blocksX, int blocksY)
{
    // Taken before anything is walked: whatever events let run during the walk change,
    // the next frame sees as a change.
    m_listKey = listKey(mode, cx, cy, blocksX, blocksY);
    m_listKeyValid = true;
    ++m_stats.walks;
    m_stats.visited = m_stats.inside = 0;
    m_stats.eventPoints = 0;
    m_stats.parts = 0;
    m_drawList.clear();
    m_drawnQuads.clear();
    m_drawnStatics.clear();
    m_pasteQuads.clear();
    m_landMemoLoads = -1;
    m_walkCursor = mapgeometry::WalkCursor{};
    m_walkCount = 0;
    m_walkMode = mode;
    m_walkCx = cx;
    m_walkCy = cy;
    m_walkWidth = blocksX * 8;
    m_walkHeight = blocksY * 8;
    // Far out the frame draws the overview instead; nothing is walked, drawn or picked.
    if (OverviewLayer::drawsAt(m_scale)) {
        m_walkPlan = mapgeometry::WalkPlan{};
        m_walkCursor.done = true;
        return;
    }

    m_walkPlan = walkPlanFor(mode);
    const qint64 cells = std::min(mapgeometry::planCells(m_walkPlan), qint64(blocksX) * blocksY * 64);
    // Keep every block of the region cached, so the next frame decodes nothing it has seen.
    m_cache.setCapacity(BlockCache::capacityForCells(cells));
    const std::size_t listRoom = m_drawList.capacity();
    m_drawList.reserve(size_t(cells) * (m_staticsOn ? 2 : 1));
    if (m_drawnQuads.capacity() > 2 * size_t(cells) + 4096 || m_drawList.capacity() < listRoom / 2) {
        std::vector<DrawnQuad>().swap(m_drawnQuads);
#ifdef __GLIBC__
        // Zoomed back in: hand the far region's memory (list and evicted blocks) back to
        // the system rather than keep it in the allocator's free lists.
        malloc_trim(0);
#endif
    }
    m_drawnQuads.reserve(size_t(cells));
}

bool GLMapWidget::continueWalk(qint64 limit, double budgetMs)
{
    if (m_walkCursor.done)
        return true;
    BusyScope busy(*this);
    struct Walking {
        int &n;
        explicit Walking(int &c) : n(c) { ++n; }
        ~Walking() { --n; }
    } walking(m_walking);
    ++m_stats.parts;
    m_landMemoLoads = -1;
    QElapsedTimer timer;
    timer.start();
    const int mode = m_walkMode, cx = m_walkCx, cy = m_walkCy;
    const int width = m_walkWidth, height = m_walkHeight;
    qint64 &count = m_walkCount;
    qint64 walked = 0;
    mapgeometry::walkPlanCellsFrom(m_walkPlan, cx, cy, width, height, m_walkCursor, [&](int x, int y) {
        if (++count % kEventInterval == 0)
            letEventsRun();
        ++walked;
        if (x < 0 || y < 0 || x >= width || y >= height)
            return true;
        ++m_stats.inside;
        int sx = 0, sy = 0;
        cellOffset(x, y, cx, cy, sx, sy);
        m_names.x = x;
        m_names.y = y;
        const bool landSelected = isLandSelected(x, y);
        const TileStack tiles = m_cache.cellTiles(x, y);
        for (const Tile &tile : tiles) {
            if (tile.isLand()) {
                TileQuad quad;
                landQuad(x, y, tile, quad, mode);
                DrawnQuad dq;
                dq.x = x;
                dq.y = y;
                dq.top = QPoint(sx + quad.top().x, sy + quad.top().y);
                dq.left = QPoint(sx + quad.left().x, sy + quad.left().y);
                dq.right = QPoint(sx + quad.right().x, sy + quad.right().y);
                dq.bottom = QPoint(sx + quad.bottom().x, sy + quad.bottom().y);
                dq.id = tile.id();
                m_drawnQuads.push_back(dq);
                if (m_terrainOn && (!tile.isNoDraw() || !m_staticsOn))
                    drawLand(sx, sy, tile, quad, landSelected);
                if (m_altitudesOn)
                    drawAltitude(sx, sy, tile, quad);
                if (m_grid)
                    drawGridCell(sx, sy, quad);
                if (m_pasteArmed)
                    notePasteCell(x, y, sx, sy, quad);
            } else if (m_staticsOn) {
                const bool selected = isStaticSelected(x, y, tile.z(), tile.id());
                if (!m_terrainOn || !tile.isNoDraw())
                    drawStatic(sx, sy, tile, selected, x, y);
            }
        }
        // A frame's part: at least limit cells, then on while the budget lasts.
        return limit <= 0 || walked < limit || (walked % 512 != 0) || timer.nsecsElapsed() < budgetMs * 1e6;
    });
    m_stats.visited = count;
    return m_walkCursor.done;
}

DrawList::Vertex GLMapWidget::vertex(float x, float y, float z, float u, float v,
                                     const std::array<quint8, 4> &rgba) const
{
    return DrawList::Vertex{x, y, z, u, v, rgba[0], rgba[1], rgba[2], rgba[3]};
}

// ---- terrain -----------------------------------------------------------------------------

QImage GLMapWidget::squareFromDiamond(const QImage &diamond, int alpha, bool blackTransparent)
{
    constexpr int kSide = 32;
    QImage square(kSide, kSide, QImage::Format_ARGB32);
    square.fill(0);
    if (diamond.isNull())
        return square;
    const QImage src = diamond.convertToFormat(QImage::Format_ARGB32);
    const quint32 a = quint32(qBound(0, alpha, 255)) << 24;
    const int w = src.width(), h = src.height();
    // The square lies turned in the diamond: its top-left at the top corner, top-right at
    // the right corner, bottom-left at the left corner. Each square pixel takes the diamond
    // pixel under its middle, held inside the diamond's rows, so no pixel ever reads the
    // empty surround and a one-colour diamond gives a one-colour square.
    for (int j = 0; j < kSide; ++j) {
        quint32 *line = reinterpret_cast<quint32 *>(square.scanLine(j));
        for (int i = 0; i < kSide; ++i) {
            const double u = (i + 0.5) / kSide, v = (j + 0.5) / kSide;
            const double fx = w * 0.5 * (1.0 + u - v);
            const double fy = h * 0.5 * (u + v);
            const int y = std::clamp(int(fy), 0, h - 1);
            const int half = y < h / 2 ? y : h - 1 - y;
            const int first = std::max(0, w / 2 - 1 - half);
            const int last = std::min(w - 1, w / 2 + half);
            const int x = std::clamp(int(fx), first, last);
            const quint32 p = reinterpret_cast<const quint32 *>(src.constScanLine(y))[x];
            if (blackTransparent)
                line[i] = (p & 0xFFFFFFu) == 0 ? 0u : ((p & 0xFFFFFFu) | a);
            else
                line[i] = (p & 0xFFFFFFu) | a;
        }
    }
    return square;
}

QImage GLMapWidget::landImage(int id, int hue, int alpha)
{
    const Hue h = m_hues.hue(hue);
    const int t = qint16(m_tileData.landTile(id).texture());
    QImage image;
    if (t != 0) {
        image = m_textures.texture(t, h, alpha);
        if (image.isNull() && t != id)
            image = m_textures.texture(id, h, alpha);
        if (!image.isNull())
            return image;
    }
    const QImage art = m_art.landArt(id, h, false, alpha);
    if (!art.isNull())
        return squareFromDiamond(art, alpha, false);
    return m_textures.texture(2, h, 255);
}

TextureAtlas::Entry GLMapWidget::landTexture(int id, int hue, int alpha)
{
    const qint64 key = textureKey(id, hue);
    const auto it = m_landTextures.constFind(key);
    if (it != m_landTextures.constEnd())
        return it.value();
    const TextureAtlas::Entry e = m_atlas.add(textureImage(landImage(id, hue, alpha)));
    m_landTextures.insert(key, e);
    return e;
}

void GLMapWidget::drawLand(int sx, int sy, const Tile &tile, const TileQuad &q, bool selected)
{
    const int z = tile.z();
    const bool visible = !m_landClip.hides(z);
    DrawList::Entry names = m_names;
    names.kind = DrawList::Land;
    names.z = z;
    names.id = tile.id();
    const int a = tile.isTranslucent() ? 230 : 255;
    const int hue = selected ? kSelectionHue : 0;
    const auto at = [&](const mapgeometry::Corner &c, float u, float v, const std::array<quint8, 4> &rgba) {
        return vertex(float(sx + c.x), float(sy + c.y), float(c.z), u, v, rgba);
    };
    if (visible && m_terrainMode == 0) {
        const TextureAtlas::Entry t = landTexture(tile.id(), hue, a);
        if (!t.isNull()) {
            // The square texture lies turned in the diamond: its top-left at the top corner.
            m_drawList.add(names, DrawList::Strip, t.texture,
                           {at(q.top(), t.u(0), t.v(1), m_defaultRgba), at(q.left(), t.u(0), t.v(0), m_defaultRgba),
                            at(q.right(), t.u(1), t.v(1), m_defaultRgba),
                            at(q.bottom(), t.u(1), t.v(0), m_defaultRgba)});
            return;
        }
        // No image at all: an empty texture shows the plain current colour.
        const float u = TextureAtlas::whiteU(), v = TextureAtlas::whiteV();
        m_drawList.add(names, DrawList::Strip, 0,
                       {at(q.top(), u, v, m_defaultRgba), at(q.left(), u, v, m_defaultRgba),
                        at(q.right(), u, v, m_defaultRgba), at(q.bottom(), u, v, m_defaultRgba)});
        return;
    }
    std::array<quint8, 4> rgba;
    if (!visible)
        rgba = {0, 0, 0, 0}; // still drawn, so clipped land stays pickable
    else if (selected)
        rgba = {255, 255, 0, 255};
    else
        rgba = toRgba(mapgeometry::heightColour(z));
    const float u = TextureAtlas::whiteU(), v = TextureAtlas::whiteV();
    m_drawList.add(names, DrawList::Quad, 0,
                   {at(q.left(), u, v, rgba), at(q.bottom(), u, v, rgba), at(q.right(), u, v, rgba),
                    at(q.top(), u, v, rgba)});
}

void GLMapWidget::drawGridCell(int sx, int sy, const TileQuad &q)
{
    DrawList::Entry names = m_names;
    names.kind = DrawList::GridOutline;
    const std::array<quint8, 4> rgba = toRgba(m_gridColor);
    const float u = TextureAtlas::whiteU(), v = TextureAtlas::whiteV();
    // On the land it outlines, a hair nearer than the land so the depth test keeps it.
    const auto at = [&](const mapgeometry::Corner &c) {
        return vertex(float(sx + c.x), float(sy + c.y), float(c.z) + kNearer, u, v, rgba);
    };
    m_drawList.add(names, DrawList::Outline, 0, {at(q.top()), at(q.left()), at(q.bottom()), at(q.right())});
}

void GLMapWidget::buildAltitudeTextures()
{
    QFont font;
    font.setPointSize(45);
    font.setWeight(QFont::Bold);
    for (int z = -129; z <= 128; ++z) {
        QImage label(128, 64, QImage::Format_ARGB32);
        label.fill(Qt::white);
        QPainter p(&label);
        p.setPen(Qt::black);
        p.setFont(font);
        p.drawText(QRect(0, 0, 128, 64), Qt::AlignLeft | Qt::TextSingleLine, QString::number(z));
        p.end();
        m_altitudeTextures.insert(z, m_labelAtlas.add(textureImage(label)));
    }
}

void GLMapWidget::drawAltitude(int sx, int sy, const Tile &tile, const TileQuad &q)
{
    const int z = tile.z();
    const TextureAtlas::Entry t = m_altitudeTextures.value(z);
    DrawList::Entry names = m_names;
    names.kind = DrawList::AltitudeLabel;
    names.z = z;
    names.id = 0;
    // A 0.4-scale copy of the diamond anchored at its left corner.
    const float f = 0.4f;
    const auto &L = q.left();
    const float ax = L.x + f * (q.bottom().x - L.x), ay = L.y + f * (q.bottom().y - L.y);
    const float cx = L.x + f * (q.right().x - L.x), cy = L.y + f * (q.right().y - L.y);
    const float bx = L.x + f * (q.top().x - L.x), by = L.y + f * (q.top().y - L.y);
    const bool textured = !t.isNull();
    const auto U = [&](float s) { return textured ? t.u(s) : TextureAtlas::whiteU(); };
    const auto V = [&](float s) { return textured ? t.v(s) : TextureAtlas::whiteV(); };
    m_drawList.add(names, DrawList::Quad, t.texture,
                   {vertex(float(sx + L.x), float(sy + L.y), float(L.z), U(0), V(0), m_defaultRgba),
                    vertex(sx + ax, sy + ay, float(q.bottom().z), U(1), V(0), m_defaultRgba),
                    vertex(sx + cx, sy + cy, float(q.right().z), U(1), V(1), m_defaultRgba),
                    vertex(sx + bx, sy + by, float(q.top().z), U(0), V(1), m_defaultRgba)});
}

void GLMapWidget::clearTextures()
{
    if (isBusy()) {
        // The frame under way still draws from these textures.
        runWhenIdle([this] { clearTextures(); });
        return;
    }
    if (m_glReady) {
        makeCurrent();
        m_atlas.clear();
        m_labelAtlas.clear();
        m_overview->clearTextures(this);
        doneCurrent();
    }
    m_landTextures.clear();
    m_staticTextures.clear();
    m_altitudeTextures.clear();
    ++m_textureGeneration;
}

// ---- statics -----------------------------------------------------------------------------

GLMapWidget::StaticTexture GLMapWidget::staticTexture(const Tile &tile)
{
    const int hue = tile.hue();
    const int id = tile.id();
    const qint64 key = textureKey(id, hue);
    const auto it = m_staticTextures.constFind(key);
    if (it != m_staticTextures.constEnd())
        return it.value();
    const int a = tile.isTranslucent() ? 230 : 255;
    QImage image = m_art.staticArt(id, m_hues.hue(hue), false, a);
    StaticTexture st;
    st.width = image.width();
    st.height = image.height();
    if (st.width == 44 && st.height == 44)
        image = squareFromDiamond(image, a, true);
    if (image.isNull()) {
        std::printf("failed to get image for static 0x%x\n", unsigned(id));
        std::fflush(stdout);
    }
    const QImage glImage = textureImage(image);
    st.texture = m_atlas.add(glImage);
    if (!glImage.isNull())
        st.alpha = glImage.convertToFormat(QImage::Format_Alpha8);
    m_staticTextures.insert(key, st);
    return st;
}

GLMapWidget::StaticTexture GLMapWidget::staticQuad(const Tile &tile, TileQuad &quad)
{
    const StaticTexture st = staticTexture(tile);
    mapgeometry::staticCorners(m_mode, st.width, st.height, tile.z(), tile.height(), quad);
    return st;
}

void GLMapWidget::drawStatic(int sx, int sy, const Tile &tile, bool selected, int x, int y)
{
    const int z = tile.z();
    if (m_staticClip.hides(z) || (tile.isItem() && !m_dynamicsOn))
        return;
    Tile drawn = tile;
    if (selected)
        drawn.setHue(kSelectionHue);
    TileQuad q;
    const StaticTexture st = staticQuad(drawn, q);
    if (st.texture.isNull())
        return; // no image: a quad without area, nothing to see or hit
    DrawList::Entry names;
    names.x = x;
    names.y = y;
    names.kind = tile.isItem() ? DrawList::Item : DrawList::Static;
    names.z = z;
    names.id = tile.id();
    const TextureAtlas::Entry &t = st.texture;
    std::array<DrawList::Vertex, 4> corners;
    const float texCorner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    if (m_mode == mapgeometry::ThreeD && !(st.width == 44 && st.height == 44)) {
        // Standing images face the viewer however the ground is turned: their width runs
        // along the screen's x, flat ones reach straight away from the viewer.
        const double a = m_degree * M_PI / 180.0;
        const double ux = std::cos(a), uy = -std::sin(a), vx = std::sin(a), vy = std::cos(a);
        for (int i = 0; i < 4; ++i) {
            const mapgeometry::Corner &c = q.c[size_t(i)];
            const double away = c.y + 44;
            corners[size_t(i)] = vertex(float(sx + c.x * ux + away * vx), float(sy - 44 + c.x * uy + away * vy),
                                        float(c.z) + kNearer, t.u(texCorner[i][0]), t.v(texCorner[i][1]), m_defaultRgba);
        }
    } else {
        for (int i = 0; i < 4; ++i) {
            const mapgeometry::Corner &c = q.c[size_t(i)];
            const float lift = m_mode == mapgeometry::ThreeD ? kNearer : 0.0f;
            corners[size_t(i)] = vertex(float(sx + c.x), float(sy + c.y), float(c.z) + lift, t.u(texCorner[i][0]),
                                        t.v(texCorner[i][1]), m_defaultRgba);
        }
    }
    m_drawnStatics.push_back({quint32(m_drawList.size()), textureKey(drawn.id(), drawn.hue())});
    m_drawList.add(names, DrawList::Quad, t.texture, corners);
}
