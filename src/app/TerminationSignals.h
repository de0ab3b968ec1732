#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface thread, so that the
// program ends the way closing its window does (a running conversion is cancelled and its
// unfinished files removed) instead of dying with half-written outputs. A second signal while
// that is under way ends the process at once with the signal's default action.
// One instance per process, created on the user-interface thread.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();
    QSocketNotifier* notifier_ = nullptr;
};
