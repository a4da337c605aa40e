// Frame times of the map view on the sample Felucca (terrain images and statics, textures
// warm) at scales from 1 down to the whole facet in flat and isometric projection (and 3D
// at 1), against a baseline measured in the same run: the same textured triangles from one
// prebuilt vertex array with one texture bound, one draw call. Below the overview's scale
// the frame draws the facet's overview textures; its baseline is as many quads of one
// texture that together cover the window once. Each scale reports wall time and processor
// time per frame and the peak memory after it. Also: zooming from 1 to the whole facet, the
// longest frame or event-loop pass (the overview is built in pieces between frames) beside
// the old build of the whole image at once inside the first far frame; the blocks a steady
// frame decodes and walks (none should be: an unchanged view draws its last list again), and
// the whole walk plus its frame beside it; the frames after the view moved by one cell; and the
// memory: peak and after zooming back to scale 1, beside what the process held before its
// first frame; then out to the whole facet at once again, the textures let go at scale 1
// coming back, and in once more. Options: --later uses the later 7168-wide Felucca.
//
// Run under a display with OpenGL, e.g. xvfb-run -a -s "-screen 0 1280x1024x24".
#include "sampleworld/sampleworld.h"
#include "view/glmapwidget.h"
#include "world/datadirectory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLVersionFunctionsFactory>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace {

constexpr int kRepeats = 9;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The frame's own triangles, all drawn with one texture in one call.
class Baseline
{
public:
    explicit Baseline(QOpenGLFunctions_1_1 *gl) : m_gl(gl)
    {
        QImage img(64, 64, QImage::Format_RGBA8888);
        img.fill(QColor(90, 140, 60));
        gl->glGenTextures(1, &m_texture);
        gl->glBindTexture(GL_TEXTURE_2D, m_texture);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, img.constBits());
        gl->glBindTexture(GL_TEXTURE_2D, 0);
    }
    ~Baseline() { m_gl->glDeleteTextures(1, &m_texture); }

    // Copies the triangles of the list (outlines left out), texture coordinates kept.
    void build(const DrawList &list)
    {
        m_vertices = list.vertices();
        m_indices.clear();
        for (const DrawList::Entry &e : list.entries()) {
            const quint32 b = e.firstVertex;
            if (e.shape == DrawList::Strip)
                m_indices.insert(m_indices.end(), {b, b + 1, b + 2, b + 1, b + 2, b + 3});
            else if (e.shape == DrawList::Quad)
                m_indices.insert(m_indices.end(), {b, b + 1, b + 3, b + 1, b + 2, b + 3});
        }
    }
    std::size_t quads() const { return m_indices.size() / 6; }

    // n quads that together cover the window once, a grid of them (scene units at scale),
    // each of the whole texture.
    void buildWindowQuads(std::size_t n, int width, int height, double scale)
    {
        m_vertices.clear();
        m_indices.clear();
        n = std::max<std::size_t>(n, 1);
        const float hw = float(width / 2.0 / scale), hh = float(height / 2.0 / scale);
        const std::size_t cols = std::max<std::size_t>(1, std::size_t(std::lround(std::sqrt(double(n) * width / height))));
        const std::size_t rows = (n + cols - 1) / cols;
        for (std::size_t i = 0; i < n; ++i) {
            const quint32 b = quint32(m_vertices.size());
            const std::size_t c = i % cols, r = i / cols;
            const float x0 = -hw + 2 * hw * c / cols, x1 = -hw + 2 * hw * (c + 1) / cols;
            const float y0 = -hh + 2 * hh * r / rows, y1 = -hh + 2 * hh * (r + 1) / rows;
            m_vertices.push_back(DrawList::Vertex{x0, y0, 0, 0, 0, 255, 255, 255, 255});
            m_vertices.push_back(DrawList::Vertex{x1, y0, 0, 1, 0, 255, 255, 255, 255});
            m_vertices.push_back(DrawList::Vertex{x1, y1, 0, 1, 1, 255, 255, 255, 255});
            m_vertices.push_back(DrawList::Vertex{x0, y1, 0, 0, 1, 255, 255, 255, 255});
            m_indices.insert(m_indices.end(), {b, b + 1, b + 3, b + 1, b + 2, b + 3});
        }
    }

    // One frame: clear, one bind, one call, finished. The modelview is the view's own.
    double frame()
    {
        QElapsedTimer t;
        t.start();
        m_gl->glClear(GL_COLOR_BUFFER_BIT);
        const DrawList::Vertex *v = m_vertices.data();
        m_gl->glEnableClientState(GL_VERTEX_ARRAY);
        m_gl->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        m_gl->glEnableClientState(GL_COLOR_ARRAY);
        m_gl->glVertexPointer(3, GL_FLOAT, sizeof(DrawList::Vertex), &v->x);
        m_gl->glTexCoordPointer(2, GL_FLOAT, sizeof(DrawList::Vertex), &v->u);
        m_gl->glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(DrawList::Vertex), &v->r);
        m_gl->glBindTexture(GL_TEXTURE_2D, m_texture);
        m_gl->glDrawElements(GL_TRIANGLES, GLsizei(m_indices.size()), GL_UNSIGNED_INT, m_indices.data());
        m_gl->glDisableClientState(GL_COLOR_ARRAY);
        m_gl->glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        m_gl->glDisableClientState(GL_VERTEX_ARRAY);
        m_gl->glBindTexture(GL_TEXTURE_2D, 0);
        m_gl->glFinish();
        return t.nsecsElapsed() / 1e6;
    }

