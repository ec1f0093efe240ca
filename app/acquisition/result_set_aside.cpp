#include "app/acquisition/result_set_aside.h"

#include "app/acquisition/batch_runner.h"
#include "formats/regular_file.h"
#include "formats/save_file.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace acquisition {

namespace {

// The journal's last line once the new results are being kept.
const QString kKeepMark = QStringLiteral("#keep");

QString inFolder(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

QString previousFolder(const QString& folder) {
    return inFolder(folder, QString::fromLatin1(kPreviousResultsFolder));
}

QString journalPath(const QString& folder) {
    return inFolder(previousFolder(folder), QString::fromLatin1(kSetAsideJournalName));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// ---- Steps, and the failure after a given number of them -----------------------------------

std::atomic<int> g_stepsLeft{-1};

const QString kStopped = QStringLiteral("Stopped before the next step");

// Whether the next file-system step may be taken.
bool step() {
    int left = g_stepsLeft.load();
    while (left > 0 && !g_stepsLeft.compare_exchange_weak(left, left - 1)) {
    }
    return left != 0;
}

enum class Kind { None, File, Folder, Link, Other };

// What stands under `path`, the name itself (a link is never followed).
Kind kindOf(const QString& path) {
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0)
        return Kind::None;
    if (S_ISLNK(st.st_mode))
        return Kind::Link;
    if (S_ISDIR(st.st_mode))
        return Kind::Folder;
    return S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
}

bool move(const QString& from, const QString& to) {
    return step() && ::rename(native(from).constData(), native(to).constData()) == 0;
}

bool remove(const QString& path) {
    return step() && ::unlink(native(path).constData()) == 0;
}

// ---- The journal --------------------------------------------------------------------------

struct Journal {
    QStringList names; // set aside, in the order of setAsideNames()
    bool keeping = false;
};

QString write(const QString& folder, const Journal& journal) {
    if (!step())
        return kStopped;
    QString text;
    for (const QString& name : journal.names)
        text += name + QLatin1Char('\n');
    if (journal.keeping)
        text += kKeepMark + QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    return QString::fromStdString(formats::saveFileAtomic(
        journalPath(folder).toStdString(), std::string_view(bytes.constData(), bytes.size())));
}

// A temporary file of a journal that was being written when the program ended.
bool isJournalTemporary(const QString& name) {
    return name.startsWith(QString::fromLatin1(kSetAsideJournalName) + QStringLiteral(".tmp"));
}

std::optional<Journal> read(const QString& folder, QString* error) {
    const QString path = journalPath(folder);
    if (kindOf(path) != Kind::File) {
        *error = QStringLiteral("Cannot read ") + path + QStringLiteral(": not a regular file");
        return std::nullopt;
    }
    std::string bytes, reason;
    if (!formats::readRegularFile(path.toStdString(), bytes, reason, nullptr,
                                  kSetAsideJournalMaxBytes)) {
        *error = QString::fromStdString(reason);
        return std::nullopt;
    }
    Journal journal;
    const QStringList known = setAsideNames();
    for (const QString& raw : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line == kKeepMark)
            journal.keeping = true;
        else if (known.contains(line) && !journal.keeping)
            journal.names << line;
        else {
            *error = QStringLiteral("Cannot read ") + path +
                     QStringLiteral(": it does not list results set aside");
            return std::nullopt;
        }
    }
    return journal;
}

// The folder of the results set aside, examined. `present` is false when there is none (a plain
// file of that name is no set-aside either: creating the folder then fails). Otherwise the
// journal, or nothing when the folder was made and the journal not yet written. A message when
// something in it (or in its place) is not this unit's: nothing may then be changed.
struct Examined {
    bool present = false;
    std::optional<Journal> journal;
    QStringList temporaries; // of the journal
    QString refusal;
    bool unreadable = false; // the refusal is that the journal cannot be read
};

Examined examine(const QString& folder) {
    Examined out;
    const QString previous = previousFolder(folder);
    const Kind kind = kindOf(previous);
    if (kind == Kind::None || kind == Kind::File || kind == Kind::Other)
        return out;
    out.present = true;
    if (kind == Kind::Link) {
        out.refusal = previous + QStringLiteral(" is a link, not a folder of results set aside "
                                                "by this program; nothing was changed");
        return out;
    }
    const QStringList entries =
        QDir(previous).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                 QDir::NoDotAndDotDot, QDir::Name);
    const QString journalName = QString::fromLatin1(kSetAsideJournalName);
    if (entries.contains(journalName)) {
        QString error;
        out.journal = read(folder, &error);
        if (!out.journal) {
            out.refusal = error;
            out.unreadable = true;
            return out;
        }
    }
    for (const QString& entry : entries) {
        if (entry == journalName)
            continue;
        if (isJournalTemporary(entry) && kindOf(inFolder(previous, entry)) == Kind::File) {
            out.temporaries << entry;
            continue;
        }
        if (out.journal && out.journal->names.contains(entry))
            continue;
        out.refusal = previous + QStringLiteral(" holds ") + entry +
                      QStringLiteral(", which this program did not put there; nothing was "
                                     "changed");
        return out;
    }
    return out;
}

