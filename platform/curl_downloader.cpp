#include "platform/curl_downloader.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
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
    curl_off_t maxBytes = 0;
    bool writeFailed = false;
    bool tooLarge = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (bytes == 0)
        return 0;
    if (static_cast<curl_off_t>(bytes) > sink->maxBytes - sink->received) {
        sink->tooLarge = true;
        return 0; // stops the transfer
    }
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

// The process id in a name made by temporaryFileFor ("." name ".part" pid "_" counter), or
// nothing when the last path component is not such a name.
std::optional<long> temporaryFileOwner(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t part = name.rfind(".part");
    if (name.size() < 2 || name[0] != '.' || part == std::string::npos || part < 2)
        return std::nullopt;
    const std::string tail = name.substr(part + 5);
    const std::size_t underscore = tail.find('_');
    if (underscore == std::string::npos || underscore == 0 || underscore + 1 == tail.size() ||
        underscore > 9)
        return std::nullopt;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (i != underscore && (tail[i] < '0' || tail[i] > '9'))
            return std::nullopt;
    }
    return std::stol(tail.substr(0, underscore));
}

bool processIsRunning(long pid) {
    if (pid <= 0 || pid == static_cast<long>(::getpid()))
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
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

bool CurlDownloader::isTemporaryFile(const std::string& path) {
    return temporaryFileOwner(path).has_value();
}

int CurlDownloader::removeStaleTemporaryFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const auto owner = temporaryFileOwner(name);
        if (!owner || processIsRunning(*owner))
            continue;
        const std::string path = folder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

std::string CurlDownloader::lastError() const {
    const std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_lastError;
}

void CurlDownloader::setLastError(const std::string& why) {
    const std::lock_guard<std::mutex> lock(m_errorMutex);
    m_lastError = why;
}

bool CurlDownloader::downloadFile(const QString& url, const QString& file) {
    setLastError({});
    const std::string target = file.toStdString();
    // A caller that checks the body before it takes its final name already holds a temporary
    // file; a second one beside it would only be one more thing to leave behind.
    const bool intoTemporary = isTemporaryFile(target);
    const std::string temp = intoTemporary ? target : temporaryFileFor(target);
    const std::string urlText = url.toStdString();

    auto fail = [&](const std::string& why) {
        setLastError(why);
        ::unlink(temp.c_str());
        return false;
    };

    if (m_cancel && m_cancel->load())
        return fail("cancelled");

    Sink sink;
    sink.maxBytes = static_cast<curl_off_t>(m_limits.maxBodyBytes);
    sink.out = std::fopen(temp.c_str(), "wbe");
    if (!sink.out) {
        setLastError("cannot create " + temp + ": " + std::strerror(errno));
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
    // An announced length beyond the limit ends the request before the body.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, sink.maxBytes);
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
        if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            why = "body larger than " + std::to_string(m_limits.maxBodyBytes) + " bytes";
        return fail(why);
    }
    if (status >= 400 || (status != 0 && status < 200))
        return fail("HTTP status " + std::to_string(status));
    if (expected >= 0 && expected != sink.received)
        return fail("incomplete body: " + std::to_string(sink.received) + " of " +
                    std::to_string(expected) + " bytes");
    if (!flushed || !closed)
        return fail("cannot write " + temp);
    if (intoTemporary)
        return true;
    if (std::rename(temp.c_str(), target.c_str()) != 0)
        return fail("cannot rename into " + target + ": " + std::strerror(errno));
    return true;
}

} // namespace platform
