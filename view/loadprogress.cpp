#include "view/loadprogress.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

LoadProgress::LoadProgress(QWidget *parent, const QString &caption, const QString &label)
    : m_dialog(std::make_unique<QProgressDialog>(label, QStringLiteral("Cancel"), 0, 1000, parent))
{
    m_dialog->setObjectName(QStringLiteral("loadProgress"));
    m_dialog->setWindowTitle(caption);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(500);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
}

LoadProgress::~LoadProgress() = default;

bool LoadProgress::report(qint64 done, qint64 total)
{
    // Per mille, whatever the sizes: the dialog's range is an int.
    const int value = total > 0 ? int(std::clamp<qint64>(done * 1000 / total, 0, 1000)) : 0;
    if (value != m_dialog->value())
        m_dialog->setValue(value); // lets events run while the dialog is modal and shown
    else
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return !m_dialog->wasCanceled();
}

void LoadProgress::noMoreCancel(const QString &label)
{
    m_dialog->setCancelButton(nullptr);
    m_dialog->setLabelText(label);
}

bool LoadProgress::cancelled() const
{
    return m_dialog->wasCanceled();
}
