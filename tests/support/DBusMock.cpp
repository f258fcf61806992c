#include "tests/support/DBusMock.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUuid>

#include "tests/support/WaitUntil.h"

#include <csignal>
#include <sys/prctl.h>

namespace {
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// No <servicedir>: nothing is ever activated, only what the test starts is on the bus.
constexpr char kDaemonConfig[] =
    "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>";

std::unique_ptr<QProcess> newChildProcess(const QString &program, const QStringList &arguments,
                                          const QProcessEnvironment &environment) {
    auto process = std::make_unique<QProcess>();
    // A crashed test must not leave daemons behind.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->setProcessEnvironment(environment);
    if (!program.endsWith(QLatin1String("dbus-daemon")))
        process->setStandardOutputFile(QProcess::nullDevice()); // dbusmock logs every call there
    process->start(program, arguments);
    return process;
}

void stop(QProcess &process) {
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill(), process.waitForFinished(3000);
}

QString errorOutput(QProcess &process) {
    return QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
}
} // namespace

DBusMock::DBusMock()
    : m_dir(QDir::tempPath() + QStringLiteral("/korvella-dbus-XXXXXX")) {
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(kDaemonConfig).arg(m_dir.filePath("bus")).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration in %1").arg(m_dir.path());
        return;
    }
    config.close();
    m_daemon = newChildProcess(QStringLiteral("dbus-daemon"),
                               {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                QStringLiteral("--config-file=") + config.fileName()},
                               QProcessEnvironment::systemEnvironment());
    waitUntil([this] { return m_daemon->canReadLine() || !m_daemon->processId(); }, 10000);
    m_address = QString::fromLocal8Bit(m_daemon->readLine()).trimmed();
    m_connection = QDBusConnection::connectToBus(m_address, QUuid::createUuid().toString());
    if (!m_connection.isConnected())
        m_error = QStringLiteral("dbus-daemon at '%1': %2 %3")
                      .arg(m_address, m_connection.lastError().message(), errorOutput(*m_daemon));
}

DBusMock::~DBusMock() {
    QDBusConnection::disconnectFromBus(m_connection.name());
    for (auto it = m_services.rbegin(); it != m_services.rend(); ++it)
        stop(*it->first);
    if (m_daemon)
        stop(*m_daemon);
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
    auto process = newChildProcess(
        QStringLiteral("/usr/bin/python3"),
        QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + arguments, environment());
    QString owned;
    QDBusConnectionInterface *bus = m_connection.interface();
    waitUntil(
        [&] {
            for (const QString &name : bus->registeredServiceNames().value()) {
                if (!name.startsWith(QLatin1Char(':')) && (busName.isEmpty() || name == busName) &&
                    bus->servicePid(name).value() == process->processId())
                    owned = name;
            }
            return !owned.isEmpty() || process->state() == QProcess::NotRunning;
        },
        10000);
    if (owned.isEmpty()) {
        m_error = QStringLiteral("dbusmock %1 did not appear on the bus: %2")
                      .arg(arguments.join(QLatin1Char(' ')), errorOutput(*process));
        stop(*process);
        return false;
    }
    m_services.emplace_back(std::move(process), owned);
    return true;
}

bool DBusMock::stopService(const QString &busName) {
    for (auto it = m_services.begin(); it != m_services.end(); ++it) {
        if (it->second == busName) {
            stop(*it->first);
            m_services.erase(it);
            return true;
        }
    }
    m_error = QStringLiteral("no mock owns %1").arg(busName);
    return false;
}

QDBusMessage DBusMock::call(const QDBusMessage &message) {
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        m_error = QStringLiteral("%1 on %2: %3")
                      .arg(message.member(), message.service(), reply.errorMessage());
    return reply;
}

QDBusMessage DBusMock::callMock(const QString &busName, const QString &path, const QString &method,
                                const QVariantList &arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(busName, path, kMockInterface, method);
    message.setArguments(arguments);
    return call(message);
}

bool DBusMock::setProperty(const QString &busName, const QString &path, const QString &interface,
                           const QString &name, const QVariant &value) {
    QDBusMessage set = QDBusMessage::createMethodCall(
        busName, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << interface << name << QVariant::fromValue(QDBusVariant(value));
    return call(set).type() == QDBusMessage::ReplyMessage;
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
    // a(tav): (timestamp, arguments) per call.
    const auto log = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
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