// The folder goes once it holds only the journal: first its temporaries, then the journal (the
// end of the attempt), then the folder.
QString dropFolder(const QString& folder, const Examined& examined) {
    const QString previous = previousFolder(folder);
    for (const QString& temporary : examined.temporaries)
        if (!remove(inFolder(previous, temporary)))
            return QStringLiteral("Cannot delete ") + inFolder(previous, temporary);
    if (examined.journal && !remove(journalPath(folder)))
        return QStringLiteral("Cannot delete ") + journalPath(folder);
    if (!step() || ::rmdir(native(previous).constData()) != 0)
        return QStringLiteral("Cannot delete ") + previous;
    return {};
}

// Before the mark: every name set aside goes back; what stands under a result name that was
// not set aside was made by the attempt and goes. First every file of the attempt goes, then
// the previous ones come back: a failure on the way leaves the results of one attempt only,
// never some of each.
QString restore(const QString& folder, const Examined& examined) {
    const QString previous = previousFolder(folder);
    // Still set aside (a file not yet moved, or already moved back, is in its place).
    auto aside = [&](const QString& name) {
        return examined.journal->names.contains(name) &&
               kindOf(inFolder(previous, name)) != Kind::None;
    };
    // What stands under the name was made by the attempt.
    auto made = [&](const QString& name) {
        return aside(name) || !examined.journal->names.contains(name);
    };
    // A folder under a result name can be neither deleted nor replaced: nothing is changed.
    for (const QString& name : setAsideNames())
        if (made(name) && kindOf(inFolder(folder, name)) == Kind::Folder)
            return inFolder(folder, name) +
                   QStringLiteral(" is a folder, not a file of results; nothing was changed");
    for (const QString& name : setAsideNames()) {
        const QString live = inFolder(folder, name);
        if (made(name) && kindOf(live) != Kind::None && !remove(live))
            return QStringLiteral("Cannot delete ") + live;
    }
    for (const QString& name : setAsideNames()) {
        const QString live = inFolder(folder, name);
        if (aside(name) && !move(inFolder(previous, name), live))
            return QStringLiteral("Cannot put back ") + live + QStringLiteral(" from ") + previous;
    }
    return dropFolder(folder, examined);
}

// A put-back that failed: says so, and where the previous results still are.
QString putBackFailed(const QString& folder, const QString& error) {
    for (const QString& name : setAsideNames())
        if (kindOf(inFolder(previousFolder(folder), name)) != Kind::None)
            return error + QStringLiteral("; the previous results are still in ") +
                   previousFolder(folder);
    return error;
}

// After the mark: the previous worms and trails become the backups when they were complete
// results, and the rest of them goes.
QString finishKeeping(const QString& folder, const Examined& examined) {
    const QString previous = previousFolder(folder);
    const QStringList& names = examined.journal->names;
    if (!names.contains(QString::fromLatin1(kNotAnalysedNoteName))) {
        for (const auto& [name, backup] :
             {std::pair{kWormsFile, kWormsBackupFile}, std::pair{kTrailsFile, kTrailsBackupFile}}) {
            const QString target = inFolder(folder, backup);
            if (names.contains(name)) {
                // Once moved, the name is gone from the folder set aside.
                if (kindOf(inFolder(previous, name)) != Kind::None &&
                    !move(inFolder(previous, name), target))
                    return QStringLiteral("Cannot write ") + target;
            } else if (kindOf(target) != Kind::None && !remove(target)) {
                // The backups are a pair of one attempt, or none.
                return QStringLiteral("Cannot delete ") + target;
            }
        }
    }
    for (const QString& name : names) {
        const QString aside = inFolder(previous, name);
        if (kindOf(aside) != Kind::None && !remove(aside))
            return QStringLiteral("Cannot delete ") + aside;
    }
    return dropFolder(folder, examined);
}

