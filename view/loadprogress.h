#pragma once
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

// The progress window of a long load: shown only when the load takes more than a moment,
// window-modal (so no edit can start meanwhile), with Cancel unless the load is past the
// point where it can still stop unchanged.
class LoadProgress
{
public:
    LoadProgress(QWidget *parent, const QString &caption, const QString &label);
    ~LoadProgress();
    LoadProgress(const LoadProgress &) = delete;
    LoadProgress &operator=(const LoadProgress &) = delete;

    // Shows how far the load is; false once the user has asked to cancel.
    bool report(qint64 done, qint64 total);
    // From now on the load runs to its end: no Cancel.
    void noMoreCancel(const QString &label);
    bool cancelled() const;

private:
    std::unique_ptr<QProgressDialog> m_dialog;
};
