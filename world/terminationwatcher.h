#pragma once
#include <QObject>

class QSocketNotifier;

// Turns SIGTERM (logout, shutdown, a service manager) into a Qt signal on the GUI thread.
// The handler itself only writes one byte into a pipe: nothing else is safe there. The
// byte wakes a socket notifier, and everything the program does about it (writing the
// changed blocks out, ending the run) happens in the event loop. One per process.
class TerminationWatcher : public QObject
{
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;
    // False when the pipe or the handler could not be set up (then SIGTERM ends the run
    // as it always would).
    bool isActive() const { return m_notifier != nullptr; }
    // True once a SIGTERM was taken in this process. A request that arrives while no event
    // loop runs yet (a splash screen waiting for the window) cannot end one, so the start
    // asks this before it enters the main loop.
    static bool wasRequested();

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
