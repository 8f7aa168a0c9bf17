// Plugin discovery over a plugins folder of fixtures (two valid plugins, a library that is not
// a plugin, a plugin of another interface, files that are not libraries) and the linking rule.
#include <QDir>
#include <QFile>
#include <QtTest>

#include "fakeplugin.h"
#include "plugin-contract/moduleobject.h"
#include "testmain.h"
#include "tessaron/pluginhost.h"

using namespace tessaron;

namespace {
QList<QPair<QtMsgType, QString>> g_messages;

void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    g_messages.append({type, message});
}

struct MessageCapture {
    MessageCapture() : previous(qInstallMessageHandler(collect)) { g_messages.clear(); }
    ~MessageCapture() { qInstallMessageHandler(previous); }
    QStringList of(QtMsgType type) const
    {
        QStringList texts;
        for (const auto &[t, text] : g_messages)
            if (t == type)
                texts.append(text);
        return texts;
    }
    QtMessageHandler previous;
};

bool copyFixture(const QString &name, const QString &to)
{
    const QString from = QStringLiteral(FIXTURE_PLUGIN_DIR "/%1/lib%1.so").arg(name);
    QDir().mkpath(QFileInfo(to).path());
    return QFile::copy(from, to);
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}
} // namespace

class PluginHostTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_root;
    QVector<ModuleObject *> m_plugins;
    QStringList m_warnings;
    QStringList m_debug;

