#include "e2ekit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <exception>

namespace e2e {

namespace {
QQuickWindow *findWindow(const QString &name)
{
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->objectName() == name && window->isVisible())
            return qobject_cast<QQuickWindow *>(window);
    }
    return nullptr;
}
} // namespace

Kit::Kit(Options options) : options_(std::move(options)) {}

void Kit::note(const QString &text) const
{
    // The program sends its standard output into its log file; progress goes to stderr.
    std::fprintf(stderr, "e2e[%s]: %s\n", qPrintable(options_.phase), qPrintable(text));
    std::fflush(stderr);
}

bool Kit::check(bool condition, const QString &what)
{
    note(QStringLiteral("%1 %2").arg(condition ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), what));
    if (!condition)
        failures_ << what;
    return condition;
}

QString Kit::statePath() const
{
    return options_.artifactDir + QStringLiteral("/state.ini");
}

void Kit::run()
{
    QDir().mkpath(options_.artifactDir);
    bool passed = false;
    try {
        passed = runScenario(*this);
    } catch (const std::exception &error) {
        check(false, QStringLiteral("the scenario ends without an exception (%1)").arg(QString::fromLocal8Bit(error.what())));
    }

    keepLog();
    if (!passed || !failures_.isEmpty()) {
        screenshot(QStringLiteral("failure_%1").arg(options_.phase));
        note(QStringLiteral("failed: %1").arg(failures_.join(QStringLiteral("; "))));
        QCoreApplication::exit(1);
        return;
    }
    if (!window_) {
        QCoreApplication::exit(0);
        return;
    }
    note(QStringLiteral("passed; closing the main window"));
    // Closing saves the layout, as a user's close does, and ends the event loop.
    window_->close();
}

bool Kit::waitForMainWindow()
{
    const bool shown = QTest::qWaitFor([this] {
        window_ = findWindow(QStringLiteral("mainWindow"));
        return window_ && window_->isExposed();
    }, kWindowTimeoutMs);
    if (!check(shown, QStringLiteral("the main window appears after the splash")))
        return false;
    return waitUntil(QStringLiteral("homeView.shownBoards.length >= 1"), kConnectTimeoutMs,
                     QStringLiteral("the home view lists the virtual board"));
}

// Walks the visual item tree: items made by repeaters and loaders are not found among the
// QObject children of the view that shows them.
QQuickItem *Kit::findItem(QObject *root, const QString &name) const
{
    QQuickItem *start = nullptr;
    if (auto *window = qobject_cast<QQuickWindow *>(root))
        start = window->contentItem();
    else
        start = qobject_cast<QQuickItem *>(root);
    if (!start)
        return nullptr;
    QList<QQuickItem *> pending{start};
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (!item->isVisible())
            continue;
        if (item->objectName() == name)
            return item;
        pending.append(item->childItems());
    }
    return nullptr;
}

QVariant Kit::evalIn(QObject *scope, const QString &expression)
{
    QQmlContext *context = qmlContext(scope);
    if (!context) {
        check(false, QStringLiteral("a QML context for \"%1\"").arg(expression));
        return {};
    }
    QQmlExpression qmlExpression(context, scope, expression);
    const QVariant value = qmlExpression.evaluate();
    if (qmlExpression.hasError()) {
        note(QStringLiteral("expression \"%1\": %2").arg(expression, qmlExpression.error().toString()));
        return {};
    }
    return value;
}

QVariant Kit::eval(const QString &expression)
{
    return evalIn(window_, expression);
}

bool Kit::waitFor(const std::function<bool()> &condition, int timeoutMs, const QString &what)
{
    return check(QTest::qWaitFor(condition, timeoutMs), what);
}

QQuickItem *Kit::viewItem(const QString &uuid, int timeoutMs)
{
    const QString expression = QStringLiteral("dictView['%1'] !== undefined && dictView['%1'].item !== null").arg(uuid);
    if (!waitUntil(expression, timeoutMs, QStringLiteral("the view \"%1\" is added").arg(uuid)))
        return nullptr;
    return qvariant_cast<QQuickItem *>(eval(QStringLiteral("dictView['%1'].item").arg(uuid)));
}

