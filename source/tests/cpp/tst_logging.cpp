// The log line format and colour codes, and the log file of each start.
#include <QFileInfo>
#include <QtTest>

#include <unistd.h>

#include "testmain.h"
#include "tessaron/logfile.h"
#include "tessaron/logging.h"

using namespace tessaron;

class LoggingTest : public QObject {
    Q_OBJECT
private slots:
    void levelTagsAreEightCharacters()
    {
        const QList<QPair<QtMsgType, QString>> tags = {{QtDebugMsg, "DEBUG   "},
                                                       {QtInfoMsg, "INFO    "},
                                                       {QtWarningMsg, "WARNING "},
                                                       {QtCriticalMsg, "CRITICAL"},
                                                       {QtFatalMsg, "FATAL   "}};
        for (const auto &[type, tag] : tags) {
            QCOMPARE(logLevelTag(type), tag);
            QCOMPARE(logLevelTag(type).size(), 8);
        }
    }

    void warningFromBackslashPathIsYellowAndPadded()
    {
        const QMessageLogContext context("C:\\a\\b\\widget.src", 12, "f", "default");
        const QString line = formatLogLine(QtWarningMsg, context, QStringLiteral("hello"));
        const QString expected = QStringLiteral("\x1b[1;33m[WARNING ] Tessaron : ")
            + QStringLiteral("widget.src:12").leftJustified(35) + QStringLiteral(":: hello\x1b[0m");
        QCOMPARE(line, expected);
    }

    void colourDependsOnLevel()
    {
        const QMessageLogContext context("/src/x.cpp", 3, "f", "default");
        QVERIFY(formatLogLine(QtCriticalMsg, context, "m").startsWith("\x1b[31m[CRITICAL]"));
        QVERIFY(formatLogLine(QtFatalMsg, context, "m").startsWith("\x1b[31m[FATAL   ]"));
        QVERIFY(formatLogLine(QtCriticalMsg, context, "m").endsWith("m\x1b[0m"));
        const QString debug = formatLogLine(QtDebugMsg, context, "m");
        const QString info = formatLogLine(QtInfoMsg, context, "m");
        QVERIFY(!debug.contains(QChar(0x1b)));
        QVERIFY(!info.contains(QChar(0x1b)));
        QVERIFY(debug.startsWith("[DEBUG   ] Tessaron : x.cpp:3 "));
        QVERIFY(info.startsWith("[INFO    ] Tessaron : x.cpp:3 "));
    }

    void longLocationIsNeverCut()
    {
        const QByteArray file = "/deep/" + QByteArray(50, 'n') + ".cpp";
        const QMessageLogContext context(file.constData(), 123456, "f", "default");
        const QString line = formatLogLine(QtInfoMsg, context, "m");
        QCOMPARE(line, "[INFO    ] Tessaron : " + QString(50, 'n') + ".cpp:123456:: m");
    }

    void messageWithoutContextAndPercentSigns()
    {
        const QMessageLogContext context;
        const QString line = formatLogLine(QtInfoMsg, context, QStringLiteral("100%1 %2 done"));
        QCOMPARE(line, "[INFO    ] Tessaron : " + QStringLiteral(":0").leftJustified(35)
                           + ":: 100%1 %2 done");
    }

    void secondStartInSameSecondKeepsFirstLog()
    {
        QTemporaryDir dir;
        const QDateTime start(QDate(2026, 3, 4), QTime(5, 6, 7));
        LogFile first = createLogFile(dir.path(), start);
        QVERIFY(first.fd >= 0);
        QCOMPARE(first.path, dir.path() + "/logs/2026_03_04_05_06_07.txt");
        QCOMPARE(::write(first.fd, "first", 5), ssize_t(5));
        ::close(first.fd);

        LogFile second = createLogFile(dir.path(), start);
        QVERIFY(second.fd >= 0);
        QVERIFY(second.path != first.path);
        QCOMPARE(second.path, dir.path() + "/logs/2026_03_04_05_06_07_1.txt");
        ::close(second.fd);

        QFile kept(first.path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("first"));
    }

    void unwritableFolderGivesNoFile()
    {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QFileInfo(dir.path()).isWritable())
            QSKIP("running with rights that ignore folder permissions");
        const LogFile file = createLogFile(dir.path(), QDateTime::currentDateTime());
        QCOMPARE(file.fd, -1);
        QVERIFY(file.path.isEmpty());
        LogFile copy = file;
        QVERIFY(!redirectStdout(copy));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, LoggingTest)
#include "tst_logging.moc"
