#pragma once
// Drives the real program from inside its own process: started from the application's
// constructor, it waits for the main window, clicks its buttons like a user, reads what the
// views show, keeps screenshots, and ends the program with a pass or fail exit code.
//
// Runs on the GUI thread only; waiting spins the event loop so the program keeps working.

#include <QString>
#include <QStringList>
#include <QVariant>

class QObject;
class QQuickItem;
class QQuickWindow;

namespace e2e {

struct Options {
    QString phase;        // "first" or "restart"
    QString artifactDir;  // screenshots, the program's log and the state shared by the phases
};

class Driver {
public:
    explicit Driver(Options options);

    // Runs the phase; ends the event loop with 0 when every check passed, 1 otherwise.
    void run();

private:
    bool runFirstStart();
    bool runRestart();

    // Steps shared by both phases.
    bool waitForMainWindow();
    bool connectBoard();
    bool disconnectBoard();
    bool ratesMove(QObject *view, const QString &what);

    QQuickItem *findItem(QObject *root, const QString &name) const;
    QVariant eval(const QString &expression);
    QVariant evalIn(QObject *scope, const QString &expression);
    bool waitUntil(const QString &expression, int timeoutMs, const QString &what);
    bool click(QQuickItem *item);
    void screenshot(const QString &name);
    bool check(bool condition, const QString &what);
    void note(const QString &text) const;
    void keepLog() const;
    QString statePath() const;

    Options options_;
    QQuickWindow *window_ = nullptr;
    QStringList failures_;
};

} // namespace e2e
