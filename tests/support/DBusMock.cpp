#include "tests/support/DBusMock.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr int kCallTimeoutMs = 5000;
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// No <servicedir>: nothing is ever activated, only what the test starts is on the bus.
constexpr char kDaemonConfig[] =
    "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";

std::unique_ptr<QProcess> newChildProcess() {
    auto process = std::make_unique<QProcess>();
    // A crashed test must not leave daemons behind.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    return process;
}

void stop(QProcess &process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kStopTimeoutMs)) {
        process.kill();
        process.waitForFinished(kStopTimeoutMs);
    }
}

QString outputOf(QProcess &process) {
    return QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
}
} // namespace

DBusMock::DBusMock()
    : m_dir(QDir::tempPath() + QStringLiteral("/korvella-dbus-XXXXXX"))
    , m_connection(QString()) {
    if (!startDaemon())
        return;
    static int connections = 0;
    m_connectionName = QStringLiteral("korvella-dbusmock-%1").arg(++connections);
    m_connection = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!m_connection.isConnected())
        m_error = QStringLiteral("cannot connect to %1: %2")
                      .arg(m_address, m_connection.lastError().message());
}

DBusMock::~DBusMock() {
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    for (auto it = m_services.rbegin(); it != m_services.rend(); ++it)
        stop(*it->process);
    if (m_daemon)
        stop(*m_daemon);
}

bool DBusMock::startDaemon() {
    const QString configPath = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(kDaemonConfig).arg(m_dir.filePath("bus")).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration in %1").arg(m_dir.path());
        return false;
    }
    config.close();
    m_daemon = newChildProcess();
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                     QStringLiteral("--config-file=") + configPath});
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_daemon->canReadLine() && m_daemon->waitForReadyRead(deadline.remainingTime())) {
    }
    m_address = QString::fromLocal8Bit(m_daemon->readLine()).trimmed();
    if (m_address.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon did not start: %1 %2")
                      .arg(m_daemon->errorString(), outputOf(*m_daemon));
        return false;
    }
    return true;
}

QProcessEnvironment DBusMock::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    return environment;
}

bool DBusMock::startTemplate(const QString &name, const QVariantMap &parameters) {
    QStringList arguments{QStringLiteral("--template"), name};
    if (!parameters.isEmpty())
        arguments << QStringLiteral("--parameters")
                  << QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters))
                                           .toJson(QJsonDocument::Compact));
    return startMock(arguments, QString());
}

bool DBusMock::startObject(const QString &busName, const QString &path, const QString &interface) {
    return startMock({busName, path, interface}, busName);
}

// busName empty: the name is the template's, found as the one the new process owns.
bool DBusMock::startMock(const QStringList &arguments, const QString &busName) {
    if (!isRunning())
        return false;
    auto process = newChildProcess();
    process->setProcessEnvironment(environment());
    process->setStandardOutputFile(QProcess::nullDevice()); // dbusmock logs every call there
    process->start(QStringLiteral("/usr/bin/python3"),
                   QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + arguments);
    const QDeadlineTimer deadline(kStartTimeoutMs);
    QString owned;
    while (owned.isEmpty() && !deadline.hasExpired() && process->state() != QProcess::NotRunning) {
        QThread::msleep(10);
        owned = nameOwnedBy(process->processId());
        if (!busName.isEmpty() && owned != busName)
            owned.clear();
    }
    if (owned.isEmpty()) {
        m_error = QStringLiteral("dbusmock %1 did not appear on the bus: %2")
                      .arg(arguments.join(QLatin1Char(' ')), outputOf(*process));
        stop(*process);
        return false;
    }
    m_services.push_back({std::move(process), owned});
    return true;
}

QString DBusMock::nameOwnedBy(qint64 pid) const {
    QDBusConnectionInterface *bus = m_connection.interface();
    const QStringList names = bus->registeredServiceNames().value();
    for (const QString &name : names) {
        if (!name.startsWith(QLatin1Char(':')) && bus->servicePid(name).value() == pid)
            return name;
    }
    return {};
}

bool DBusMock::stopService(const QString &busName) {
    for (auto it = m_services.begin(); it != m_services.end(); ++it) {
        if (it->busName == busName) {
            stop(*it->process);
            m_services.erase(it);
            return true;
        }
    }
    m_error = QStringLiteral("no mock owns %1").arg(busName);
    return false;
}

QDBusMessage DBusMock::call(const QDBusMessage &message, const QString &what) {
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        m_error = QStringLiteral("%1 on %2: %3").arg(what, message.service(), reply.errorMessage());
    return reply;
}

QDBusMessage DBusMock::callMock(const QString &busName, const QString &path, const QString &method,
                                const QVariantList &arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(busName, path, kMockInterface, method);
    message.setArguments(arguments);
    return call(message, method);
}

bool DBusMock::setProperty(const QString &busName, const QString &path, const QString &interface,
                           const QString &name, const QVariant &value) {
    QDBusMessage set = QDBusMessage::createMethodCall(
        busName, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << interface << name << QVariant::fromValue(QDBusVariant(value));
    return call(set, QStringLiteral("setting ") + name).type() == QDBusMessage::ReplyMessage;
}

bool DBusMock::addMethod(const QString &busName, const QString &path, const QString &interface,
                         const QString &name, const QString &inSignature,
                         const QString &outSignature, const QString &code) {
    return callMock(busName, path, QStringLiteral("AddMethod"),
                    {interface, name, inSignature, outSignature, code})
               .type() == QDBusMessage::ReplyMessage;
}

QList<QVariantList> DBusMock::methodCalls(const QString &busName, const QString &path,
                                          const QString &method) {
    const QDBusMessage reply = callMock(busName, path, QStringLiteral("GetMethodCalls"), {method});
    QList<QVariantList> calls;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return calls;
    // a(tav): (timestamp, arguments) per call.
    const auto log = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    log.beginArray();
    while (!log.atEnd()) {
        qulonglong timestamp = 0;
        QVariantList arguments;
        log.beginStructure();
        log >> timestamp >> arguments;
        log.endStructure();
        calls << arguments;
    }
    log.endArray();
    return calls;
}
