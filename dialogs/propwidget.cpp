#include "dialogs/propwidget.h"
#include "dialogs/formimages.h"
#include "ui_propwidget.h"

#include <QEvent>
#include <QIntValidator>
#include <QSignalBlocker>
#include <QValidator>

#include <algorithm>

namespace {
constexpr int kPictureSide = 64;
constexpr int kMinAltitude = -128;
constexpr int kMaxAltitude = 127;
constexpr int kMaxHue = 3000;

// The digits of a number as parseNumber reads them: hexadecimal after "0X", else decimal
// with an optional minus sign. Anything else, such as a sign after "0X" or a blank inside,
// is no number.
bool readNumber(const QString &upper, int *value)
{
    const bool hex = upper.startsWith(QLatin1String("0X"));
    const QString digits = hex ? upper.mid(2) : upper;
    const qsizetype first = (!hex && digits.startsWith(QLatin1Char('-'))) ? 1 : 0;
    if (digits.size() <= first)
        return false;
    for (qsizetype i = first; i < digits.size(); ++i) {
        const QChar c = digits.at(i);
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool hexLetter = c >= QLatin1Char('A') && c <= QLatin1Char('F');
        if (!digit && !(hex && hexLetter))
            return false;
    }
    bool ok = false;
    *value = digits.toInt(&ok, hex ? 16 : 10);
    return ok;
}

// The hue field takes what parseNumber reads, 0 .. max, in decimal or as "0x" hexadecimal,
// so the hexadecimal hues used elsewhere in the program can be typed here as well.
class NumberValidator : public QValidator
{
public:
    NumberValidator(int max, QObject *parent) : QValidator(parent), m_max(max) {}

    State validate(QString &input, int &) const override
    {
        const QString upper = input.trimmed().toUpper();
        if (upper.isEmpty() || upper == QLatin1String("0X"))
            return Intermediate;
        int value = 0;
        if (upper.startsWith(QLatin1Char('-')) || !readNumber(upper, &value))
            return Invalid;
        return value <= m_max ? Acceptable : Invalid;
    }

private:
    int m_max;
};
} // namespace

PropWidget::PropWidget(QWidget *parent) : QDialog(parent), m_ui(new Ui::PropWidget)
{
    registerFormImages();
    m_ui->setupUi(this);
    listBox1 = m_ui->listBox1;
    pixmapLabel1 = m_ui->pixmapLabel1;
    textName = m_ui->textName;
    textAlt = m_ui->textAlt;
    lineAlt = m_ui->lineAlt;
    textHue = m_ui->textHue;
    lineHue = m_ui->lineHue;
    pushButton2 = m_ui->pushButton2;

    lineAlt->setValidator(new QIntValidator(kMinAltitude, kMaxAltitude, lineAlt));
    lineHue->setValidator(new NumberValidator(kMaxHue, lineHue));
    // Choosing a line (double click, Enter) shows it again, as moving onto it does.
    connect(listBox1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { selectTile(listBox1->row(item)); });
    languageChange();
}

PropWidget::~PropWidget() = default;

int PropWidget::parseNumber(const QString &text, bool *ok)
{
    int value = 0;
    const bool number = readNumber(text.simplified().toUpper(), &value);
    if (ok)
        *ok = number;
    return number ? value : 0;
}

void PropWidget::initLandData(const landfix &data)
{
    m_kind = Land;
    m_land = data;
    m_statics.clear();
    m_lines.clear();
    {
        const QSignalBlocker blocker(listBox1);
        listBox1->clear();
        for (const auto &[x, column] : m_land) {
            for (const auto &[y, tile] : column) {
                listBox1->addItem(QStringLiteral("%1,%2,0x%3").arg(x).arg(y).arg(tile.id(), 0, 16));
                m_lines.push_back({x, y, 0});
            }
        }
    }
    updateCaption();
    lineHue->clear();
    if (m_lines.empty())
        return;
    {
        const QSignalBlocker blocker(listBox1);
        listBox1->setCurrentRow(0);
    }
    lineHue->setEnabled(false);
    textHue->setEnabled(false);
    selectTile(0);
}

