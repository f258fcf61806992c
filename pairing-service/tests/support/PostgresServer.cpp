#include "PostgresServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

QString findBinDir() {
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    const QStringList entries = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const QString bin = versions.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/postgres")))
            return bin;
    }
    return {};
}

} // namespace

PostgresServer::PostgresServer()
    : m_dir(QDir::tempPath() + QStringLiteral("/korvella-pg-XXXXXX"))
    , m_binDir(findBinDir()) {
    if (m_binDir.isEmpty()) {
        m_reason = QStringLiteral("PostgreSQL server programs not found under /usr/lib/postgresql "
                                  "(Debian package postgresql)");
        return;
    }
    if (!m_dir.isValid()) {
        m_reason = QStringLiteral("no temporary directory");
        return;
    }
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid,
                               nobody->pw_gid) != 0) {
            m_reason = QStringLiteral("running as root and cannot hand a directory to nobody");
            return;
        }
        m_asNobody = {QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                      QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                      QStringLiteral("--clear-groups")};
    }
    QString output;
    if (!run(m_binDir + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-U"),
              QStringLiteral("korvella"), QStringLiteral("--auth=trust"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--no-sync"),
              QStringLiteral("--no-instructions")},
             &output)) {
        m_reason = QStringLiteral("initdb failed: ") + output;
        return;
    }
    if (!start()) {
        m_reason = QStringLiteral("the server did not start: ") +
                   QString::fromLocal8Bit(m_server.readAll());
        return;
    }
    if (!run(m_binDir + QStringLiteral("/createdb"),
             {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"), QStringLiteral("korvella"),
              QStringLiteral("pairing")},
             &output))
        m_reason = QStringLiteral("createdb failed: ") + output;
}

PostgresServer::~PostgresServer() {
    stop();
}

QString PostgresServer::databaseUrl() const {
    return QStringLiteral("postgresql:///pairing?host=%1&user=korvella").arg(m_dir.path());
}

QStringList PostgresServer::wrapped(const QString &program, const QStringList &arguments) const {
    // setpriv sets the parent-death signal after switching users, which would clear it.
    return m_asNobody +
           QStringList{QStringLiteral("--pdeathsig=INT"), QStringLiteral("--"), program} +
           arguments;
}

bool PostgresServer::start() {
    // No TCP at all; -F: no fsync, a test database need not survive a power cut.
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setWorkingDirectory(m_dir.path());
    m_server.start(QStringLiteral("setpriv"),
                   wrapped(m_binDir + QStringLiteral("/postgres"),
                           {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                            QStringLiteral("-k"), m_dir.path(), QStringLiteral("-c"),
                            QStringLiteral("listen_addresses="), QStringLiteral("-F")}));
    QElapsedTimer waited;
    waited.start();
    while (m_server.state() != QProcess::NotRunning && waited.elapsed() < 30000) {
        if (run(m_binDir + QStringLiteral("/pg_isready"),
                {QStringLiteral("-q"), QStringLiteral("-h"), m_dir.path()}))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool PostgresServer::stop() {
    if (m_server.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(m_server.processId()), SIGINT); // fast shutdown: ends open sessions
    return m_server.waitForFinished(30000);
}

bool PostgresServer::run(const QString &program, const QStringList &arguments, QString *output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral("setpriv"), wrapped(program, arguments));
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
