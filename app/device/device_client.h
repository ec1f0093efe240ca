#pragma once
// The camera device client: plain HTTP GET requests whose answer body is saved to a file in the
// program folder ("/status" and "/control?..." into answer.txt, "/capture" into preview.jpg),
// and the camera set-up sequences of the start window and the acquisition window.
//
// The device address is checked (formats/device_address.h) before any URL is built from it; a
// refused address makes the request fail like an unreachable device. Windows that want to tell
// the operator why call checkAddress() first.

#include "platform/services.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace device {

// What the acquisition and reanalysis windows say when the device does not answer: the status
// text and the message box.
inline const QString kIpErrorStatus = QStringLiteral("IP Connection ERROR");
inline const QString kIpErrorMessage =
    QStringLiteral("IP Connection ERROR!. check if device is ON, and IP");

// Which window runs a set-up: the start window (`Frm_Init`) or the acquisition window
// (`frm_frontend`). Their sequences differ in one value and in the final pause.
enum class SetupWindow { Start, Acquisition };

// Receives each status text of a set-up; the window puts it into its status label (`LblNews`,
// `lbl_messages`) and repaints the label at once.
using StatusSink = std::function<void(const QString&)>;

// One step of a set-up sequence: the status text shown and the control query sent.
struct SetupStep {
    QString text;
    QString query;
};

// The lamp value sent for a light level: the integer part of level x 6 (2.5 gives 15, 16 gives
// 96); negative levels give 0.
int lampValueForLevel(double level);

// The control queries of the lamp: "var=lamp&val=" + the lamp value, and the device's automatic
// lamp "var=autolamp&val=" + 1 or 0.
QString lampQuery(int lampValue);
QString autoLampQuery(bool on);

// The set-up steps of a window for a mode (0 full resolution, 1 preview resolution) with the
// given lamp value. The start window knows only mode 0.
std::vector<SetupStep> setupSteps(SetupWindow window, int mode, int lampValue);

class DeviceClient {
public:
    explicit DeviceClient(platform::Services services);

    // Makes one request and gives whether it succeeded, or nothing when its caller stopped
    // waiting for it (the request then ends unseen). Without a runner the caller's thread makes
    // each request and waits to its end; a window sets one that makes it beside the window.
    using RequestRunner = std::function<std::optional<bool>(const std::function<bool()>& request)>;
    void setRequestRunner(RequestRunner runner) { m_runner = std::move(runner); }
    // A copy of this client whose requests `runner` makes: the requests of one wait, abandoned
    // when what waits for them is (a page left, a stopped mode), not only when the window goes.
    DeviceClient withRunner(RequestRunner runner) const {
        DeviceClient copy(*this);
        copy.setRequestRunner(std::move(runner));
        return copy;
    }
    // True when the caller stopped waiting for the last request (its window went or was left
    // meanwhile); the request counts as failed, and nothing is to be said about it.
    bool lastRequestAbandoned() const { return m_abandoned; }

    // Empty when the address may be used, else the message for the operator.
    static QString checkAddress(const QString& address);

    // "http://" + address + path; empty when the address is refused.
    static QString requestUrl(const QString& address, const QString& path);

    // Fetches url into file through the downloader; true only when the whole body arrived.
    bool DownloadFile(const QString& url, const QString& file);

    // "/status" into answer.txt. 1 on success, -1 on failure. The second argument is ignored.
    std::int16_t QueryStatus(const QString& address, const QString& unused = QStringLiteral("0"));

    // "/control?" + query into answer.txt. The query ("var=NAME&val=VALUE") may hold letters,
    // digits, "=", "&", "_", "." and "-" only; anything else fails without a request.
    std::int16_t SendControl(const QString& address, const QString& query);

    // The lamp value, and the device's automatic lamp on or off: SendControl with lampQuery()
    // and autoLampQuery().
    std::int16_t SetLamp(const QString& address, int lampValue);
    std::int16_t SetAutoLamp(const QString& address, bool on);

    // "/capture" into preview.jpg. The preview is replaced only by a complete answer that starts
    // like a JPEG. On failure returns false and sets `error` to "ERROR " + the capture URL, for
    // the window to show; the window draws the preview when it returns true.
    bool CapturePreview(const QString& address, QString* error = nullptr);

    // Runs the window's set-up sequence for the mode: "Connecting to IP" + address and a 300 ms
    // pause, then every step (status text, control query, 250 ms pause), then "Setting OK..."
    // and the final pause (start window 100 ms, acquisition window 250 ms). A refused step
    // stops the sequence and sets `error` to "Error connecting to " + address, for the window to
    // show; an abandoned request stops it without an error. 1 when every request succeeded,
    // else -1. The acquisition window makes
    // `frame_messages` visible before calling.
    std::int16_t ConfigureCamera(const QString& address, int mode, SetupWindow window,
                                 int lampValue, const StatusSink& status, QString* error = nullptr);

    QString answerFile() const;  // answer.txt in the program folder
    QString previewFile() const; // preview.jpg in the program folder

private:
    bool runRequest(const std::function<bool()>& request);

    platform::Services m_services;
    RequestRunner m_runner;
    bool m_abandoned = false;
};

} // namespace device
