#include "platform/jpeg_download.h"

#include "platform/curl_downloader.h"

#include <cstdio>
#include <unistd.h>

namespace platform {

bool startsLikeJpeg(const QString& file) {
    std::FILE* in = std::fopen(file.toStdString().c_str(), "rbe");
    if (!in)
        return false;
    unsigned char head[2] = {0, 0};
    const size_t got = std::fread(head, 1, 2, in);
    std::fclose(in);
    return got == 2 && head[0] == 0xFF && head[1] == 0xD8;
}

bool downloadJpeg(Downloader& downloader, const QString& url, const QString& file) {
    const std::string temp = CurlDownloader::temporaryFileFor(file.toStdString());
    const QString tempName = QString::fromStdString(temp);
    if (!downloader.downloadFile(url, tempName)) {
        ::unlink(temp.c_str()); // a downloader that left something behind
        return false;
    }
    if (!startsLikeJpeg(tempName) || std::rename(temp.c_str(), file.toStdString().c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace platform
