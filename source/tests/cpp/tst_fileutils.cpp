// File and URL helpers used by the views.
#include <QFileInfo>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QtTest>

#include "testmain.h"
#include "tessaron/fileutils.h"

class FileUtilsTest : public QObject {
    Q_OBJECT
private slots:
    void localPaths()
    {
        FileUtils utils;
        QCOMPARE(utils.getLocalPath(QUrl::fromLocalFile("/tmp/a b/c")), QString("/tmp/a b/c"));
        QCOMPARE(utils.getLocalPath(QUrl("https://example.org/x")), QString("https://example.org/x"));
        QVERIFY(utils.urlIsValid(QUrl("file:///tmp")));
        QVERIFY(!utils.urlIsValid(QUrl("http://exa mple.org:99999")));
        QCOMPARE(utils.getDownloadPathURL(), QUrl::fromLocalFile(utils.getDownloadPath()));
        QVERIFY(utils.getDownloadPath().startsWith(QDir::homePath()));
    }

    void timestamps()
    {
        FileUtils utils;
        QVERIFY(QRegularExpression("^\\d{8}T\\d{6}$").match(utils.getCurrentTimestamp()).hasMatch());
    }

    void foldersAndWritability()
    {
        FileUtils utils;
        QTemporaryDir dir;
        QVERIFY(utils.isDirWritable(dir.path()));
        QVERIFY(!utils.isDirWritable(dir.path() + "/missing"));
        QVERIFY(utils.makeFolder(dir.path(), "one"));
        QVERIFY(QFileInfo(dir.path() + "/one").isDir());
        QVERIFY(!utils.makeFolder(dir.path(), "one"));            // already there
        QVERIFY(!utils.makeFolder(dir.path(), "two/three"));      // one level only
        QVERIFY(!utils.makeFolder(dir.path(), ".."));
        QVERIFY(!utils.makeFolder(dir.path() + "/missing", "x")); // no parent
        QVERIFY(utils.makeFolder(QUrl::fromLocalFile(dir.path()), "four"));

        // The same answer with and without a trailing separator.
        QVERIFY(utils.folderExixsts(dir.path(), "one"));
        QVERIFY(utils.folderExixsts(dir.path() + "/", "one"));
        QVERIFY(!utils.folderExixsts(dir.path(), "nope"));
        QVERIFY(!utils.folderExixsts(dir.path() + "/", "nope"));

        const QString stamped = utils.makeFolderTimestamp(dir.path(), "run_");
        QVERIFY(!stamped.isEmpty());
        QVERIFY(QFileInfo(stamped).isDir());
        QVERIFY(QRegularExpression("/run_\\d{8}T\\d{6}$").match(stamped).hasMatch());
    }

    // Without a folder to create it in, nothing is created: an empty path or a URL that is
    // not a local file once meant the working directory.
    void makeFolderRefusesPathsThatAreNoFolder()
    {
        FileUtils utils;
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        QVERIFY(!utils.makeFolder(QString(), "x"));
        QVERIFY(!utils.makeFolder(QUrl(), "x"));
        QVERIFY(!utils.makeFolder(QUrl("https://example.org/data"), "x"));
        QVERIFY(!utils.makeFolder(QUrl("relative/folder"), "x"));
        QVERIFY(!utils.makeFolder(QUrl::fromLocalFile(work.path()), ""));
        QCOMPARE(utils.makeFolderTimestamp(QString(), "run_"), QString());
        QDir::setCurrent(before);
        QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // Views reach the helpers through QML, where a text and a url pick different overloads.
    void viewsReachTheHelpersByTheirNames()
    {
        FileUtils utils;
        QTemporaryDir dir;
        QQmlEngine engine;
        engine.rootContext()->setContextProperty("fileUtils", &utils);
        engine.rootContext()->setContextProperty("folder", dir.path());
        engine.rootContext()->setContextProperty("folderUrl", QUrl::fromLocalFile(dir.path()));
        auto run = [&](const QString &code) {
            QQmlExpression expression(engine.rootContext(), nullptr, code);
            const QVariant result = expression.evaluate();
            if (expression.hasError())
                qWarning() << expression.error();
            return result;
        };
        QCOMPARE(run("fileUtils.makeFolder(folder, 'a')").toBool(), true);
        QCOMPARE(run("fileUtils.makeFolder(folderUrl, 'b')").toBool(), true);
        QCOMPARE(run("fileUtils.folderExixsts(folder, 'b')").toBool(), true);
        QCOMPARE(run("fileUtils.makeFolder('', 'c')").toBool(), false);
        QCOMPARE(run("fileUtils.makeFolder(Qt.resolvedUrl('https://example.org/'), 'c')").toBool(), false);
        QCOMPARE(run("typeof fileUtils.openUrl").toString(), QString("function"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), (QStringList{"a", "b"}));
    }

    void timestampFolderWithoutPermission()
    {
        FileUtils utils;
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QFileInfo(dir.path()).isWritable())
            QSKIP("running with rights that ignore folder permissions");
        QVERIFY(!utils.isDirWritable(dir.path()));
        QCOMPARE(utils.makeFolderTimestamp(dir.path(), "run_"), QString());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // A name with a separator could reach into an existing folder or anywhere else when it is
    // absolute; only one new level under the given path is ever made.
    void folderNamesCannotLeaveTheirPath()
    {
        FileUtils utils;
        QTemporaryDir dir;
        QTemporaryDir elsewhere;
        QVERIFY(utils.makeFolder(dir.path(), "two"));
        QVERIFY(!utils.makeFolder(dir.path(), "two/three"));
        QVERIFY(!QFileInfo::exists(dir.path() + "/two/three"));
        QVERIFY(!utils.makeFolder(dir.path(), elsewhere.path() + "/escaped"));
        QVERIFY(!QFileInfo::exists(elsewhere.path() + "/escaped"));
        QVERIFY(!utils.makeFolder(dir.path(), "two\\four"));
        QVERIFY(!QFileInfo::exists(dir.path() + "/two\\four"));
    }
};

TESSARON_TEST_MAIN(QCoreApplication, FileUtilsTest)
#include "tst_fileutils.moc"