private slots:
    void initTestCase()
    {
        const QString plugins = m_root.path() + "/plugins";
        QVERIFY(copyFixture("FixtureAlpha", plugins + "/Alpha/libFixtureAlpha.so"));
        QVERIFY(copyFixture("FixtureBeta", plugins + "/Beta/libFixtureBeta.so"));
        QVERIFY(copyFixture("FixtureOther", plugins + "/Other/libFixtureOther.so"));
        QVERIFY(copyFixture("FixtureNotAPlugin", plugins + "/Junk/libnotaplugin.so"));
        writeText(plugins + "/Junk/abc.dll", "not a library");
        writeText(plugins + "/Junk/notes.dllx", "not a library either");
        writeText(plugins + "/Junk/readme.txt", "text");
        QVERIFY(QDir().mkpath(m_root.path() + "/release"));

        MessageCapture capture;
        // The application folder is "release": the plugins folder sits one level up.
        m_plugins = loadPluginModules(m_root.path() + "/release", "plugins");
        m_warnings = capture.of(QtWarningMsg);
        m_debug = capture.of(QtDebugMsg);
    }

    void cleanupTestCase()
    {
        qDeleteAll(m_plugins);
    }

    void pluginsFolderIsFoundBesideDebugOrRelease()
    {
        QCOMPARE(pluginsPath("/opt/t/release", "plugins"), QString("/opt/t/plugins"));
        QCOMPARE(pluginsPath("/opt/t/Debug", "plugins"), QString("/opt/t/plugins"));
        QCOMPARE(pluginsPath("/opt/t/bin", "plugins"), QString("/opt/t/bin/plugins"));
    }

    void libraryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("tried");
        QTest::newRow("abc.dll") << "abc.dll" << true;
        QTest::newRow("libabc.so") << "libabc.so" << true;
        QTest::newRow("libFennick.so") << "libFennick.so" << true;
        QTest::newRow("notes.dllx") << "notes.dllx" << false;
        QTest::newRow("versioned") << "libabc.so.1" << false;
        QTest::newRow("text") << "readme.txt" << false;
        QTest::newRow("bare suffix") << ".so" << false;
        QTest::newRow("upper case") << "ABC.DLL" << false;
    }
    void libraryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, tried);
        QCOMPARE(looksLikePluginLibrary(name), tried);
    }

    void onlyPluginsOfTheInterfaceLoad()
    {
        QCOMPARE(m_plugins.size(), 2);
        QCOMPARE(m_plugins[0]->name(), QString("Alpha"));
        QCOMPARE(m_plugins[1]->name(), QString("Beta"));
        for (ModuleObject *plugin : qAsConst(m_plugins))
            QCOMPARE(plugin->plugin()->property("registerTypesCalls").toInt(), 1);
    }

    void filesThatAreNotPluginsAreReportedAndSkipped()
    {
        QVERIFY2(m_warnings.contains("File abc.dll is not a valid plugin!"), qPrintable(m_warnings.join('\n')));
        QVERIFY(m_warnings.contains("File libnotaplugin.so is not a valid plugin!"));
        // The plugin of another interface is skipped silently, the other files are not tried.
        QCOMPARE(m_warnings.filter("is not a valid plugin").size(), 2);
        QVERIFY(m_warnings.filter("Other").isEmpty());
        QVERIFY(m_warnings.filter("notes.dllx").isEmpty());
        QVERIFY(m_debug.contains("entries in plugin Junk: abc.dll, libnotaplugin.so"));
    }

    void moduleObjectReportsIconAsViewIdentifier()
    {
        ModuleObject *alpha = m_plugins[0];
        QCOMPARE(alpha->property("uuid").toString(), QString("alpha-icon"));
        QCOMPARE(alpha->property("icon").toString(), QString("alpha-icon"));
        QCOMPARE(alpha->pluginUuid(), QString("AlphaView"));
        QCOMPARE(alpha->property("view").toString(), QString("qrc:/plugin/alpha/View.qml"));
        QCOMPARE(alpha->property("priority").toInt(), 5);
        QCOMPARE(alpha->property("version").toString(), QString("0.1.0"));
        QVERIFY(alpha->modelList().isEmpty());
    }

    void firstLoadedCompatiblePluginGetsTheModule()
    {
        QObject backend;
        FakeModule a(0x77), b(0x55), c(0x77, {9, 10, 11}, {12, 13, 14}), d(0x99);
        linkHardwareAndPluginModules({&a, &b, &c, &d}, m_plugins, &backend);

        const QList<TDCBaseExtensionObject *> alpha = m_plugins[0]->modelList();
        const QList<TDCBaseExtensionObject *> beta = m_plugins[1]->modelList();
        QCOMPARE(alpha.size(), 2);
        QCOMPARE(beta.size(), 1);
        QCOMPARE(alpha[0]->hardwareModule(), static_cast<TessaronModule *>(&a));
        QCOMPARE(alpha[1]->hardwareModule(), static_cast<TessaronModule *>(&c));
        QCOMPARE(beta[0]->hardwareModule(), static_cast<TessaronModule *>(&b));
        QCOMPARE(alpha[0]->parent(), &backend);
        QCOMPARE(alpha[1]->property("hwVersion").toString(), QString("v9.10.11"));
        QCOMPARE(alpha[1]->property("swVersion").toString(), QString("v12.13.14"));

        QCOMPARE(findModelByUUID(m_plugins, beta[0]->modelUUID()), beta[0]);
        QCOMPARE(findModelByUUID(m_plugins, alpha[1]->modelUUID()), alpha[1]);
        QCOMPARE(findModelByUUID(m_plugins, "{not-a-model}"), nullptr);

        for (ModuleObject *plugin : qAsConst(m_plugins))
            plugin->takeModels();   // the models die with `backend`
    }

    void missingPluginsFolderLoadsNothing()
    {
        QTemporaryDir empty;
        QDir(empty.path()).mkpath("bin/Alpha");
        QVERIFY(copyFixture("FixtureAlpha", empty.path() + "/bin/Alpha/libFixtureAlpha.so"));
        MessageCapture capture;
        const QVector<ModuleObject *> plugins = loadPluginModules(empty.path() + "/bin", "plugins");
        QVERIFY(plugins.isEmpty());
        // An error, and the plugin beside the program is not taken instead.
        QCOMPARE(capture.of(QtCriticalMsg).filter("does not exist").size(), 1);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, PluginHostTest)
#include "tst_pluginhost.moc"
