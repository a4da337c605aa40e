#include "dialogs/formimages.h"

#include <QtGlobal>

void registerFormImages()
{
    // The name is the resource file's base name (resources/resources.qrc).
    Q_INIT_RESOURCE(resources);
}
