#pragma once

#include <QString>
#include <QStringList>

// A modal alert: fixed message and informative texts, shown as plain text.
struct Alert {
    enum class Style { Warning = 0, Informational = 1 };

    Style style = Style::Informational;
    QString messageText;
    QString informativeText;
    QStringList buttonTitles; // empty: the platform's single default button
    bool operator==(const Alert &) const = default;
};
