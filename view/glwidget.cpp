#include "view/glwidget.h"
#include "view/mapgeometry.h"

#include <QSurfaceFormat>

#include <GL/glu.h>

GLWidget::GLWidget(QWidget *parent) : QOpenGLWidget(parent)
{
    // Depth decides coverage in 3D and is read back under the pointer.
    QSurfaceFormat f = format();
    f.setDepthBufferSize(24);
    setFormat(f);
}

void GLWidget::setMapid(int id) { m_mapid = id; }
void GLWidget::setScale(double s) { m_scale = s; update(); }
void GLWidget::setDegree(double d) { m_degree = d; update(); }
void GLWidget::setGrid(bool on) { m_grid = on; update(); }
void GLWidget::setMode(int m) { m_mode = m; update(); }
void GLWidget::initGLResources() {}

void GLWidget::initializeGL()
{
    initializeOpenGLFunctions();
    glClearColor(0, 0, 0, 1);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glShadeModel(GL_SMOOTH);
    initGLResources();
}

void GLWidget::resizeGL(int w, int h)
{
    const QSize fb = framebufferSize();
    glViewport(0, 0, fb.width(), fb.height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-(w / 2), w / 2, -(h / 2), h / 2, -128, 127);
    glMatrixMode(GL_MODELVIEW);
}

int GLWidget::textureSide(int n)
{
    return mapgeometry::textureSide(n);
}

QImage GLWidget::textureImage(const QImage &image)
{
    if (image.isNull())
        return QImage();
    const int w = textureSide(image.width());
    const int h = textureSide(image.height());
    QImage scaled = image.size() == QSize(w, h)
        ? image
        : image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return scaled.convertToFormat(QImage::Format_RGBA8888).mirrored();
}

GLuint GLWidget::makeTexture(const QImage &image)
{
    const QImage img = textureImage(image);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    if (!img.isNull()) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, 4, img.width(), img.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     img.constBits());
    }
    return name;
}

QSize GLWidget::framebufferSize() const
{
    const qreal r = devicePixelRatioF();
    return QSize(qRound(width() * r), qRound(height() * r));
}

QPointF GLWidget::toGLWindow(double wx, double wy) const
{
    const qreal r = devicePixelRatioF();
    return QPointF(wx * r, framebufferSize().height() - wy * r);
}

std::array<double, 3> GLWidget::unproject(int wx, int wy)
{
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const QPointF gw = toGLWindow(wx, wy);
    const double winX = gw.x();
    const double winY = gw.y();
    GLfloat depth = 0;
    glReadPixels(int(winX), int(winY), 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    GLdouble model[16], proj[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    std::array<double, 3> out{0, 0, 0};
    gluUnProject(winX, winY, double(depth), model, proj, viewport, &out[0], &out[1], &out[2]);
    return out;
}
