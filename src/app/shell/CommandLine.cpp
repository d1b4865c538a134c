#include "shell/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <array>

namespace vistrel::CommandLine {

namespace {

// The options QGuiApplication and QApplication take out of argv themselves.
constexpr std::array qtOptionsWithValue{"platform",      "platformpluginpath",
                                        "platformtheme", "plugin",
                                        "qmljsdebugger", "qwindowgeometry",
                                        "qwindowicon",   "qwindowtitle",
                                        "session",       "display",
                                        "geometry",      "title",
                                        "name",          "style",
                                        "stylesheet"};
constexpr std::array qtFlags{"reverse", "nograb", "dograb", "sync", "widgetcount"};

// Qt's own options with their values removed; Qt accepts one or two dashes
// and "-option=value" as well as "-option value".
QStringList withoutQtOptions(const QStringList& arguments) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString name = argument;
        if (i == 0 || !name.startsWith(QLatin1Char('-')) || name == QLatin1String("--")) {
            kept << argument;
            continue;
        }
        name.remove(0, name.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        const bool inlineValue = equals >= 0;
        name.truncate(inlineValue ? equals : name.size());
        const auto is = [&name](const char* option) {
            return name == QLatin1String(option);
        };
        if (std::any_of(qtOptionsWithValue.begin(), qtOptionsWithValue.end(), is)) {
            i += inlineValue ? 0 : 1;
        } else if (!std::any_of(qtFlags.begin(), qtFlags.end(), is) || inlineValue) {
            kept << argument;
        }
    }
    return kept;
}

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Shows the live view of a Steam Frame headset on this computer."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("address"),
        QStringLiteral("The headset's IPv4 address: stream from it at once."),
        QStringLiteral("[address]"));
}

} // namespace

Request parse(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(withoutQtOptions(arguments))) {
        return {Action::Invalid, {}, parser.errorText()};
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        return {Action::Help, {}, {}};
    }
    if (parser.isSet(QStringLiteral("version"))) {
        return {Action::Version, {}, {}};
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        return {Action::Invalid, {}, QStringLiteral("Give at most one address.")};
    }
    return {Action::Run, positional.value(0), {}};
}

QString usage() {
    QCommandLineParser parser;
    describe(parser);
    return parser.helpText();
}

QString version() {
    return QCoreApplication::applicationName() + QLatin1Char(' ') +
           QCoreApplication::applicationVersion() + QLatin1Char('\n');
}

} // namespace vistrel::CommandLine
