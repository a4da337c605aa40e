#include "dialogs/helpcommand.h"
#include "dialogs/formimages.h"
#include "ui_helpcommand.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>

#include <utility>

namespace {
QString section(const QString &heading, const QString &line)
{
    return QStringLiteral("<h3>%1</h3><p>%2</p>").arg(heading, line);
}

QString plainText(QString text)
{
    text.remove(QLatin1Char('&'));
    return text.trimmed();
}
} // namespace

HelpCommand::HelpCommand(QWidget *parent) : QDialog(parent), m_ui(new Ui::HelpCommand)
{
    registerFormImages();
    m_ui->setupUi(this);
    textBrowser2 = m_ui->textBrowser2;
    languageChange();
}

HelpCommand::~HelpCommand() = default;

// "Menu > Entry: key" for every action of the parent window that has a key, in the order
// the window made them.
QString HelpCommand::menuKeys() const
{
    const QWidget *window = parentWidget() ? parentWidget()->window() : nullptr;
    if (!window)
        return QString();
    QStringList rows;
    for (const QAction *action : window->findChildren<QAction *>()) {
        const QKeySequence key = action->shortcut();
        if (key.isEmpty() || action->text().isEmpty())
            continue;
        QString where = plainText(action->text());
        for (const QObject *owner : action->associatedObjects()) {
            if (const auto *menu = qobject_cast<const QMenu *>(owner)) {
                where = plainText(menu->title()) + QStringLiteral(" \u2192 ") + where;
                break;
            }
        }
        rows << QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                    .arg(where.toHtmlEscaped(), key.toString(QKeySequence::NativeText).toHtmlEscaped());
    }
    if (rows.isEmpty())
        return QString();
    return QStringLiteral("<h3>%1</h3><table cellspacing=\"4\">%2</table>")
        .arg(tr("Menu keys"), rows.join(QString()));
}

void HelpCommand::languageChange()
{
    m_ui->retranslateUi(this);
    // One heading and one line per entry, in the order a newcomer needs them: moving
    // about, then painting, then editing the selection.
    const std::pair<const char *, const char *> entries[] = {
        {QT_TR_NOOP("Scrolling"),
         QT_TR_NOOP("The Up and Down arrows move the view along the map's Y axis, Left and Right "
                    "along its X axis, one cell at a time.")},
        {QT_TR_NOOP("Rotation"),
         QT_TR_NOOP("Home turns the view back by one degree, End forward by one degree, "
                    "between 0 and 360.")},
        {QT_TR_NOOP("Zoom"), QT_TR_NOOP("Turn the mouse wheel, or press + and -.")},
        {QT_TR_NOOP("Tilt"),
         QT_TR_NOOP("Page Up and Page Down tilt the view by one degree (only in 3D mode).")},
        {QT_TR_NOOP("Shift"),
         QT_TR_NOOP("Held with any of the keys above, Shift makes each step larger: 8 cells "
                    "when scrolling, 45 degrees when turning, 10 degrees when tilting, twice "
                    "the zoom step.")},
        {QT_TR_NOOP("Painting"), QT_TR_NOOP("Painting is done by choosing a tile in the palette.")},
        {QT_TR_NOOP("Insert"),
         QT_TR_NOOP("Switches paint mode on and off. In paint mode, clicking a cell places the "
                    "palette's tile there. Without a tile chosen in the palette, paint mode "
                    "cannot be entered.")},
        {QT_TR_NOOP("Selected tiles"),
         QT_TR_NOOP("The keys below act on the selected tiles. Selecting is not available in 3D "
                    "mode, though tiles selected before can still be changed there. What can "
                    "be selected, land or statics, is set in Edit \u2192 Selection.")},
        {QT_TR_NOOP("Delete"),
         QT_TR_NOOP("Deletes the selected tiles: selected statics are removed, selected land "
                    "becomes land tile 0 at its height.")},
        {QT_TR_NOOP("Ctrl+Arrow"),
         QT_TR_NOOP("Ctrl+Up, Ctrl+Down, Ctrl+Left and Ctrl+Right move the selected statics one "
                    "cell up, down, left or right on the screen.")},
        {QT_TR_NOOP("Ctrl+Page Up / Ctrl+Page Down"),
         QT_TR_NOOP("Ctrl+Page Up moves the selected statics one cell up the Y axis (Y - 1), "
                    "Ctrl+Page Down one cell along the X axis (X + 1).")},
        {QT_TR_NOOP("Ctrl+Home / Ctrl+End"),
         QT_TR_NOOP("Ctrl+Home moves the selected statics one cell back along the X axis "
                    "(X - 1), Ctrl+End one cell down the Y axis (Y + 1).")},
        {QT_TR_NOOP("Elevation: F1 / F2"),
         QT_TR_NOOP("F1 raises the selected tiles by one, F2 lowers them by one.")},
        {QT_TR_NOOP("Cancel: Escape"),
         QT_TR_NOOP("Cancels the current operation (a pending move, a rubber band or paint "
                    "mode); with none under way, unselects all tiles.")},
        {QT_TR_NOOP("Moving or copying statics"),
         QT_TR_NOOP("Double-click the selected statics; when the cursor turns into a pointing "
                    "hand, click the target cell. Hold Ctrl while clicking the target to copy "
                    "the statics instead of moving them.")},
    };
    QString html;
    for (const auto &[heading, line] : entries)
        html += section(tr(heading), tr(line));
    html += menuKeys();
    html += QStringLiteral("<p><i>%1</i></p>").arg(tr("Remember: selecting is not enabled in 3D mode."));
    textBrowser2->setHtml(html);
}

void HelpCommand::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
