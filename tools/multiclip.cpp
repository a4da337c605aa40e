#include "tools/multiclip.h"

multiclip::multiclip(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("multiclip"));
}
