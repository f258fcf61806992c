#include "tests/support/InhibitorBus.h"

#include "tests/support/WaitUntil.h"

#include <QDBusArgument>
#include <QDeadlineTimer>
#include <QThread>
#include <ostream>

namespace {
const QString kLogind = "org.freedesktop.login1";
const QString kLogindPath = "/org/freedesktop/login1";
const QString kGnomePath = "/org/gnome/SessionManager";
const QString kPowerManagementPath = "/org/freedesktop/PowerManagement/Inhibit";

::testing::AssertionResult result(bool ok, const DBusMock &mock) {
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << mock.errorString().toStdString();
}

// Both session services: Inhibit answers by `inhibitCode`, the release takes the cookie.
bool startSessionInhibitor(DBusMock &mock, const QString &service, const QString &path,
                           const QString &iface, const QString &inhibitSignature,
                           const QString &inhibitCode, const QString &release) {
    return mock.startObject(service, path, iface) &&
           mock.addMethod(service, path, iface, "Inhibit", inhibitSignature, "u", inhibitCode) &&
           mock.addMethod(service, path, iface, release, "u", QString(), QString());
}
} // namespace

const QString InhibitorBus::kGnome = QStringLiteral("org.gnome.SessionManager");
const QString InhibitorBus::kPowerManagement = QStringLiteral("org.freedesktop.PowerManagement");

::testing::AssertionResult InhibitorBus::startLogind(const QVariantMap &parameters) {
    if (parameters.isEmpty())
        return result(mock.startTemplate("logind"), mock);
    return result(mock.startTemplate(KORVELLA_PLATFORM_MOCKS "/logind_strict.py", parameters),
                  mock);
}

::testing::AssertionResult InhibitorBus::startGnome(const QString &inhibitCode) {
    const QString code =
        inhibitCode.isEmpty() ? QString("ret = %1").arg(kGnomeCookie) : inhibitCode;
    return result(
        startSessionInhibitor(mock, kGnome, kGnomePath, kGnome, "susu", code, "Uninhibit"), mock);
}

::testing::AssertionResult InhibitorBus::startPowerManagement() {
    return result(startSessionInhibitor(mock, kPowerManagement, kPowerManagementPath,
                                        "org.freedesktop.PowerManagement.Inhibit", "ss",
                                        QString("ret = %1").arg(kPowerManagementCookie),
                                        "UnInhibit"),
                  mock);
}

QList<ListedInhibitor> InhibitorBus::inhibitors() {
    const QDBusMessage reply = mock.connection().call(QDBusMessage::createMethodCall(
        kLogind, kLogindPath, "org.freedesktop.login1.Manager", "ListInhibitors"));
    QList<ListedInhibitor> listed;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return listed;
    // a(ssssuu): what, who, why, mode, uid, pid.
    const auto array = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    array.beginArray();
    while (!array.atEnd()) {
        ListedInhibitor inhibitor;
        quint32 uid = 0;
        quint32 pid = 0;
        array.beginStructure();
        array >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> uid >> pid;
        array.endStructure();
        listed << inhibitor;
    }
    array.endArray();
    return listed;
}

::testing::AssertionResult InhibitorBus::waitForInhibitors(const QList<ListedInhibitor> &expected) {
    const QDeadlineTimer deadline(3000);
    while (inhibitors() != expected) {
        if (deadline.hasExpired())
            return ::testing::AssertionFailure() << ::testing::PrintToString(inhibitors());
        QThread::msleep(10);
    }
    return ::testing::AssertionSuccess();
}

QStringList InhibitorBus::whats() {
    QStringList whats;
    for (const ListedInhibitor &inhibitor : inhibitors())
        whats << inhibitor.what;
    return whats;
}

::testing::AssertionResult InhibitorBus::waitForWhats(const QStringList &expected) {
    if (waitUntil([&] { return whats() == expected; }, 3000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << whats().join(u',').toStdString();
}

QList<QVariantList> InhibitorBus::gnomeCalls(const QString &method) {
    return mock.methodCalls(kGnome, kGnomePath, method);
}

QList<QVariantList> InhibitorBus::powerManagementCalls(const QString &method) {
    return mock.methodCalls(kPowerManagement, kPowerManagementPath, method);
}

QList<QVariantList> InhibitorBus::logindCalls(const QString &method) {
    return mock.methodCalls(kLogind, kLogindPath, method);
}

void PrintTo(const ListedInhibitor &inhibitor, std::ostream *os) {
    *os << '{' << inhibitor.what.toStdString() << ", " << inhibitor.who.toStdString() << ", "
        << inhibitor.why.toStdString() << ", " << inhibitor.mode.toStdString() << '}';
}

void PrintTo(const QVariant &value, std::ostream *os) {
    *os << value.typeName() << '(' << value.toString().toStdString() << ')';
}
