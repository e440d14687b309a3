#pragma once
// Turns SIGINT/SIGTERM/SIGHUP (console Ctrl+C, close or log-off on Windows) into a
// Qt signal on the main thread, so shut-down runs its normal steps. SIGPIPE is
// ignored while it lives: a closed output is an error to handle, not a death.

#include <QObject>

namespace varne4 {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested();

private:
    struct Impl;
    Impl* impl_;
};

} // namespace varne4
