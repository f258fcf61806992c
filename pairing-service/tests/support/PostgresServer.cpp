#include "PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

QString findBinDir() {
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    const QStringList entries = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const QString bin = versions.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")))
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
    m_asNobody = ::geteuid() == 0;
    if (m_asNobody) {
        if (!QFile::exists(QStringLiteral("/usr/sbin/runuser")) &&
            !QFile::exists(QStringLiteral("/sbin/runuser"))) {
            m_reason = QStringLiteral("running as root and runuser is missing");
            return;
        }
        if (!run(QStringLiteral("chown"), {QStringLiteral("nobody"), m_dir.path()})) {
            m_reason = QStringLiteral("running as root and cannot hand a directory to nobody");
            return;
        }
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
        m_reason =
            QStringLiteral("the server did not start; its log:\n") + QString::fromLocal8Bit([&] {
                QFile log(m_dir.filePath(QStringLiteral("log")));
                return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
            }());
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

bool PostgresServer::start() {
    // No TCP at all; -F: no fsync, a test database need not survive a power cut.
    m_running =
        run(m_binDir + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-l"),
             m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-o"),
             QStringLiteral("-k %1 -c listen_addresses= -F").arg(m_dir.path()),
             QStringLiteral("start")});
    return m_running;
}

bool PostgresServer::stop() {
    if (!m_running)
        return true;
    m_running =
        !run(m_binDir + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
              QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
    return !m_running;
}

bool PostgresServer::run(const QString &program, const QStringList &arguments, QString *output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    if (m_asNobody && program != QLatin1String("chown"))
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("nobody"),
                                  QStringLiteral("--"), program} +
                          arguments);
    else
        process.start(program, arguments);
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