QString originalWormsPath(const QString& folder) {
    return inFolder(folder, QStringLiteral("xy_worms_original.bin"));
}

} // namespace

QStringList setAsideNames() {
    return {kWormsFile,
            QStringLiteral("xy_worms.txt"),
            QStringLiteral("xy_image.txt"),
            QStringLiteral("xy_image.bin"),
            kTrailsFile,
            QStringLiteral("xy_shapes.txt"),
            QString::fromLatin1(kNotAnalysedNoteName),
            QStringLiteral("xy_worms.csv"),
            QStringLiteral("xy_image.csv")};
}

bool hasSetAside(const QString& folder) {
    const Kind kind = kindOf(previousFolder(folder));
    return kind == Kind::Folder || kind == Kind::Link;
}

QString putResultsBack(const QString& folder, bool* kept) {
    if (kept)
        *kept = false;
    const Examined examined = examine(folder);
    if (!examined.present)
        return {};
    if (!examined.refusal.isEmpty()) {
        if (examined.unreadable)
            return examined.refusal + QStringLiteral("; the previous results were left in ") +
                   previousFolder(folder);
        return examined.refusal;
    }
    if (!examined.journal) // made, and nothing moved into it yet
        return dropFolder(folder, examined);
    if (examined.journal->keeping) {
        if (kept)
            *kept = true;
        return finishKeeping(folder, examined);
    }
    if (QString error = restore(folder, examined); !error.isEmpty())
        return putBackFailed(folder, error);
    return {};
}

QString setResultsAside(const QString& folder) {
    const QString previous = previousFolder(folder);
    // A folder under a result or backup name could be set aside but never become a backup nor
    // be deleted: the keeping would stop halfway, after the mark.
    for (const QString& name : setAsideNames() + QStringList{kWormsBackupFile, kTrailsBackupFile})
        if (kindOf(inFolder(folder, name)) == Kind::Folder)
            return inFolder(folder, name) +
                   QStringLiteral(" is a folder, not a file of results; nothing was changed");
    Journal journal;
    for (const QString& name : setAsideNames())
        if (kindOf(inFolder(folder, name)) != Kind::None)
            journal.names << name;
    if (!step() || ::mkdir(native(previous).constData(), 0755) != 0)
        return QStringLiteral("Cannot create ") + previous;
    // What is about to move is recorded before the first move.
    if (QString error = write(folder, journal); !error.isEmpty()) {
        if (step())
            ::rmdir(native(previous).constData());
        return error;
    }
    for (const QString& name : journal.names) {
        if (!move(inFolder(folder, name), inFolder(previous, name))) {
            const QString error = QStringLiteral("Cannot move ") + inFolder(folder, name);
            if (QString failed = putResultsBack(folder); !failed.isEmpty())
                return error + QStringLiteral("; ") + failed;
            return error;
        }
    }
    return {};
}

QString keepNewResults(const QString& folder, const std::vector<std::int32_t>& notAnalysed,
                       bool* putBack) {
    if (putBack)
        *putBack = false;
    const QString note = inFolder(folder, QString::fromLatin1(kNotAnalysedNoteName));
    auto writeNote = [&]() -> QString {
        if (notAnalysed.empty())
            return kindOf(note) == Kind::None || remove(note) ? QString()
                                                              : QStringLiteral("Cannot delete ") +
                                                                    note;
        if (!step())
            return kStopped;
        const QByteArray bytes = (notAnalysedMessage(notAnalysed) + QStringLiteral("\r\n")).toUtf8();
        return QString::fromStdString(formats::saveFileAtomic(
            note.toStdString(), std::string_view(bytes.constData(), bytes.size())));
    };
    Examined examined = examine(folder);
    if (!examined.present)
        return writeNote();
    if (!examined.refusal.isEmpty())
        return examined.refusal;
    if (examined.journal && examined.journal->keeping)
        return putResultsBack(folder); // marked before: only the finish is left
    if (!examined.journal) {
        // Made, and nothing moved into it.
        if (QString error = putResultsBack(folder); !error.isEmpty())
            return error;
        return writeNote();
    }
    // Results without a record of the frames they miss are no results; nor are results whose
    // first copy could not be kept.
    auto giveUp = [&](const QString& why) {
        if (putBack)
            *putBack = true;
        const QString error = putResultsBack(folder);
        return why + (error.isEmpty() ? QStringLiteral("; the previous results were put back")
                                      : QStringLiteral("; ") + error);
    };
    if (QString error = waitForOriginalCopy(originalWormsPath(folder)); !error.isEmpty())
        return giveUp(error);
    if (QString error = writeNote(); !error.isEmpty())
        return giveUp(error);
    Journal marked = *examined.journal;
    marked.keeping = true;
    if (QString error = write(folder, marked); !error.isEmpty())
        return giveUp(error);
    examined.journal = marked;
    return finishKeeping(folder, examined);
}

