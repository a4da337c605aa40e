#pragma once
#include <QOpenGLWidget>
#include <QOpenGLFunctions_1_1>

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
