#pragma once
#include <QString>
#include <QWidget>
#include <vector>

// The tile palette of the palette dock. Reads a palette XML file and offers its tiles.
class PaletteNew : public QWidget
{
    Q_OBJECT
public:
    explicit PaletteNew(QWidget *parent = nullptr);

    QString fileName() const { return m_file; }

public slots:
    virtual void setFile(const QString &fileName);

signals:
    void tileselect(int type, std::vector<int> tiles, QString alt);
    void paintsig(int type, std::vector<int> tiles, QString alt);
    void AltChange(QString alt);

private:
    QString m_file;
};
