#include "tools/palettenew.h"

PaletteNew::PaletteNew(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PaletteNew"));
}

void PaletteNew::setFile(const QString &fileName)
{
    m_file = fileName;
}
