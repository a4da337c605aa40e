#pragma once
#include <QString>
#include <QtGlobal>

#include <array>

// One colour ramp of the hues file. A hue recolours a stored colour by looking its red
// channel up in the ramp; the empty hue (id -1) leaves every colour as it is.
class Hue
{
public:
    using Ramp = std::array<quint16, 32>;

    Hue() = default;
    Hue(int id, const QString &name, const Ramp &colours);

    int id() const { return m_id; }
    QString name() const { return m_name; }
    bool isEmpty() const { return m_id == -1; }

    // colours[i] for 0 <= i < 32, otherwise 0.
    quint16 colour(int i) const;

    // The recoloured c. With partial set only grey colours (red = green = blue) change,
    // which is how the client tints the grey parts of an image and leaves the rest alone.
    quint16 apply(quint16 c, bool partial) const;

private:
    int m_id = -1;
    QString m_name;
    Ramp m_colours{};
};