private:
    QOpenGLFunctions_1_1 *m_gl;
    GLuint m_texture = 0;
    std::vector<DrawList::Vertex> m_vertices;
    std::vector<quint32> m_indices;
};

// Blocks the last walk touched: the cells it drew and (for land) their neighbours.
std::set<int> blocksOf(GLMapWidget &view, bool land)
{
    std::set<int> out;
    const int by = view.blockCache().blocksY();
    const int w = view.blockCache().blocksX() * 8, h = by * 8;
    for (const GLMapWidget::DrawnQuad &q : view.drawnQuads()) {
        for (int d = 0; d < (land ? 4 : 1); ++d) {
            const int x = q.x + (d & 1), y = q.y + (d >> 1);
            if (x < w && y < h)
                out.insert(blockNumber(x, y, by));
        }
    }
    return out;
}

// Processor time of this process so far, in ms (every thread: the GL driver's too).
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double viewFrame(GLMapWidget &view, QOpenGLFunctions_1_1 *gl)
{
    QElapsedTimer t;
    t.start();
    view.drawFrame();
    gl->glFinish();
    return t.nsecsElapsed() / 1e6;
}

// Resident memory now, and the peak so far, in MB.
double residentMB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}
double peakMB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;
}

void print(const char *name, double value, double baseline)
{
    std::printf("%s %.2f ms (baseline %.2f ms, %.2f)\n", name, value, baseline, value / baseline);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("TessarynBench"));
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toLocal8Bit());
    const QString data = dir.filePath(QStringLiteral("client"));
    sampleworld::Options options;
    options.outDir = data;
    options.facets = {0};
    bool zoomsToo = true;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--later")
            options.layout = sampleworld::Layout::Later;
        else if (QByteArray(argv[i]) == "--frames-only")
            zoomsToo = false;
    }
    QString error;
    if (!sampleworld::write(options, &error)) {
        std::fprintf(stderr, "sample world: %s\n", qPrintable(error));
        return 1;
    }
    setDataDirectory(data);

    GLMapWidget view;
    view.resize(1024, 768);
    view.show();
    for (int i = 0; i < 20 && !view.isValid(); ++i)
        app.processEvents(QEventLoop::AllEvents, 50);
    view.setMapid(0);
    // The centre where the most land shows (the middle of the facet may be sea, which is
    // not drawn while statics are on): a coarse search over the facet.
    int cx = view.blockCache().blocksX() * 8 / 2, cy = view.blockCache().blocksY() * 8 / 2;
    {
        BlockCache &cache = view.blockCache();
        const int w = cache.blocksX() * 8, h = cache.blocksY() * 8;
        int best = -1;
        for (int y = 512; y < h - 512; y += 256) {
            for (int x = 512; x < w - 512; x += 256) {
                int shown = 0;
                for (int dy = -4; dy <= 4; ++dy)
                    for (int dx = -4; dx <= 4; ++dx)
                        shown += !cache.land(x + 60 * dx, y + 60 * dy).isNoDraw();
                if (shown > best) {
                    best = shown;
                    cx = x;
                    cy = y;
                }
            }
        }
    }
    view.setCenter(cx, cy);
    view.setStatics(true);
    app.processEvents();

    view.makeCurrent();
    auto *gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(view.context());
    if (!gl) {
        std::fprintf(stderr, "no OpenGL 1.1 functions\n");
        return 1;
    }
    std::printf("window %dx%d, %s\n", view.width(), view.height(),
                reinterpret_cast<const char *>(gl->glGetString(GL_RENDERER)));
    Baseline baseline(gl);

    const double startMB = residentMB();
    const char *modes[] = {"flat", "isometric", "3d"};
    struct Run {
        int mode;
        double scale;
    };
    // The scale at which the whole facet fits the window: its diamond is (w + h) x 22 units
    // across either way.
    const double whole = std::min(view.width(), view.height())
        / (double(view.blockCache().blocksX() + view.blockCache().blocksY()) * 8 * 22);
    const Run runs[] = {{0, 1.0}, {0, 0.25}, {0, 0.125}, {0, 0.03}, {0, whole}, {1, 1.0},
                        {1, 0.25}, {1, 0.125}, {1, 0.085}, {1, 0.03}, {1, whole}, {2, 1.0}};
    {
        // The old way, as a baseline: the whole facet's overview image built at once, inside
        // the first far frame, from a fresh colour table as the first build has it.
        OverviewColours colours;
        OverviewImage atOnce;
        QElapsedTimer t;
        t.start();
        const double c = cpuMs();
        atOnce.build(view.blockCache().facet() ? *view.blockCache().facet() : view.document().facet(0),
                    view.document().tileData(), colours, &view.blockCache());
        const double oneShot = t.nsecsElapsed() / 1e6, oneShotCpu = cpuMs() - c;
        std::printf("overview_build_%dx%d_cells_at_once %.2f ms, cpu %.2f ms\n", atOnce.width(), atOnce.height(),
                    oneShot, oneShotCpu);
        std::printf("peak_rss_after_overview_build %.0f MB (baseline %.0f MB before the first frame, %.2f)\n",
                    peakMB(), startMB, peakMB() / startMB);

        // Zooming from scale 1 to the whole facet and on until its image is whole, as a user
        // does: each step a frame, then a pass of the event loop (the frame Qt paints and a
        // step of the build in pieces). The longest of each, in flat and in isometric
        // projection (the second zoom finds the image built).
        // The third zoom, flat again, shows what the first one's longest frames owe to the
        // renderer's first use of each way of drawing (llvmpipe compiles code for each).
        const char *zooms[] = {"flat", "isometric", "flat_again"};
        for (int zoom = 0; zoom < (zoomsToo ? 3 : 0); ++zoom) {
            const int mode = zoom == 2 ? 0 : zoom;
            view.setMode(mode);
            view.setScale(1.0);
            app.processEvents();
            double longestWalked = 0, longestFar = 0, longestPass = 0, longestWalkedAt = 0, longestPassAt = 0;
            double longestFarPass = 0, longestFarPassAt = 0;
            double now = 1.0;
            int frames = 0, passes = 0;
            const auto pass = [&] {
                QElapsedTimer p;
                p.start();
                app.processEvents();
                if (p.nsecsElapsed() / 1e6 > longestPass) {
                    longestPass = p.nsecsElapsed() / 1e6;
                    longestPassAt = now;
                }
                if (OverviewLayer::drawsAt(now) && p.nsecsElapsed() / 1e6 > longestFarPass) {
                    longestFarPass = p.nsecsElapsed() / 1e6;
                    longestFarPassAt = now;
                }
                ++passes;
            };
            for (double scale = 1.0; scale >= whole - 1e-12;) {
                view.setScale(scale);
                now = scale;
                view.makeCurrent();
                const double f = viewFrame(view, gl);
                if (!OverviewLayer::drawsAt(scale) && f > longestWalked)
                    longestWalkedAt = scale;
                (OverviewLayer::drawsAt(scale) ? longestFar : longestWalked) = std::max(
                    OverviewLayer::drawsAt(scale) ? longestFar : longestWalked, f);
                ++frames;
                pass();
                // Big steps while walked (each frame walks every cell it shows), the wheel's
                // own below the detail scale.
                scale = scale > 0.13 ? scale / 2 : scale > 0.0125 + 1e-9 ? scale - 0.0125 : scale / 1.25;
            }
            QElapsedTimer building;
            building.start();
            while (!view.overview().isBuilt(0) && building.elapsed() < 60000)
                pass();
            view.makeCurrent();
            const double last = viewFrame(view, gl);
            longestFar = std::max(longestFar, last);
            const double longest = std::max({longestWalked, longestFar, longestPass, view.overview().longestStepMs()});
            std::printf("zoom_%s_1_to_whole_longest_frame_or_pass %.2f ms (baseline %.2f ms, the build at once "
                        "plus a far frame, %.2f)\n",
                        zooms[zoom], longest, oneShot + last, longest / (oneShot + last));
            std::printf("zoom_%s_longest: walked frame %.2f ms (at scale %.4f), far frame %.2f ms, event-loop pass "
                        "%.2f ms (at scale %.4f), build step %.2f ms; %d frames, %d passes, image whole %s\n",
                        zooms[zoom], longestWalked, longestWalkedAt, longestFar, longestPass, longestPassAt,
                        view.overview().longestStepMs(), frames, passes, view.overview().isBuilt(0) ? "yes" : "no");
            // Below the detail scale every pass is the overview's: a step of its build and a
            // frame that draws it, with the textures that frame uploads.
            std::printf("zoom_%s_longest_far_pass %.2f ms (at scale %.4f; baseline %.2f ms, the longest far frame, "
                        "%.2f)\n",
                        zooms[zoom], longestFarPass, longestFarPassAt, longestFar, longestFarPass / longestFar);
            std::fflush(stdout);
        }
    }
    if (!zoomsToo) {
        // The far frames need the facet's image whole, which the zooms otherwise leave built.
        view.setScale(whole);
        QElapsedTimer building;
        building.start();
        while (!view.overview().isBuilt(0) && building.elapsed() < 60000)
            app.processEvents();
    }
    for (const Run &run : runs) {
        const bool far = OverviewLayer::drawsAt(run.scale);
        view.setMode(run.mode);
        view.setScale(run.scale);
        app.processEvents();
        view.makeCurrent();
        viewFrame(view, gl); // warm: blocks decoded, textures made
        // A large region is walked over a few frames; on until it is whole.
        int parts = 1;
        for (; !view.frameWhole() && parts < 1000; ++parts)
            viewFrame(view, gl);
        viewFrame(view, gl);
        std::vector<double> ours, base, oursCpu, baseCpu;
        // Far out the same number of triangles as the overview's meshes drew, in a grid over
        // the window.
        if (far)
            baseline.buildWindowQuads(std::size_t(view.overview().lastTriangles() + 1) / 2, view.width(),
                                      view.height(), run.scale);
        else
            baseline.build(view.drawList());
        const int loads = view.blockCache().landLoads() + view.blockCache().staticLoads();
        const int walks = view.walkStats().walks;
        const int repeats = kRepeats;
        for (int i = 0; i < repeats; ++i) {
            double c = cpuMs();
            ours.push_back(viewFrame(view, gl));
            oursCpu.push_back(cpuMs() - c);
            c = cpuMs();
            base.push_back(baseline.frame());
            baseCpu.push_back(cpuMs() - c);
        }
        const int decoded = view.blockCache().landLoads() + view.blockCache().staticLoads() - loads;
        const int walked = view.walkStats().walks - walks;
        // The walk itself, all of it at once (blocks cached, textures made), and the frame
        // that draws it: what a frame after a change costs when one frame takes it whole.
        std::vector<double> walk;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer t;
            t.start();
            view.drawMap(run.mode, cx, cy, view.blockCache().blocksX(), view.blockCache().blocksY());
            walk.push_back(t.nsecsElapsed() / 1e6);
        }
        char name[128];
        if (far)
            std::snprintf(name, sizeof name, "frame_%s_scale_%.4f_(%zu_quads_on_%d_overview_textures)",
                          modes[run.mode], run.scale, baseline.quads(), view.overview().lastDrawn());
        else
            std::snprintf(name, sizeof name, "frame_%s_scale_%.4f_(%zu_quads)", modes[run.mode], run.scale,
                          baseline.quads());
        print(name, median(ours), median(base));
        if (far) {
            // Beside it, the window filled once by one quad a texture: what the frame costs
            // over the plainest picture of the same textures' count.
            baseline.buildWindowQuads(std::size_t(view.overview().lastDrawn()), view.width(), view.height(),
                                      run.scale);
            std::vector<double> fill;
            for (int i = 0; i < repeats; ++i)
                fill.push_back(baseline.frame());
            std::snprintf(name, sizeof name, "frame_%s_scale_%.4f_against_one_quad_a_texture", modes[run.mode],
                          run.scale);
            print(name, median(ours), median(fill));
        }
        std::snprintf(name, sizeof name, "cpu_per_frame_%s_scale_%.4f", modes[run.mode], run.scale);
        print(name, median(oursCpu), median(baseCpu));
        std::printf("blocks_decoded_per_steady_frame_%s_scale_%.4f %.1f blocks (baseline 0.0, -)\n",
                    modes[run.mode], run.scale, double(decoded) / repeats);
        std::printf("walks_per_steady_frame_%s_scale_%.4f %.2f (baseline 0.00, -); first walk in %d frames\n",
                    modes[run.mode], run.scale, double(walked) / repeats, parts);
        std::snprintf(name, sizeof name, "whole_walk_plus_frame_%s_scale_%.4f", modes[run.mode], run.scale);
        print(name, median(walk) + median(ours), median(base));
        std::printf("peak_rss_after_%s_scale_%.4f %.0f MB (baseline %.0f MB before the first frame, %.2f)\n",
                    modes[run.mode], run.scale, peakMB(), startMB, peakMB() / startMB);
    }
    std::printf("peak_rss %.0f MB (baseline %.0f MB before the first frame, %.2f)\n", peakMB(), startMB,
                peakMB() / startMB);
    view.setMode(0);
    view.setScale(1.0);
    view.makeCurrent();
    viewFrame(view, gl);
    viewFrame(view, gl);
    std::printf("rss_back_at_scale_1 %.0f MB (baseline %.0f MB before the first frame, %.2f)\n", residentMB(),
                startMB, residentMB() / startMB);
    std::fflush(stdout);

    // Out to the whole facet again at once, as the zoom-to-fit does: the textures let go at
    // scale 1 come back over a few frames. The longest of those beside a steady frame of the
    // whole facet once all are back.
    for (const int mode : {0, 1}) {
        view.setMode(mode);
        view.setScale(1.0);
        view.makeCurrent();
        viewFrame(view, gl);
        const int before = view.overview().textureCount();
        view.setScale(whole);
        double longestBack = 0;
        int backFrames = 0;
        do {
            longestBack = std::max(longestBack, viewFrame(view, gl));
            ++backFrames;
        } while (view.overview().uploadsPending() && backFrames < 1000);
        std::vector<double> steady;
        for (int i = 0; i < kRepeats; ++i)
            steady.push_back(viewFrame(view, gl));
        std::printf("zoom_%s_back_out_longest_frame %.2f ms (baseline %.2f ms, a steady frame of the whole facet, "
                    "%.2f); %d textures at scale 1, %d after %d frames\n",
                    modes[mode], longestBack, median(steady), longestBack / median(steady), before,
                    view.overview().textureCount(), backFrames);
        std::printf("rss_%s_back_out %.0f MB (baseline %.0f MB before the first frame, %.2f)\n", modes[mode],
                    residentMB(), startMB, residentMB() / startMB);
    }
    view.setMode(0);
    view.setScale(1.0);
    view.makeCurrent();
    viewFrame(view, gl);
    std::printf("rss_back_at_scale_1_again %.0f MB (baseline %.0f MB before the first frame, %.2f)\n", residentMB(),
                startMB, residentMB() / startMB);
    std::fflush(stdout);

    // One cell over at scale 0.125: only the blocks that come into view are decoded.
    view.setMode(1);
    view.setScale(0.125);
    app.processEvents();
    view.makeCurrent();
    viewFrame(view, gl);
    while (!view.frameWhole())
        viewFrame(view, gl);
    std::vector<double> moved, base;
    int newLand = 0, newStatics = 0, enteringLand = 0, enteringStatics = 0;
    for (int i = 1; i <= kRepeats; ++i) {
        const std::set<int> oldLand = blocksOf(view, true), oldStatics = blocksOf(view, false);
        view.setCenter(cx + i, cy);
        view.makeCurrent();
        const int land = view.blockCache().landLoads(), statics = view.blockCache().staticLoads();
        // The first frame after the move, then the ones that finish its walk.
        moved.push_back(viewFrame(view, gl));
        while (!view.frameWhole())
            moved.back() = std::max(moved.back(), viewFrame(view, gl));
        newLand += view.blockCache().landLoads() - land;
        newStatics += view.blockCache().staticLoads() - statics;
        for (int b : blocksOf(view, true))
            enteringLand += !oldLand.count(b);
        for (int b : blocksOf(view, false))
            enteringStatics += !oldStatics.count(b);
        baseline.build(view.drawList());
        base.push_back(baseline.frame());
    }
    print("longest_frame_after_one_cell_move_isometric_scale_0.125", median(moved), median(base));
    // Decoding more than the blocks that came into view would mean visible ones were evicted.
    std::printf("blocks_decoded_per_one_cell_move %.1f blocks (entering the view %.1f, %.2f)\n",
                double(newLand + newStatics) / kRepeats, double(enteringLand + enteringStatics) / kRepeats,
                double(newLand + newStatics) / std::max(1, enteringLand + enteringStatics));
    view.doneCurrent();
    return 0;
}
