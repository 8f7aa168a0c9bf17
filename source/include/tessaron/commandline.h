#pragma once
// The program's command line: which options exist and what each given option changes.
// Pure functions over the parser's result, so the rules are testable without starting the
// program.

#include <QString>

#include <map>
#include <optional>
#include <string>

class QCommandLineParser;

namespace tessaron {

using BackendOptions = std::map<std::string, std::string>;

struct StartupOptions {
    BackendOptions backendOptions{{"baudrate", "2000000"}};
    int libtdcLogLevel = 3;
    // Logging filter rules to install; none means Qt's defaults stay.
    std::optional<QString> filterRules;
};

// Adds help, version, console, baudrate, debug_libtdc and debug_frontend.
void addStartupOptions(QCommandLineParser &parser);
// Reads the options of a parser that has already parsed the command line.
StartupOptions readStartupOptions(const QCommandLineParser &parser);

// Device-library log level for a given option value: digits only (empty counts) reads as a
// number clamped to 0…6, a number too large to read counts as 0; anything else gives 3.
int libtdcLogLevel(const QString &value);
// The filter rule set for a given option value, or none when the value is not all digits.
std::optional<QString> frontendFilterRules(const QString &value);
// The rule set of level n (0 shows everything, 5 and above nothing).
QString filterRuleSet(int level);

} // namespace tessaron
