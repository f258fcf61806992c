#include "platform/DesktopEntry.h"

#include <QStringList>
#include <algorithm>

namespace DesktopEntry {
namespace {
// Characters that make an Exec argument need quotes.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
// Characters that must be escaped with a backslash inside a quoted argument.
const QString kQuoteEscaped = QStringLiteral("\"`$\\");

QString unescapeValue(const QString &value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += next;
            break;
        }
    }
    return out;
}

QString escapeValue(const QString &value) {
    QString out;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}
} // namespace

Entries parse(const QString &text) {
    Entries entries;
    bool inGroup = false;
    for (const QString &rawLine : text.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0)
            entries.insert(line.left(equals).trimmed(),
                           unescapeValue(line.mid(equals + 1).trimmed()));
    }
    return entries;
}

QString execValue(const QString &program) {
    QString argument = program;
    if (std::any_of(program.begin(), program.end(),
                    [](QChar c) { return kReserved.contains(c); })) {
        argument.clear();
        for (const QChar c : program) {
            if (kQuoteEscaped.contains(c))
                argument += QLatin1Char('\\');
            argument += c;
        }
        argument = QLatin1Char('"') + argument + QLatin1Char('"');
    }
    argument.replace(QLatin1Char('%'), QLatin1String("%%"));
    return escapeValue(argument);
}

std::optional<QString> execProgram(const QString &exec) {
    QString program;
    const QString text = exec.trimmed();
    if (!text.startsWith(QLatin1Char('"'))) {
        program = text.section(QLatin1Char(' '), 0, 0);
    } else {
        qsizetype i = 1;
        for (; i < text.size() && text.at(i) != QLatin1Char('"'); ++i) {
            if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size())
                ++i;
            program += text.at(i);
        }
        if (i == text.size())
            return std::nullopt; // no closing quote
    }
    program.replace(QLatin1String("%%"), QLatin1String("%"));
    if (program.isEmpty())
        return std::nullopt;
    return program;
}

} // namespace DesktopEntry
