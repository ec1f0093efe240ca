#include "platform/jpeg_download.h"

#include "platform/curl_downloader.h"

#include "formats/regular_file.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace platform {

namespace {

bool downloadChecked(Downloader& downloader, const QString& url, const QString& file,
                     bool (*accept)(const QString&)) {
    const std::string temp = CurlDownloader::temporaryFileFor(file.toStdString());
    const QString tempName = QString::fromStdString(temp);
    if (!downloader.downloadFile(url, tempName)) {
        ::unlink(temp.c_str()); // a downloader that left something behind
        return false;
    }
    if (!accept(tempName) || std::rename(temp.c_str(), file.toStdString().c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// Reads `count` bytes at `offset` of an opened regular file; false when they are not all there.
bool readAt(const formats::RegularFile& file, std::uint64_t offset, unsigned char* to,
            std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(file.fd(), to + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool startsLikeJpeg(const QString& file) {
    formats::RegularFile in;
    unsigned char head[2] = {0, 0};
    return in.open(file.toStdString()) && readAt(in, 0, head, 2) && head[0] == 0xFF &&
           head[1] == 0xD8;
}

bool isCompleteJpeg(const QString& file) {
    formats::RegularFile in;
    if (!in.open(file.toStdString()))
        return false;
    unsigned char head[2] = {0, 0};
    unsigned char tail[2] = {0, 0};
    // The two markers may not share bytes: FF D8 D9 is not a picture.
    return in.size() >= 4 && readAt(in, 0, head, 2) && head[0] == 0xFF && head[1] == 0xD8 &&
           readAt(in, in.size() - 2, tail, 2) && tail[0] == 0xFF && tail[1] == 0xD9;
}

bool downloadJpeg(Downloader& downloader, const QString& url, const QString& file) {
    return downloadChecked(downloader, url, file, startsLikeJpeg);
}

bool downloadFrame(Downloader& downloader, const QString& url, const QString& file) {
    return downloadChecked(downloader, url, file, isCompleteJpeg);
}

} // namespace platform
