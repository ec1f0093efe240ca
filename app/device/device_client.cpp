#include "app/device/device_client.h"

#include "formats/device_address.h"
#include "formats/frame_names.h"
#include "platform/jpeg_download.h"

#include <cmath>
#include <exception>

namespace device {

namespace {

bool isQueryChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '=' ||
           u == '&' || u == '_' || u == '.' || u == '-';
}

bool isSafeQuery(const QString& query) {
    for (QChar c : query)
        if (!isQueryChar(c))
            return false;
    return true;
}

} // namespace

int lampValueForLevel(double level) {
    if (!(level > 0))
        return 0;
    return static_cast<int>(std::floor(level * 6.0));
}

QString lampQuery(int lampValue) {
    return QStringLiteral("var=lamp&val=") + QString::number(lampValue);
}

QString autoLampQuery(bool on) {
    return QStringLiteral("var=autolamp&val=") + (on ? QStringLiteral("1") : QStringLiteral("0"));
}

std::vector<SetupStep> setupSteps(SetupWindow window, int mode, int lampValue) {
    const QString lamp = lampQuery(lampValue);
    if (window == SetupWindow::Acquisition && mode == 1) {
        return {
            {QStringLiteral("Setting Resolution 640x480..."),
             QStringLiteral("var=framesize&val=8")},
            {QStringLiteral("Setting Exposition..."), QStringLiteral("var=aec_value&val=1200")},
            {QStringLiteral("Setting Gain..."), QStringLiteral("var=agc_gain&val=5")},
            {QStringLiteral("Setting Compression..."), QStringLiteral("var=quality&val=0")},
            {QStringLiteral("Setting Lighting..."), lamp},
        };
    }
    const QString exposure = window == SetupWindow::Start
                                 ? QStringLiteral("var=aec_value&val=1100")
                                 : QStringLiteral("var=aec_value&val=1200");
    return {
        {QStringLiteral("Setting Resolution 1600x1200..."), QStringLiteral("var=framesize&val=13")},
        {QStringLiteral("Setting Exposition..."), exposure},
        {QStringLiteral("Setting Gain..."), QStringLiteral("var=agc_gain&val=0")},
        {QStringLiteral("Setting Compression..."), QStringLiteral("var=quality&val=16")},
        {QStringLiteral("Setting Lighting..."), lamp},
        {QStringLiteral("Setting Lens correction..."), QStringLiteral("var=lenc&val=1")},
        {QStringLiteral("Setting Pixel correction..."), QStringLiteral("var=wpc&val=1")},
    };
}

DeviceClient::DeviceClient(platform::Services services) : m_services(std::move(services)) {}

QString DeviceClient::checkAddress(const QString& address) {
    return QString::fromStdString(formats::checkDeviceAddress(address.toStdString()));
}

QString DeviceClient::requestUrl(const QString& address, const QString& path) {
    if (!formats::isValidDeviceAddress(address.toStdString()))
        return {};
    return QStringLiteral("http://") + address + path;
}

QString DeviceClient::answerFile() const {
    return m_services.programFolder + QStringLiteral("/answer.txt");
}

QString DeviceClient::previewFile() const {
    return m_services.programFolder + QLatin1Char('/') +
           QString::fromLatin1(formats::kPreviewFileName);
}

bool DeviceClient::runRequest(const std::function<bool()>& request) {
    m_abandoned = false;
    if (!m_runner)
        return request();
    const std::optional<bool> answer = m_runner(request);
    m_abandoned = !answer.has_value();
    return answer.value_or(false);
}

bool DeviceClient::DownloadFile(const QString& url, const QString& file) {
    m_abandoned = false;
    if (!m_services.downloader || url.isEmpty())
        return false;
    // The request holds what it uses, so that it may end after this client.
    return runRequest([downloader = m_services.downloader, url, file] {
        try {
            return downloader->downloadFile(url, file);
        } catch (const std::exception&) {
            return false;
        }
    });
}

std::int16_t DeviceClient::QueryStatus(const QString& address, const QString&) {
    const QString url = requestUrl(address, QStringLiteral("/status"));
    if (url.isEmpty())
        return -1;
    return DownloadFile(url, answerFile()) ? 1 : -1;
}

std::int16_t DeviceClient::SendControl(const QString& address, const QString& query) {
    if (!isSafeQuery(query))
        return -1;
    const QString url = requestUrl(address, QStringLiteral("/control?") + query);
    if (url.isEmpty())
        return -1;
    return DownloadFile(url, answerFile()) ? 1 : -1;
}

std::int16_t DeviceClient::SetLamp(const QString& address, int lampValue) {
    return SendControl(address, lampQuery(lampValue));
}

std::int16_t DeviceClient::SetAutoLamp(const QString& address, bool on) {
    return SendControl(address, autoLampQuery(on));
}

bool DeviceClient::CapturePreview(const QString& address, QString* error) {
    const QString url = requestUrl(address, QStringLiteral("/capture"));
    bool ok = false;
    m_abandoned = false;
    if (!url.isEmpty() && m_services.downloader) {
        ok = runRequest([downloader = m_services.downloader, url, file = previewFile()] {
            try {
                return platform::downloadJpeg(*downloader, url, file);
            } catch (const std::exception&) {
                return false;
            }
        });
    }
    if (!ok && error)
        *error = QStringLiteral("ERROR http://") + address + QStringLiteral("/capture");
    return ok;
}

std::int16_t DeviceClient::ConfigureCamera(const QString& address, int mode, SetupWindow window,
                                           int lampValue, const StatusSink& status,
                                           QString* error) {
    auto show = [&](const QString& text) {
        if (status)
            status(text);
    };
    auto pause = [&](int ms) {
        if (m_services.clock)
            m_services.clock->pause(ms);
    };
    try {
        show(QStringLiteral("Connecting to IP") + address);
        pause(300);
        for (const SetupStep& step : setupSteps(window, mode, lampValue)) {
            show(step.text);
            if (SendControl(address, step.query) == -1) {
                if (m_abandoned)
                    return -1; // the window went meanwhile: nothing to say
                if (error)
                    *error = QStringLiteral("Error connecting to ") + address;
                return -1;
            }
            pause(250);
        }
        show(QStringLiteral("Setting OK..."));
        pause(window == SetupWindow::Start ? 100 : 250);
        return 1;
    } catch (const std::exception&) {
        return -1;
    }
}

} // namespace device
