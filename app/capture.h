#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class QImage;
class QWidget;

// Saving what the map view shows as an image file (File > Capture, the Print key).

// The writable image formats, in the order the image library lists them, in upper case.
QList<QByteArray> captureFormats();

// The save dialog's filter: "F (*.f)" for each format F, joined by ";;" (no empty last entry,
// which the dialog would offer as a format of its own).
QString captureFilter(const QList<QByteArray> &formats);

// The format named by a filter of captureFilter(): the text before its first blank.
QString captureFormat(const QString &selectedFilter);

// The file name with the format's extension added when its last characters do not already
// spell the format (compared without regard to case).
QString captureFileName(const QString &name, const QString &format);

// The format a typed file name asks for: its extension when that names one of formats
// ("view.png" is PNG whatever filter is chosen, "shot.jpg" JPG), otherwise the chosen one.
QString captureFormatFor(const QString &name, const QString &chosen, const QList<QByteArray> &formats);

// The message shown when an image could not be written.
QString captureFailureText(const QString &fileName, const QString &reason);

// Writes the image in the given format; on failure answers false and says why in *error.
bool writeCapture(const QImage &image, const QString &fileName, const QString &format, QString *error);

// Asks for a file and format, then grabs the image and writes it. The grab runs only after
// the user has chosen a file, so the dialog is not in the picture. A cancelled dialog does
// nothing; a failed write is reported in a message box over the parent. Answers whether a
// file was written, and puts its name into *written.
//
// The dialog opens in the folder and on the format of the last capture written (PNG at
// first); both are kept in the settings.
bool saveCapture(QWidget *parent, const std::function<QImage()> &grab, QString *written = nullptr);
