#include "app/acquisition/batch_runner.h"

#include "formats/frame_names.h"
#include "formats/numbers.h"
#include "formats/regular_file.h"
#include "formats/save_file.h"
#include "formats/training_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace acquisition {

BatchProgressContent parseBatchProgress(const QByteArray& content) {
    BatchProgressContent result;
    const QList<QByteArray> lines = content.split('\n');
    QByteArray first = lines.value(0);
    if (first.endsWith('\r'))
        first.chop(1);
    result.line = QString::fromUtf8(first);
    bool hasDigit = false;
    for (const char c : first)
        hasDigit |= c >= '0' && c <= '9';
    if (hasDigit)
        result.frame = formats::toInt32(formats::leadingNumber(first.toStdString()));
    if (lines.size() > 1)
        result.failure = QString::fromUtf8(lines.at(1)).trimmed();
    return result;
}

QString notAnalysedMessage(const std::vector<std::int32_t>& frames) {
    if (frames.empty())
        return {};
    QStringList numbers;
    for (const std::int32_t n : frames)
        numbers << QString::number(n);
    return (frames.size() == 1 ? QStringLiteral("Frame ") : QStringLiteral("Frames ")) +
           numbers.join(QStringLiteral(", ")) + QStringLiteral(" could not be analysed");
}

std::vector<std::int32_t> parseNotAnalysed(const QByteArray& content) {
    std::vector<std::int32_t> frames;
    for (const QByteArray& line : content.split('\n')) {
        bool ok = false;
        const int n = line.trimmed().toInt(&ok);
        if (ok && n >= 0 && n <= kBatchLastFrame)
            frames.push_back(n);
    }
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

namespace {

// " after frame 17 of 300", or " before its first frame" when none was finished.
QString reachedText(const BatchStatus& status, bool anyFrame) {
    if (!anyFrame)
        return QStringLiteral("before its first frame");
    return QStringLiteral("after frame ") + QString::number(status.frame) + QStringLiteral(" of ") +
           QString::number(kBatchLastFrame);
}

} // namespace

BatchRunner::BatchRunner(platform::Services services) : m_services(std::move(services)) {}

BatchRunner::~BatchRunner() {
    if (m_status.state == BatchStatus::State::Running)
        stop();
    release();
}

QString BatchRunner::failedFramesPath() const {
    return m_services.programFolder + QLatin1Char('/') +
           QLatin1String(kBatchFailedFramesFileName);
}

QString BatchRunner::lockPath() const {
    return m_services.programFolder + QLatin1Char('/') + QLatin1String(kBatchLockFileName);
}

namespace {

// The lock of a program folder, taken without waiting: the descriptor, or -1 and why not.
// A test (`create` false) of a lock file that does not exist finds no batch and makes nothing.
int takeLock(const QString& path, const QString& programFolder, QString* error,
             bool create = true) {
    // A link in its place is never followed (its target, wherever it points, is neither made
    // nor opened), and only a regular file is taken as the lock.
    const int fd =
        ::open(QFile::encodeName(path).constData(),
               O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_CREAT : 0), 0644);
    if (fd < 0 && !create && errno == ENOENT)
        return -1;
    if (fd < 0) {
        *error = QStringLiteral("Cannot open ") + path + QStringLiteral(": ") +
                 (errno == ELOOP ? QStringLiteral("it is a symbolic link")
                                 : QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = QStringLiteral("Cannot open ") + path + QStringLiteral(": not a regular file");
        return -1;
    }
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        const int why = errno;
        ::close(fd);
        *error = why == EWOULDBLOCK
                     ? QStringLiteral("Another batch is running in ") + programFolder +
                           QStringLiteral("; it must end before a new one starts")
                     : QStringLiteral("Cannot lock ") + path + QStringLiteral(": ") +
                           QString::fromLocal8Bit(std::strerror(why));
        return -1;
    }
    return fd;
}

} // namespace