void PropWidget::initStaticData(const staticfix &data)
{
    m_kind = Statics;
    m_statics = data;
    m_land.clear();
    m_lines.clear();
    {
        const QSignalBlocker blocker(listBox1);
        listBox1->clear();
        for (const auto &[x, column] : m_statics) {
            for (const auto &[y, cell] : column) {
                for (std::size_t i = 0; i < cell.size(); ++i) {
                    listBox1->addItem(QStringLiteral("%1,%2,%3,0x%4")
                                          .arg(x)
                                          .arg(y)
                                          .arg(cell[i].z())
                                          .arg(cell[i].id(), 0, 16));
                    m_lines.push_back({x, y, int(i)});
                }
            }
        }
    }
    updateCaption();
    lineHue->setEnabled(true);
    textHue->setEnabled(true);
    if (m_lines.empty())
        return;
    {
        const QSignalBlocker blocker(listBox1);
        listBox1->setCurrentRow(0);
    }
    selectTile(0);
}

Tile *PropWidget::lineTile(int row)
{
    if (row < 0 || row >= int(m_lines.size()))
        return nullptr;
    const Line &line = m_lines[std::size_t(row)];
    if (m_kind == Land)
        return &m_land[line.x][line.y];
    if (m_kind == Statics)
        return &m_statics[line.x][line.y][std::size_t(line.index)];
    return nullptr;
}

void PropWidget::selectTile(int index)
{
    const Tile *tile = lineTile(index);
    if (!tile)
        return;
    if (m_kind == Land) {
        setPicture(m_art.landArt(tile->id(), 255));
    } else {
        setPicture(m_art.staticArt(tile->id(), 255));
        lineHue->setText(QString::number(tile->hue()));
    }
    textName->setText(tile->name());
    lineAlt->setText(QString::number(tile->z()));
}

void PropWidget::applyButton()
{
    const int row = listBox1->currentRow();
    Tile *tile = lineTile(row);
    if (!tile)
        return;
    bool ok = false;
    int alt = lineAlt->text().simplified().toInt(&ok, 10);
    // An empty or unfinished altitude is no height to move the tile to.
    if (!ok)
        return;
    // A height the field let through while typing (such as 200) goes to the nearest one a
    // tile can have, as the Altitude command does, and the field shows it.
    if (alt < kMinAltitude || alt > kMaxAltitude) {
        alt = std::clamp(alt, kMinAltitude, kMaxAltitude);
        lineAlt->setText(QString::number(alt));
    }
    const int hue = parseNumber(lineHue->text(), &ok); // 0 when not a number
    const Line &line = m_lines[std::size_t(row)];
    const int z = tile->z();

    if (m_kind == Land) {
        if (alt == z)
            return;
        emit tileChange(tile->id(), line.x, line.y, z, hue, alt, Land);
        tile->setZ(alt);
        return;
    }

    // Statics send every Apply: the hue may have changed even when the height did not.
    emit tileChange(tile->id(), line.x, line.y, z, hue, alt, Statics);
    tile->setZ(alt);
    tile->setHue(quint16(std::clamp(hue, 0, 0xFFFF)));
    if (alt != z) {
        listBox1->item(row)->setText(
            QStringLiteral("%1,%2,%3,0x%4").arg(line.x).arg(line.y).arg(alt).arg(tile->id(), 0, 16));
    }
}

void PropWidget::setPicture(const QImage &image)
{
    if (image.isNull()) {
        pixmapLabel1->clear();
        return;
    }
    pixmapLabel1->setPixmap(QPixmap::fromImage(image.scaled(
        kPictureSide, kPictureSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void PropWidget::updateCaption()
{
    switch (m_kind) {
    case Land: setWindowTitle(tr("Land Properties")); break;
    case Statics: setWindowTitle(tr("Static Properties")); break;
    default: setWindowTitle(tr("Properties")); break;
    }
}

void PropWidget::languageChange()
{
    m_ui->retranslateUi(this);
    updateCaption();
}

void PropWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