bool Kit::typeInto(QQuickItem *item, const QString &text)
{
    if (!item || !item->window())
        return false;
    item->forceActiveFocus();
    if (item->property("text").isValid())
        item->setProperty("text", QString());
    // QTest types whole strings into widgets only; a window takes one key at a time.
    for (const QChar character : text)
        QTest::keyClick(item->window(), character.toLatin1());
    QTest::keyClick(item->window(), Qt::Key_Return);
    return true;
}

QString Kit::artifactPath(const QString &name) const
{
    return options_.artifactDir + QLatin1Char('/') + name;
}

bool Kit::waitUntil(const QString &expression, int timeoutMs, const QString &what)
{
    const bool reached = QTest::qWaitFor([&] { return eval(expression).toBool(); }, timeoutMs);
    return check(reached, what);
}

bool Kit::click(QQuickItem *item)
{
    if (!item || !item->window())
        return false;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(item->window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

void Kit::screenshot(const QString &name)
{
    if (!window_)
        return;
    const QString path = options_.artifactDir + QLatin1Char('/') + name + QStringLiteral(".png");
    const QImage image = window_->grabWindow();
    if (image.isNull() || !image.save(path))
        note(QStringLiteral("could not save the screenshot %1").arg(path));
    else
        note(QStringLiteral("screenshot %1").arg(path));
}

void Kit::keepLog() const
{
    const QDir logs(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/logs"));
    const auto files = logs.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Time);
    if (files.isEmpty())
        return;
    const QString target = options_.artifactDir + QStringLiteral("/tessaron_%1.log").arg(options_.phase);
    QFile::remove(target);
    QFile::copy(logs.filePath(files.first()), target);
}

bool Kit::connectBoard(const QString &homeScreenshot, const QString &waitForViewUuid)
{
    eval(QStringLiteral("setViewByUUID('Home')"));
    QQuickItem *pages = findItem(window_, QStringLiteral("boardPages"));
    if (!check(pages != nullptr, QStringLiteral("the home view shows board pages")))
        return false;
    // The pages are laid out once the swipe view has its size.
    const bool laidOut = QTest::qWaitFor([&] {
        return evalIn(pages, QStringLiteral("currentItem !== null && currentItem.x === 0 && currentItem.width > 0")).toBool();
    }, kWindowTimeoutMs);
    check(laidOut, QStringLiteral("the board pages are laid out"));
    auto *page = qvariant_cast<QQuickItem *>(pages->property("currentItem"));
    QQuickItem *button = findItem(page, QStringLiteral("connectButton"));
    if (!check(button && button->property("text").toString() == QLatin1String("CONNECT"),
               QStringLiteral("the board page offers CONNECT")))
        return false;
    QQuickItem *link = findItem(page, QStringLiteral("linkText"));
    check(link && link->property("text").toString() == QLatin1String("USB link"),
          QStringLiteral("the virtual board is listed on a USB link"));
    check(findItem(page, QStringLiteral("virtualNote")) != nullptr,
          QStringLiteral("the page says the board is virtual"));
    if (!homeScreenshot.isEmpty())
        screenshot(homeScreenshot);

    click(button);
    if (!waitUntil(QStringLiteral("tdc_backed.isConnected"), kConnectTimeoutMs, QStringLiteral("CONNECT connects the board")))
        return false;
    check(button->property("text").toString() == QLatin1String("DISCONNECT"),
          QStringLiteral("the button then reads DISCONNECT"));
    if (waitForViewUuid.isEmpty())
        return true;
    return viewItem(waitForViewUuid) != nullptr;
}

bool Kit::disconnectBoard()
{
    eval(QStringLiteral("setViewByUUID('Home')"));
    QQuickItem *pages = findItem(window_, QStringLiteral("boardPages"));
    auto *page = pages ? qvariant_cast<QQuickItem *>(pages->property("currentItem")) : nullptr;
    QQuickItem *button = findItem(page, QStringLiteral("connectButton"));
    if (!check(button && button->property("text").toString() == QLatin1String("DISCONNECT"),
               QStringLiteral("the board page offers DISCONNECT")))
        return false;
    QTest::qWait(300);
    click(button);
    if (!waitUntil(QStringLiteral("!tdc_backed.isConnected"), kConnectTimeoutMs, QStringLiteral("DISCONNECT disconnects")))
        return false;
    return waitUntil(QStringLiteral("frame.leftBar.moduleModel.count === 0 && frame.leftBar.viewsModel.count === 0"),
                     kConnectTimeoutMs, QStringLiteral("the module and sub views are gone after disconnection"));
}

} // namespace e2e