QString BatchRunner::reserve() {
    if (m_lockFd >= 0)
        return {};
    QString error;
    m_lockFd = takeLock(lockPath(), m_services.programFolder, &error);
    // What writers of the program folder, killed on the way, left under temporary names: the
    // batch file's own writer works only under this lock; the others' temporaries are kept
    // while their writer (any Vermalux) still runs.
    if (m_lockFd >= 0)
        formats::removeLeftTemporaries(
            m_services.programFolder.toStdString(),
            {kBatchFileName, formats::kPreviewFileName, formats::kTrainingFileName});
    return error;
}

QString BatchRunner::hold() {
    if (QString busy = readyForNext(); !busy.isEmpty())
        return busy;
    return reserve();
}

void BatchRunner::release() {
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

QString BatchRunner::scriptPath() const {
    return m_services.programFolder + QLatin1Char('/') + QLatin1String(kBatchFileName);
}

QString BatchRunner::progressPath() const {
    return m_services.programFolder + QLatin1Char('/') + QLatin1String(kBatchProgressFileName);
}

bool BatchRunner::groupRunning() const {
    return m_pid && m_services.launcher->isGroupRunning(*m_pid);
}

QString BatchRunner::readyForNext() {
    // A batch of another runner (another Vermalux) holds the lock of the program folder.
    auto otherBatch = [this]() -> QString {
        if (m_lockFd >= 0)
            return {};
        QString error;
        const int fd = takeLock(lockPath(), m_services.programFolder, &error, false);
        if (fd >= 0)
            ::close(fd);
        return error;
    };
    if (!m_pid || !m_services.launcher->isGroupRunning(*m_pid))
        return otherBatch();
    // A batch that recorded its last frame is only exiting: give it a moment.
    const bool finishing = m_status.state == BatchStatus::State::Finished;
    const std::int64_t until = m_services.clock->monotonicMs() + 2000;
    while (finishing && m_services.launcher->isGroupRunning(*m_pid) &&
           m_services.clock->monotonicMs() < until)
        m_services.clock->pause(10);
    if (!m_services.launcher->isGroupRunning(*m_pid))
        return otherBatch();
    return QStringLiteral("A batch is still running (it reached frame ") +
           QString::number(m_status.frame) +
           QStringLiteral("); it must end or be stopped before the next one starts");
}

QString BatchRunner::start(const BatchScript& script,
                           const std::function<QString()>& beforeLaunch) {
    if (QString busy = readyForNext(); !busy.isEmpty())
        return busy;
    const bool wasReserved = reserved();
    if (QString busy = reserve(); !busy.isEmpty())
        return busy;
    // A lock taken here is given back when the batch does not start.
    auto fail = [&](const QString& message) {
        if (!wasReserved)
            release();
        return message;
    };
    const QString progress = progressPath();
    removeProgressTemporaries();
    if (QFileInfo::exists(progress) && !QFile::remove(progress))
        return fail(QStringLiteral("Cannot delete ") + progress);
    if (QFileInfo::exists(failedFramesPath()) && !QFile::remove(failedFramesPath()))
        return fail(QStringLiteral("Cannot delete ") + failedFramesPath());
    const QByteArray text = script.text.toUtf8();
    const std::string error = formats::saveFileAtomic(
        scriptPath().toStdString(), std::string_view(text.constData(), text.size()));
    if (!error.empty())
        return fail(QString::fromStdString(error));
    if (beforeLaunch) {
        if (QString refused = beforeLaunch(); !refused.isEmpty())
            return fail(refused);
    }
    m_status = BatchStatus{};
    m_scratch = script.scratchFiles;
    // What converters of an attempt cut short (killed with their program) left under
    // temporary names beside this batch's frames.
    removeScratch(false);
    // The batch holds its own copy of the lock for as long as any of its processes lives.
    m_pid = m_services.launcher->startJob(QStringLiteral("/bin/sh"), {scriptPath()},
                                          m_services.programFolder, m_lockFd);
    if (!m_pid)
        return fail(QStringLiteral("Cannot start /bin/sh on ") + scriptPath());
    m_status.state = BatchStatus::State::Running;
    m_lastAdvanceMs = m_services.clock->monotonicMs();
    return {};
}

BatchStatus BatchRunner::poll() {
    m_status.advanced = false;
    if (m_status.state != BatchStatus::State::Running)
        return m_status;
    // Whether it runs is asked before the file is read: a batch that records 300 and ends
    // between the two is then read as finished, never as ended early.
    const bool alive = m_services.launcher->isGroupRunning(*m_pid);
    BatchProgressContent content;
    std::string head, error;
    if (formats::readRegularFileHead(progressPath().toStdString(), 4096, head, error))
        content = parseBatchProgress(QByteArray::fromStdString(head));
    const std::int64_t now = m_services.clock->monotonicMs();
    if (content.frame && (*content.frame != m_status.frame || m_status.line.isEmpty())) {
        m_status.advanced = true;
        m_status.frame = *content.frame;
        m_status.line = content.line;
        m_lastAdvanceMs = now;
    }
    const bool anyFrame = !m_status.line.isEmpty();
    if (!content.failure.isEmpty()) {
        endEarly(content.failure + QStringLiteral("; the batch ended ") +
                 reachedText(m_status, anyFrame));
    } else if (m_status.frame >= kBatchLastFrame) {
        // The frames that failed belong to the result: a record of them that cannot be read
        // (not a regular file, far too large) ends the batch early rather than passing every
        // frame off as analysed.
        std::string failed;
        bool missing = false;
        if (formats::readRegularFile(failedFramesPath().toStdString(), failed, error, &missing,
                                     kFailedFramesMaxBytes) ||
            missing) {
            m_status.state = BatchStatus::State::Finished;
            m_status.notAnalysed = parseNotAnalysed(QByteArray::fromStdString(failed));
            // What a converter killed on the way left under a temporary name goes now.
            removeScratch(false);
        } else {
            endEarly(QString::fromStdString(error) + QStringLiteral("; the batch ended ") +
                     reachedText(m_status, anyFrame));
        }
    } else if (!alive) {
        endEarly(QStringLiteral("The batch ended early, ") + reachedText(m_status, anyFrame));
    } else if (now - m_lastAdvanceMs >= m_stallLimitMs) {
        endEarly(QStringLiteral("The batch made no progress for ") +
                 QString::number(m_stallLimitMs / 1000) + QStringLiteral(" s and was stopped ") +
                 reachedText(m_status, anyFrame));
    }
    return m_status;
}

void BatchRunner::endEarly(const QString& message) {
    if (m_pid)
        m_services.launcher->stopGroup(*m_pid);
    removeScratch();
    m_status.state = BatchStatus::State::EndedEarly;
    m_status.message = message;
}

bool BatchRunner::stop() {
    bool ended = true;
    if (m_pid)
        ended = m_services.launcher->stopGroup(*m_pid);
    removeScratch();
    if (m_status.state == BatchStatus::State::Running) {
        m_status.state = BatchStatus::State::Stopped;
        m_status.message = QStringLiteral("The batch was stopped ") +
                           reachedText(m_status, !m_status.line.isEmpty());
    }
    return ended;
}

namespace {

// The name a writer gives a file while it writes it: the file's name, ".tmp", its process id
// and, from the program's own writers, "_" and a count ("x.pgm.tmp4711_0").
const QRegularExpression kTemporarySuffix(QStringLiteral("^\\.tmp[0-9]+(_[0-9]+)?$"));

} // namespace

void BatchRunner::removeScratch(bool withFiles) const {
    QMap<QString, QSet<QString>> byFolder;
    for (const QString& path : m_scratch) {
        const QFileInfo info(path);
        byFolder[info.path()].insert(info.fileName());
    }
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
        const QDir dir(it.key());
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
            // The file itself, or a temporary name its writer made beside it.
            const qsizetype temporary = name.lastIndexOf(QStringLiteral(".tmp"));
            if ((withFiles && it.value().contains(name)) ||
                (temporary > 0 && it.value().contains(name.left(temporary)) &&
                 kTemporarySuffix.match(name.mid(temporary)).hasMatch()))
                QFile::remove(dir.filePath(name));
        }
    }
    removeProgressTemporaries();
}

void BatchRunner::removeProgressTemporaries() const {
    const QDir program(m_services.programFolder);
    const QString prefix = QLatin1String(kBatchProgressFileName) + QStringLiteral(".tmp");
    for (const QString& name : program.entryList({prefix + QLatin1Char('*')}, QDir::Files))
        QFile::remove(program.filePath(name));
}

} // namespace acquisition
