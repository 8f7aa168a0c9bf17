#pragma once
// Test entry point: every test process gets a private home, configuration, data and run-time
// folder, so settings and logs never touch the real user's, and runs without a display.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace tessaron_test {
inline void isolate(const QString &root)
{
    const QString runtime = root + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
} // namespace tessaron_test

#define TESSARON_TEST_MAIN(AppType, TestObject)                                                  \
    int main(int argc, char *argv[])                                                           \
    {                                                                                          \
        QTemporaryDir root;                                                                    \
        tessaron_test::isolate(root.path());                                                   \
        AppType app(argc, argv);                                                               \
        app.setOrganizationName(QStringLiteral("ORVELL"));                                     \
        app.setApplicationName(QStringLiteral("Tessaron"));                                    \
        TestObject test;                                                                       \
        return QTest::qExec(&test, argc, argv);                                                \
    }
