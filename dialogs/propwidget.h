#pragma once
#include "tiles/artstore.h"
#include "world/tile.h"

#include <QDialog>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
namespace Ui {
class PropWidget;
}

// The cells a Properties dialog edits, keyed by x, then y.
// Land: the one land tile of each cell.
using landfix = std::map<int, std::map<int, Tile>>;
// Statics: the statics of each cell in their stored order (each knows its id, z and hue).
using staticfix = std::map<int, std::map<int, std::vector<Tile>>>;

// The Properties dialog of the map's popup menu: lists the chosen tiles, shows the picture,
// name, altitude and hue of the current one, and sends an edit with Apply. Modeless; keeps
// its own copy of what it was given, updated with every change it sends.
class PropWidget : public QDialog
{
    Q_OBJECT
public:
    enum Kind { Unfilled = -1, Land = 0, Statics = 1 };

    explicit PropWidget(QWidget *parent = nullptr);
    ~PropWidget() override;

    int kind() const { return m_kind; }

    // The form's widgets, by their object names.
    QListWidget *listBox1 = nullptr;
    QLabel *pixmapLabel1 = nullptr;
    QLabel *textName = nullptr;
    QLabel *textAlt = nullptr;
    QLineEdit *lineAlt = nullptr;
    QLabel *textHue = nullptr;
    QLineEdit *lineHue = nullptr;
    QPushButton *pushButton2 = nullptr;

public slots:
    // The text, white space simplified, as hexadecimal after a leading "0x" or "0X", else as
    // a decimal; *ok (when given) tells whether it was a number. 0 when it was not.
    virtual int parseNumber(const QString &text, bool *ok);
    virtual void initStaticData(const staticfix &data);
    virtual void initLandData(const landfix &data);
    // Shows the tile of list line index.
    virtual void selectTile(int index);
    // Sends the current line's altitude and hue as a tileChange.
    virtual void applyButton();

protected slots:
    virtual void languageChange();

signals:
    // id, x, y, z as listed, hue, new altitude, kind (0 land, 1 statics).
    void tileChange(int id, int x, int y, int z, int hue, int alt, int kind);

protected:
    void changeEvent(QEvent *event) override;

private:
    // Where a list line's tile lives in the copy: its cell and, for statics, its place in
    // the cell. Lines are matched by position rather than by their text, so two equal
    // statics on one cell stay two separate lines.
    struct Line {
        int x = 0;
        int y = 0;
        int index = 0;
    };

    void setPicture(const QImage &image);
    void updateCaption();
    Tile *lineTile(int row);

    std::unique_ptr<Ui::PropWidget> m_ui;
    ArtStore m_art;
    int m_kind = Unfilled;
    landfix m_land;
    staticfix m_statics;
    std::vector<Line> m_lines;
};
