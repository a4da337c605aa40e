#include "view/glwidget.h"

GLWidget::GLWidget(QWidget *parent) : QOpenGLWidget(parent) {}

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
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-(w / 2), w / 2, -(h / 2), h / 2, -128, 127);
    glMatrixMode(GL_MODELVIEW);
}
