#pragma once

#include <QString>

// How a keep-awake period ended, and why in the user's words, e.g. "電源已拔除".
struct PeriodEnd {
    enum class Cause {
        user,   // stopped from the menu, the command line or by quitting
        timeUp, // its countdown reached zero
        rule    // a protective rule ended it
    };
    Cause cause = Cause::user;
    QString why;

    // Ended without the user asking for it at that moment.
    bool byItself() const { return cause != Cause::user; }
};
