#pragma once
#include "view/glwidget.h"

#include <QString>
#include <vector>

// The map view. This first version holds the view state the main window drives; drawing,
// picking and editing arrive with the world data.
class GLMapWidget : public GLWidget
{
    Q_OBJECT
public:
    explicit GLMapWidget(QWidget *parent = nullptr);
    ~GLMapWidget() override;

    int currentX() const { return m_currentX; }
    int currentY() const { return m_currentY; }
    double angle() const { return m_angle; }
    int distance() const { return m_distance; }
    bool terrainOn() const { return m_terrainOn; }
    bool staticsOn() const { return m_staticsOn; }
    int terrainMode() const { return m_terrainMode; }
    bool dynamicsOn() const { return m_dynamicsOn; }
    bool altitudesOn() const { return m_altitudesOn; }
    int selectMode() const { return m_selectMode; }
    quint32 gridColorRgba() const { return m_gridRgba; }

    // Editing operations driven by the main window.
    void save(int mode);
    void deleteTiles();
    void cancelAction();
    void moveStatics(int dx, int dy, bool copy);
    void changeElevation(int delta);
    int switchPaintMode();
    void setPaint(int type, const std::vector<int> &tiles, const QString &alt);
    void applyToSelection(int type, const std::vector<int> &tiles, const QString &alt);
    bool paintMode() const { return m_paintOn; }
    void clearTiles(int mode, int x1, int y1, int x2, int y2);
    void loadWorldSave(const QString &fileName);
    void clearTextures();

public slots:
    void setMapid(int id) override;
    void setCenter(int x, int y);
    void setTerrain(bool on);
    void setStatics(bool on);
    void setTerrainMode(int mode);
    void setDrawDynamics(bool on);
    void setAltitudes(bool on);
    void setGridColor(quint32 rgba);
    void setAngle(double a);
    void setDistance(int d);
    void setStaticAbove(int v);
    void setStaticBelow(int v);
    void enableStaticAbove(bool on);
    void enableStaticBelow(bool on);
    void setLandAbove(int v);
    void setLandBelow(int v);
    void enableLandAbove(bool on);
    void enableLandBelow(bool on);
    void setSelectMode(int mode);
    void setPaintAlt(const QString &alt);

signals:
    void currentTile(int x, int y, int tile);
    void togglePaint();

protected:
    void paintGL() override;
    void resizeGL(int w, int h) override;

private:
    int m_currentX = 0;
    int m_currentY = 0;
    bool m_terrainOn = true;
    bool m_staticsOn = false;
    int m_terrainMode = 0;
    bool m_dynamicsOn = false;
    bool m_altitudesOn = false;
    quint32 m_gridRgba = 0xFFFFFFFFu;
    double m_angle = 129.0;
    int m_distance = 4;
    int m_selectMode = 1;
    bool m_paintOn = false;
    int m_paintType = -1;
};
