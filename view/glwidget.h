#pragma once
#include <QImage>
#include <QOpenGLWidget>
#include <QOpenGLFunctions_1_1>

#include <array>

// Base of the map view: the five view properties and the GL set-up shared by OpenGL views.
class GLWidget : public QOpenGLWidget, protected QOpenGLFunctions_1_1
{
    Q_OBJECT
    Q_PROPERTY(int mapid READ mapid WRITE setMapid)
    Q_PROPERTY(double scale READ scale WRITE setScale)
    Q_PROPERTY(double degree READ degree WRITE setDegree)
    Q_PROPERTY(bool grid READ grid WRITE setGrid)
    Q_PROPERTY(int mode READ mode WRITE setMode)

public:
    explicit GLWidget(QWidget *parent = nullptr);

    int mapid() const { return m_mapid; }
    double scale() const { return m_scale; }
    double degree() const { return m_degree; }
    bool grid() const { return m_grid; }
    int mode() const { return m_mode; }

    // Side of the power-of-two texture an image side of n pixels becomes (16..256).
    static int textureSide(int n);
    // The image as a texture receives it: smoothly scaled to textureSide of its width and
    // height, RGBA8888, rows bottom first (texture coordinate (0, 1) is its top-left pixel).
    static QImage textureImage(const QImage &image);
    // A new texture name holding the image, linear filtering, left bound. Needs the
    // context current.
    GLuint makeTexture(const QImage &image);

    // Scene coordinates under window position (wx, wy) (y downwards, in the widget's own
    // device-independent pixels), through the current matrices and the depth value read
    // back there. Needs the context current.
    std::array<double, 3> unproject(int wx, int wy);

    // The framebuffer's size in device pixels: the widget's size times the screen's pixel
    // ratio. GL viewports and read-backs work in these; events and the scene's units in
    // the widget's own pixels.
    QSize framebufferSize() const;
    // A window position (y downwards) as GL window coordinates (device pixels, y upwards).
    QPointF toGLWindow(double wx, double wy) const;

public slots:
    virtual void setMapid(int id);
    virtual void setScale(double s);
    virtual void setDegree(double d);
    virtual void setGrid(bool on);
    virtual void setMode(int m);
    virtual void initGLResources();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;

    int m_mapid = 0;
    double m_scale = 1.0;
    double m_degree = 0.0;
    bool m_grid = false;
    int m_mode = 0;
};
