#include "app/capture.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMessageBox>
#include <QSettings>

namespace {
const char *const kFolderKey = "Tessaryn/Capture/Folder";
const char *const kFormatKey = "Tessaryn/Capture/Format";
} // namespace

QList<QByteArray> captureFormats()
{
    // Qt 6 lists the formats in lower case; users know them as PNG, JPEG, BMP, and the
    // writer takes either case.
    QList<QByteArray> formats = QImageWriter::supportedImageFormats();
    for (QByteArray &f : formats)
        f = f.toUpper();
    return formats;
}

QString captureFilter(const QList<QByteArray> &formats)
{
    QStringList filters;
    for (const QByteArray &f : formats) {
        const QString name = QString::fromLatin1(f);
        filters << name + QLatin1String(" (*.") + name.toLower() + QLatin1Char(')');
    }
    return filters.join(QLatin1String(";;"));
}

QString captureFormat(const QString &selectedFilter)
{
    return selectedFilter.section(QLatin1Char(' '), 0, 0);
}

QString captureFileName(const QString &name, const QString &format)
{
    const qsizetype n = format.length();
    const QString extension = QLatin1Char('.') + format.toLower();
    if (name.length() <= n)
        return name + extension;
    // Only the last n characters are looked at: "mappng" counts as already ending in png.
    if (name.right(n).compare(format, Qt::CaseInsensitive) != 0)
        return name + extension;
    return name;
}

QString captureFormatFor(const QString &name, const QString &chosen, const QList<QByteArray> &formats)
{
    const QString suffix = QFileInfo(name).suffix().toUpper();
    if (!suffix.isEmpty() && formats.contains(suffix.toLatin1()))
        return suffix;
    return chosen;
}

QString captureFailureText(const QString &fileName, const QString &reason)
{
    return QStringLiteral("Could not save the image to %1:\n%2").arg(fileName, reason);
}

bool writeCapture(const QImage &image, const QString &fileName, const QString &format, QString *error)
{
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("The view gave no image.");
        return false;
    }
    // What QImage::save does, with the writer kept so its reason for a failure can be shown.
    QImageWriter writer(fileName, format.toLatin1());
    if (writer.write(image))
        return true;
    if (error)
        *error = writer.errorString();
    return false;
}

bool saveCapture(QWidget *parent, const std::function<QImage()> &grab, QString *written)
{
    const QList<QByteArray> formats = captureFormats();
    QSettings settings;
    QString last = settings.value(QLatin1String(kFormatKey)).toString();
    if (!formats.contains(last.toLatin1()))
        last = QStringLiteral("PNG");
    QString selected = last + QLatin1String(" (*.") + last.toLower() + QLatin1Char(')');
    const QString name = QFileDialog::getSaveFileName(parent, QStringLiteral("Capture image"),
                                                      settings.value(QLatin1String(kFolderKey)).toString(),
                                                      captureFilter(formats), &selected);
    if (name.isEmpty())
        return false;
    const QString format = captureFormatFor(name, captureFormat(selected), formats);
    const QString fileName = captureFileName(name, format);
    // The frame buffer may come without an alpha channel; the capture always carries one.
    const QImage image = grab().convertToFormat(QImage::Format_ARGB32);
    QString error;
    if (writeCapture(image, fileName, format, &error)) {
        settings.setValue(QLatin1String(kFolderKey), QFileInfo(fileName).absolutePath());
        settings.setValue(QLatin1String(kFormatKey), format);
        if (written)
            *written = fileName;
        return true;
    }
    QMessageBox::warning(parent, QStringLiteral("Capture image"), captureFailureText(fileName, error));
    return false;
}
