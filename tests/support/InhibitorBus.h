#pragma once

#include "tests/support/DBusMock.h"

#include <QList>
#include <QString>
#include <gtest/gtest.h>

// One logind inhibitor as ListInhibitors reports it.
struct ListedInhibitor {
    QString what;
    QString who;
    QString why;
    QString mode;
    bool operator==(const ListedInhibitor &) const = default;
};

// A private bus with the mocks of the services that hold keep-awake locks: logind (the
// dbusmock template) and the two session inhibitors, built with AddMethod. The session mocks
// answer Inhibit with fixed cookies, so tests can tell which cookie came back to Uninhibit.
class InhibitorBus final {
public:
    static constexpr quint32 kGnomeCookie = 7;
    static constexpr quint32 kPowerManagementCookie = 9;
    static const QString kGnome;
    static const QString kPowerManagement;

    // parameters: none for the stock template, otherwise those of
    // tests/platform/mocks/logind_strict.py. A failure carries the mock's own error output.
    ::testing::AssertionResult startLogind(const QVariantMap &parameters = {});
    ::testing::AssertionResult startGnome(const QString &inhibitCode = QString());
    ::testing::AssertionResult startPowerManagement();

    QList<ListedInhibitor> inhibitors();
    // logind drops an inhibitor once it sees its fd close, which it notices on its own time.
    // A failure lists the inhibitors held at the end.
    ::testing::AssertionResult waitForInhibitors(const QList<ListedInhibitor> &expected);
    // The "what" of each inhibitor listed, and a wait (running the event loop) for a given list.
    QStringList whats();
    ::testing::AssertionResult waitForWhats(const QStringList &expected);
    QList<QVariantList> gnomeCalls(const QString &method);
    QList<QVariantList> powerManagementCalls(const QString &method);
    QList<QVariantList> logindCalls(const QString &method);

    DBusMock mock;
};

void PrintTo(const ListedInhibitor &inhibitor, std::ostream *os);
void PrintTo(const QVariant &value, std::ostream *os);
