#include "tests/support/InhibitorBus.h"

#include <QDBusArgument>
#include <QDeadlineTimer>
#include <QThread>
#include <ostream>

namespace {
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kGnomePath = QStringLiteral("/org/gnome/SessionManager");
const QString kPowerManagementPath = QStringLiteral("/org/freedesktop/PowerManagement/Inhibit");
const QString kPowerManagementInterface = QStringLiteral("org.freedesktop.PowerManagement.Inhibit");

::testing::AssertionResult result(bool ok, const DBusMock &mock) {
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << mock.errorString().toStdString();
}
} // namespace

const QString InhibitorBus::kGnome = QStringLiteral("org.gnome.SessionManager");
const QString InhibitorBus::kPowerManagement = QStringLiteral("org.freedesktop.PowerManagement");

::testing::AssertionResult InhibitorBus::startLogind(const QVariantMap &parameters) {
    if (parameters.isEmpty())
        return result(mock.startTemplate(QStringLiteral("logind")), mock);
    return result(
        mock.startTemplate(QStringLiteral(KORVELLA_PLATFORM_MOCKS "/logind_strict.py"), parameters),
        mock);
}

::testing::AssertionResult InhibitorBus::startGnome(const QString &inhibitCode) {
    const QString code =
        inhibitCode.isEmpty() ? QStringLiteral("ret = %1").arg(kGnomeCookie) : inhibitCode;
    return result(mock.startObject(kGnome, kGnomePath, kGnome) &&
                      mock.addMethod(kGnome, kGnomePath, kGnome, QStringLiteral("Inhibit"),
                                     QStringLiteral("susu"), QStringLiteral("u"), code) &&
                      mock.addMethod(kGnome, kGnomePath, kGnome, QStringLiteral("Uninhibit"),
                                     QStringLiteral("u"), QString(), QString()),
                  mock);
}

::testing::AssertionResult InhibitorBus::startPowerManagement() {
    const QString iface = kPowerManagementInterface;
    return result(
        mock.startObject(kPowerManagement, kPowerManagementPath, iface) &&
            mock.addMethod(kPowerManagement, kPowerManagementPath, iface, QStringLiteral("Inhibit"),
                           QStringLiteral("ss"), QStringLiteral("u"),
                           QStringLiteral("ret = %1").arg(kPowerManagementCookie)) &&
            mock.addMethod(kPowerManagement, kPowerManagementPath, iface,
                           QStringLiteral("UnInhibit"), QStringLiteral("u"), QString(), QString()),
        mock);
}

QList<ListedInhibitor> InhibitorBus::inhibitors() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kLogind, kLogindPath, QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("ListInhibitors"));
    const QDBusMessage reply = mock.connection().call(call);
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
