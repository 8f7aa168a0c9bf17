// The command-line rules: library log level, program filter rules, baud rate.
#include <QCommandLineParser>
#include <QtTest>

#include "testmain.h"
#include "tessaron/application.h"
#include "tessaron/commandline.h"

using namespace tessaron;

namespace {
StartupOptions parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    addStartupOptions(parser);
    const bool ok = parser.parse(QStringList{"Tessaron"} + arguments);
    if (!ok)
        qFatal("parse failed: %s", qPrintable(parser.errorText()));
    return readStartupOptions(parser);
}

QString ruleSet(const QList<bool> &on)
{
    const QStringList names = {"*.debug", "*.info", "*.warning", "*.critical", "*.fatal",
                               "qt.*.debug", "qt.*.info", "qt.*.warning", "qt.*.critical"};
    QString text;
    for (int i = 0; i < names.size(); ++i)
        text += names[i] + (on[i] ? "=true\n" : "=false\n");
    return text;
}
} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void libraryLogLevel_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("level");
        QTest::newRow("absent") << QStringList{} << 3;
        QTest::newRow("9 clamps to 6") << QStringList{"--debug_libtdc", "9"} << 6;
        QTest::newRow("abc") << QStringList{"-d", "abc"} << 3;
        QTest::newRow("empty") << QStringList{"--debug_libtdc="} << 0;
        QTest::newRow("4") << QStringList{"-d", "4"} << 4;
        QTest::newRow("negative is not digits") << QStringList{"--debug_libtdc=-1"} << 3;
        QTest::newRow("too large to read") << QStringList{"-d", "99999999999999999999"} << 0;
        QTest::newRow("first value counts") << QStringList{"-d", "1", "-d", "5"} << 1;
    }
    void libraryLogLevel()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, level);
        QCOMPARE(parse(arguments).libtdcLogLevel, level);
    }

    void frontendRules()
    {
        QVERIFY(!parse({}).filterRules.has_value());
        QVERIFY(!parse({"-D", "x"}).filterRules.has_value());
        QCOMPARE(*parse({"--debug_frontend", "7"}).filterRules, ruleSet({false, false, false, false, false, false, false, false, false}));
        QCOMPARE(*parse({"-D", "0"}).filterRules, ruleSet({true, true, true, true, true, true, true, true, true}));
        QCOMPARE(*parse({"-D", "1"}).filterRules, ruleSet({true, false, true, true, true, true, false, true, true}));
        QCOMPARE(*parse({"-D", "2"}).filterRules, ruleSet({false, false, true, true, true, false, false, true, true}));
        QCOMPARE(*parse({"-D", "3"}).filterRules, ruleSet({false, false, false, true, true, false, false, false, true}));
        QCOMPARE(*parse({"-D", "4"}).filterRules, ruleSet({false, false, false, false, true, false, false, false, false}));
        QCOMPARE(*parse({"--debug_frontend="}).filterRules, filterRuleSet(0));
    }

    void baudRate()
    {
        const StartupOptions defaults = parse({});
        QCOMPARE(defaults.backendOptions.size(), std::size_t(1));
        QCOMPARE(defaults.backendOptions.at("baudrate"), std::string("2000000"));
        QCOMPARE(parse({"--baudrate", "115200"}).backendOptions.at("baudrate"), std::string("115200"));
        // Handed on as text, unchecked: the device library judges it.
        QCOMPARE(parse({"-b", "fast"}).backendOptions.at("baudrate"), std::string("fast"));
    }

    void versionTexts()
    {
        QCOMPARE(QString(kApplicationVersion), QString("1.4.2.2"));
        const QRegularExpression shape("^Version \\S+ built by \\S+ at \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d $");
        QVERIFY2(shape.match(buildInformation()).hasMatch(), qPrintable(buildInformation()));
        QVERIFY(!isReleaseBuild());
    }

    void consoleIsAcceptedAndUnknownOptionsAreRefused()
    {
        const StartupOptions options = parse({"-c"});
        QCOMPARE(options.libtdcLogLevel, 3);
        QCommandLineParser parser;
        addStartupOptions(parser);
        QVERIFY(!parser.parse({"Tessaron", "--no-such-option"}));
        QVERIFY(!parser.errorText().isEmpty());
    }
};

TESSARON_TEST_MAIN(QCoreApplication, CommandLineTest)
#include "tst_commandline.moc"
