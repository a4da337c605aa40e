#pragma once

// Makes the compiled-in pictures (":/images/...") available to the forms. They are built
// into the GUI library, and a static library's resource object is only linked in when
// something refers to it; the forms show the application image, so they refer to it here.
// Registering more than once is harmless.
void registerFormImages();
