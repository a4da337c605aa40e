#pragma once
#include <QString>

// Whether the map view can draw here: a context of the kind the view asks for can be made
// and made current, and it offers the OpenGL 1.1 functions the view calls. Empty when it
// can; otherwise the reason, in words for the user. Needs the application object.
QString openGLProblem();

// The message that tells the user the map cannot be drawn, why, and what to do about it.
QString openGLProblemText(const QString &problem);

// Shows that message in a box (and on standard error, for a start from a terminal) and
// waits for the user. When the environment variable TESSARYN_UNATTENDED holds a number of
// seconds, the box closes itself after that long, so scripts and tests are not left waiting.
void reportOpenGLProblem(const QString &problem);
