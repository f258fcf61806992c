#pragma once

#include <QString>

// Short notices on the desktop, outside any window. Best effort: where the desktop shows none,
// nothing is shown and nothing fails.
class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    virtual void notify(const QString &summary, const QString &body) = 0;
};
