#include "platform/jpeg_download.h"

#include "platform/curl_downloader.h"

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

} // namespace

bool startsLikeJpeg(const QString& file) {
    std::FILE* in = std::fopen(file.toStdString().c_str(), "rbe");
    if (!in)
        return false;
    unsigned char head[2] = {0, 0};
    const size_t got = std::fread(head, 1, 2, in);
    std::fclose(in);
    return got == 2 && head[0] == 0xFF && head[1] == 0xD8;
}

bool isCompleteJpeg(const QString& file) {
    std::FILE* in = std::fopen(file.toStdString().c_str(), "rbe");
    if (!in)
        return false;
    unsigned char head[2] = {0, 0};
    unsigned char tail[2] = {0, 0};
    bool ok = std::fread(head, 1, 2, in) == 2 && head[0] == 0xFF && head[1] == 0xD8;
    // The two markers may not share bytes: FF D8 D9 is not a picture.
    ok = ok && std::fseek(in, -2, SEEK_END) == 0 && std::ftell(in) >= 2 &&
         std::fread(tail, 1, 2, in) == 2 && tail[0] == 0xFF && tail[1] == 0xD9;
    std::fclose(in);
    return ok;
}

bool downloadJpeg(Downloader& downloader, const QString& url, const QString& file) {
    return downloadChecked(downloader, url, file, startsLikeJpeg);
}

bool downloadFrame(Downloader& downloader, const QString& url, const QString& file) {
    return downloadChecked(downloader, url, file, isCompleteJpeg);
}

} // namespace platform
