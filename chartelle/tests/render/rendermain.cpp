// Windowed chart tests (Xvfb, Mesa's software renderer). Rendering runs on its own thread, as
// on users' machines, so the tests meet the render thread's timing.
#include <QGuiApplication>

int runRenderTests(int argc, char **argv);
int runStressTests(int argc, char **argv);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QSG_RENDER_LOOP"))
        qputenv("QSG_RENDER_LOOP", "threaded");
    QGuiApplication app(argc, argv);
    int failed = runRenderTests(argc, argv);
    failed += runStressTests(argc, argv);
    return failed;
}