// ---- The first copy, beside the window ----------------------------------------------------

namespace {

struct Copy {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> copied{0};
    std::int64_t size = 0;
    std::future<QString> result;
};

std::mutex g_copiesMutex;
std::map<QString, std::shared_ptr<Copy>>& copies() {
    static std::map<QString, std::shared_ptr<Copy>> all;
    return all;
}
std::atomic<bool> g_hold{false};

QString copyInBackground(int source, const QString& target, Copy* copy) {
    while (g_hold.load() && !copy->cancel.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string temporary = formats::temporaryNameFor(target.toStdString());
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    QString error;
    if (out < 0) {
        error = QStringLiteral("Cannot write ") + target + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(errno));
        ::close(source);
        return error;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        if (copy->cancel.load()) {
            error = kStopped;
            break;
        }
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = QStringLiteral("Cannot read the source of ") + target + QStringLiteral(": ") +
                    QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got && error.isEmpty();) {
            const ssize_t put = ::write(out, buffer.data() + done, got - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                error = QStringLiteral("Cannot write ") + target + QStringLiteral(": ") +
                        QString::fromLocal8Bit(std::strerror(put < 0 ? errno : ENOSPC));
            else
                done += put;
        }
        copy->copied += got;
        if (!error.isEmpty())
            break;
    }
    ::close(source);
    if (::close(out) != 0 && error.isEmpty())
        error = QStringLiteral("Cannot write ") + target + QStringLiteral(": ") +
                QString::fromLocal8Bit(std::strerror(errno));
    if (error.isEmpty())
        error = QString::fromStdString(formats::renameNoReplace(temporary, target.toStdString()));
    if (!error.isEmpty())
        ::unlink(temporary.c_str());
    return error;
}

std::shared_ptr<Copy> takeCopy(const QString& target) {
    std::lock_guard lock(g_copiesMutex);
    auto found = copies().find(target);
    if (found == copies().end())
        return nullptr;
    auto copy = found->second;
    copies().erase(found);
    return copy;
}

// Temporaries of a copy that the program's end cut short.
void removeLeftTemporaries(const QString& target) {
    const QFileInfo info(target);
    const QString prefix = info.fileName() + QStringLiteral(".tmp");
    for (const QString& entry : QDir(info.path()).entryList(
             {prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System))
        if (kindOf(inFolder(info.path(), entry)) == Kind::File)
            ::unlink(native(inFolder(info.path(), entry)).constData());
}

} // namespace

QString beginOriginalCopy(const QString& source, const QString& target) {
    {
        std::lock_guard lock(g_copiesMutex);
        if (copies().count(target))
            return {};
    }
    if (kindOf(source) != Kind::File || kindOf(target) != Kind::None)
        return {};
    removeLeftTemporaries(target);
    formats::RegularFile file;
    if (!file.open(source.toStdString()))
        return QString::fromStdString(file.error());
    auto copy = std::make_shared<Copy>();
    const int fd = file.release();
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        copy->size = st.st_size;
    copy->result = std::async(std::launch::async, copyInBackground, fd, target, copy.get());
    std::lock_guard lock(g_copiesMutex);
    copies()[target] = copy;
    return {};
}

QString waitForOriginalCopy(const QString& target) {
    const auto copy = takeCopy(target);
    return copy ? copy->result.get() : QString();
}

std::optional<OriginalCopyProgress> originalCopyRunning(const QString& target) {
    std::shared_ptr<Copy> copy;
    {
        std::lock_guard lock(g_copiesMutex);
        const auto found = copies().find(target);
        if (found == copies().end())
            return std::nullopt;
        copy = found->second;
    }
    if (copy->result.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        return std::nullopt;
    return OriginalCopyProgress{copy->copied.load(), copy->size};
}

void cancelOriginalCopy(const QString& target) {
    if (const auto copy = takeCopy(target)) {
        copy->cancel = true;
        copy->result.wait();
    }
}

void failSetAsideStepsAfter(int steps) {
    g_stepsLeft = steps;
}

int setAsideStepsLeft() {
    return g_stepsLeft.load();
}

void holdOriginalCopies(bool hold) {
    g_hold = hold;
}

} // namespace acquisition
