#include "app/windows/browser.h"

#include "formats/frame_names.h"
#include "formats/text_lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string_view>

namespace windows {

QStringList namesWithoutExtension(const QString& folder, bool withParent) {
    const QDir dir(folder);
    if (!dir.exists())
        return {};
    QStringList out;
    if (withParent)
        out << QStringLiteral("..");
    const QStringList names =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names)
        if (!name.contains(QLatin1Char('.')))
            out << name;
    return out;
}

QString acquisitionFolderOf(const QString& imageFolder) {
    if (imageFolder.endsWith(QStringLiteral("/img")))
        return imageFolder.left(imageFolder.size() - 4);
    return imageFolder;
}

QString findFrameFile(const QString& folder, int n) {
    const QString ending = QStringLiteral("f") + QString::number(n) + QStringLiteral(".jpg");
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names)
        if (name.endsWith(ending) && name.size() > ending.size())
            return name;
    return {};
}

QString framePrefixOf(const QString& name) {
    // Read from the right: the address may hold an "f" itself ("cwifi-camf0.jpg").
    const QString extension = QStringLiteral(".jpg");
    if (!name.endsWith(extension, Qt::CaseInsensitive))
        return {};
    const std::u16string_view stem(QStringView(name).utf16(),
                                   static_cast<std::size_t>(name.size() - extension.size()));
    const std::size_t f = formats::frameLetterPosition(stem);
    // A frame here has a number and the camera letter before its address; a frame marked bad
    // ("m" after its number) no longer answers to its number and is passed over.
    if (f == std::u16string_view::npos || f < 1 || stem.back() == u'm' || f + 1 >= stem.size())
        return {};
    return name.left(static_cast<qsizetype>(f) + 1);
}

QString deviceAddressOfFrame(const QString& name) {
    const QString prefix = framePrefixOf(name);
    if (prefix.size() < 2)
        return {};
    QString address = prefix.mid(1, prefix.size() - 2);
    address.replace(QLatin1Char('_'), QLatin1Char('.'));
    return address;
}

bool copyFileWhole(const QString& source, const QString& target) {
    return formats::copyFileAtomic(source.toStdString(), target.toStdString()).empty();
}

FrameZero ensureFrameZero(const QString& imageFolder, int lastCandidate) {
    FrameZero out;
    out.name = findFrameFile(imageFolder, 0);
    if (!out.name.isEmpty())
        return out;
    for (int n = 1; n <= lastCandidate; ++n) {
        const QString found = findFrameFile(imageFolder, n);
        if (found.isEmpty())
            continue;
        const QString zero = framePrefixOf(found) + QStringLiteral("0.jpg");
        const QDir dir(imageFolder);
        if (!copyFileWhole(dir.filePath(found), dir.filePath(zero))) {
            out.copyFailed = true;
            return out;
        }
        out.name = zero;
        out.replacedFrom = n;
        return out;
    }
    return out;
}

} // namespace windows
