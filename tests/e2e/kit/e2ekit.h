#pragma once
// The end-to-end kit: drives the real program from inside its own process. Started from the
// application's constructor, it waits for the main window, clicks its buttons like a user,
// reads what the views show, keeps screenshots, and ends the program with a pass or fail exit
// code. A test brings one scenario (`runScenario`, below); the kit brings everything else.
//
// Runs on the GUI thread only; waiting spins the event loop so the program keeps working.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class QObject;
class QQuickItem;
class QQuickWindow;

namespace e2e {

struct Options {
    QString phase;        // the scenario's phase name, e.g. "first" or "restart"
    QString artifactDir;  // screenshots, the program's log and the state shared by the phases
};

// Generous: the machine is a loaded two-core VM rendering with a software rasteriser.
constexpr int kWindowTimeoutMs = 60000;
constexpr int kConnectTimeoutMs = 60000;

class Kit {
public:
    explicit Kit(Options options);

    // Runs the scenario's phase; ends the event loop with 0 when every check passed, 1 otherwise.
    void run();

    const QString &phase() const { return options_.phase; }
    const QString &artifactDir() const { return options_.artifactDir; }
    QQuickWindow *window() const { return window_; }
    bool passedSoFar() const { return failures_.isEmpty(); }

    // Waits for the main window after the splash and for the home view to list a board.
    bool waitForMainWindow();
    // Presses CONNECT on the home view's board page and waits for the connection and for the
    // view `waitForViewUuid` (the counter view by default; empty waits for none). The home
    // view is captured as `homeScreenshot` first when it is not empty.
    bool connectBoard(const QString &homeScreenshot = QString(),
                      const QString &waitForViewUuid = QStringLiteral("stopwatch"));
    bool disconnectBoard();

    // The view item registered under `uuid` (dictView[uuid].item), after waiting for it.
    QQuickItem *viewItem(const QString &uuid, int timeoutMs = kConnectTimeoutMs);
    // Walks the visual item tree for a visible item with that objectName.
    QQuickItem *findItem(QObject *root, const QString &name) const;
    // Evaluates in the main window's context, or in `scope`'s; invalid on error (logged).
    QVariant eval(const QString &expression);
    QVariant evalIn(QObject *scope, const QString &expression);
    bool waitUntil(const QString &expression, int timeoutMs, const QString &what);
    bool waitFor(const std::function<bool()> &condition, int timeoutMs, const QString &what);
    bool click(QQuickItem *item);
    // Gives an item keyboard focus and types the text followed by Return.
    bool typeInto(QQuickItem *item, const QString &text);
    void screenshot(const QString &name);
    bool check(bool condition, const QString &what);
    void note(const QString &text) const;
    // A file in the artifact folder.
    QString artifactPath(const QString &name) const;
    // An INI file the phases share (e.g. identifiers made in the first start).
    QString statePath() const;

private:
    void keepLog() const;

    Options options_;
    QQuickWindow *window_ = nullptr;
    QStringList failures_;
};

// Defined by each end-to-end test: runs the phase `kit.phase()`, returns false to fail (the
// kit also fails when any check failed).
bool runScenario(Kit &kit);

} // namespace e2e
