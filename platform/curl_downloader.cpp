#include "platform/curl_downloader.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    std::FILE* out = nullptr;
    curl_off_t received = 0;
    bool writeFailed = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (bytes == 0)
        return 0;
    if (std::fwrite(data, 1, bytes, sink->out) != bytes) {
        sink->writeFailed = true;
        return 0; // makes libcurl stop with a write error
    }
    sink->received += static_cast<curl_off_t>(bytes);
    return bytes;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return (cancel && cancel->load()) ? 1 : 0; // non-zero aborts the transfer
}

} // namespace

CurlDownloader::CurlDownloader() : CurlDownloader(Limits{}) {}

CurlDownloader::CurlDownloader(Limits limits) : m_limits(limits) {
    initCurlOnce();
}

std::string CurlDownloader::temporaryFileFor(const std::string& file) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = file.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    return folder + "." + name + ".part" + std::to_string(::getpid()) + "_" +
           std::to_string(counter++);
}

bool CurlDownloader::downloadFile(const QString& url, const QString& file) {
    m_lastError.clear();
    const std::string target = file.toStdString();
    const std::string temp = temporaryFileFor(target);
    const std::string urlText = url.toStdString();

    auto fail = [&](const std::string& why) {
        m_lastError = why;
        ::unlink(temp.c_str());
        return false;
    };

    if (m_cancel && m_cancel->load())
        return fail("cancelled");

    Sink sink;
    sink.out = std::fopen(temp.c_str(), "wbe");
    if (!sink.out) {
        m_lastError = "cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }

    CURL* curl = curl_easy_init();
    if (!curl) {
        std::fclose(sink.out);
        return fail("libcurl could not start a request");
    }
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_URL, urlText.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_limits.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_limits.requestTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, static_cast<const void*>(m_cancel));
    // Never take an answer from a cache on the way.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t expected = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    const bool flushed = std::fflush(sink.out) == 0 && ::fsync(::fileno(sink.out)) == 0;
    const bool closed = std::fclose(sink.out) == 0;

    if (code != CURLE_OK) {
        std::string why = errorBuffer[0] ? std::string(errorBuffer) : curl_easy_strerror(code);
        if (sink.writeFailed)
            why = "cannot write " + temp;
        return fail(why);
    }
    if (status >= 400 || (status != 0 && status < 200))
        return fail("HTTP status " + std::to_string(status));
    if (expected >= 0 && expected != sink.received)
        return fail("incomplete body: " + std::to_string(sink.received) + " of " +
                    std::to_string(expected) + " bytes");
    if (!flushed || !closed)
        return fail("cannot write " + temp);
    if (std::rename(temp.c_str(), target.c_str()) != 0)
        return fail("cannot rename into " + target + ": " + std::strerror(errno));
    return true;
}

} // namespace platform
