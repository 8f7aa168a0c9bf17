#pragma once
// Helpers of the windowed chart tests: pictures kept as artifacts, colour comparison with a
// tolerance for the software renderer, and a window with one chart that repaints on every
// request.
#include "chartelle/chartarea.h"

#include <QAtomicInt>
#include <QDir>
#include <QImage>
#include <QQuickWindow>
#include <QtTest>

namespace charttest {

inline const QColor Background(Qt::white);
inline const QColor BarColor(Qt::red);

inline bool near(const QColor &a, const QColor &b, int tolerance = 40)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

inline QString artifact(const QString &name)
{
    QDir().mkpath(QStringLiteral(CHARTELLE_ARTIFACT_DIR));
    return QDir(QStringLiteral(CHARTELLE_ARTIFACT_DIR)).filePath(QStringLiteral("chartelle-") + name);
}

struct ChartWindow
{
    explicit ChartWindow(int w = 400, int h = 300)
    {
        window.setColor(Background);
        window.resize(w, h);
        chart = new ChartArea(window.contentItem());
        chart->setSize(QSizeF(w, h));
        chart->setUpdateIntervalMs(0);
        // frameSwapped comes from the render thread when rendering is threaded.
        QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [this] { frames.ref(); },
                         Qt::DirectConnection);
    }
    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window, 20000);
    }
    QImage grab(const QString &name)
    {
        const QImage image = window.grabWindow();
        image.save(artifact(name + QStringLiteral(".png")));
        return image;
    }
    QQuickWindow window;
    ChartArea *chart = nullptr;
    QAtomicInt frames;
};

}  // namespace charttest
