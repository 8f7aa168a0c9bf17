#include "tessaron/commandline.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <array>

namespace tessaron {

namespace {
bool digitsOnly(const QString &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

int readLevel(const QString &digits)
{
    bool ok = false;
    const int value = digits.toInt(&ok);
    return ok ? value : 0;
}

const QString kBaudrate = QStringLiteral("baudrate");
const QString kLibtdc = QStringLiteral("debug_libtdc");
const QString kFrontend = QStringLiteral("debug_frontend");
} // namespace

void addStartupOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Tessaron helper"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({{QStringLiteral("c"), QStringLiteral("console")},
                      QStringLiteral("Start application with debug console. (Only LINUX).")});
    parser.addOption({{QStringLiteral("b"), kBaudrate},
                      QStringLiteral("Set baudrate for serial connection."),
                      QStringLiteral("baud")});
    parser.addOption({{QStringLiteral("d"), kLibtdc},
                      QStringLiteral("Set log level of libtdc to debug."),
                      QStringLiteral("level")});
    parser.addOption({{QStringLiteral("D"), kFrontend},
                      QStringLiteral("Set log level of Tessaron to info."),
                      QStringLiteral("level")});
}

StartupOptions readStartupOptions(const QCommandLineParser &parser)
{
    StartupOptions options;
    if (parser.isSet(kBaudrate)) {
        const QStringList values = parser.values(kBaudrate);
        if (!values.isEmpty())
            options.backendOptions["baudrate"] = values.first().toStdString();
    }
    if (parser.isSet(kLibtdc)) {
        const QStringList values = parser.values(kLibtdc);
        options.libtdcLogLevel = libtdcLogLevel(values.value(0));
    }
    if (parser.isSet(kFrontend)) {
        const QStringList values = parser.values(kFrontend);
        options.filterRules = frontendFilterRules(values.value(0));
    }
    return options;
}

int libtdcLogLevel(const QString &value)
{
    if (!digitsOnly(value))
        return 3;
    return std::clamp(readLevel(value), 0, 6);
}

std::optional<QString> frontendFilterRules(const QString &value)
{
    if (!digitsOnly(value))
        return std::nullopt;
    return filterRuleSet(readLevel(value));
}

QString filterRuleSet(int level)
{
    static const std::array<const char *, 9> categories = {
        "*.debug", "*.info", "*.warning", "*.critical", "*.fatal",
        "qt.*.debug", "qt.*.info", "qt.*.warning", "qt.*.critical"};
    // Which categories each level leaves on; level 5 and above switches everything off.
    static const std::array<std::array<bool, 9>, 6> table = {{
        {true, true, true, true, true, true, true, true, true},
        {true, false, true, true, true, true, false, true, true},
        {false, false, true, true, true, false, false, true, true},
        {false, false, false, true, true, false, false, false, true},
        {false, false, false, false, true, false, false, false, false},
        {false, false, false, false, false, false, false, false, false},
    }};
    const auto &row = table[std::size_t(std::clamp(level, 0, 5))];
    QString rules;
    for (std::size_t i = 0; i < categories.size(); ++i)
        rules += QLatin1String(categories[i]) + (row[i] ? QStringLiteral("=true\n") : QStringLiteral("=false\n"));
    return rules;
}

} // namespace tessaron
