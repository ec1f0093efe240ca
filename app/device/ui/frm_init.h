#pragma once
// The start window: the version text, the check of the installation folder, and the start menu
// ("START New Acquisition" with the device-address panel and "Connect", "Check Results",
// "EXIT"), and the small button "uM" that opens the Microbeam window beside it. A successful
// connect opens the acquisition window and hides this window 500 ms later.

#include "app/widgets/handler_guard.h"
#include "app/widgets/window_names.h"
#include "platform/services.h"

#include <QWidget>

#include <cstdint>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace ui {

class ClickableLabel;

class FrmInit : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = kStartWindowName;
    explicit FrmInit(const platform::Services& services, QWidget* parent = nullptr);
    ~FrmInit() override;

    // "<< Software Version V1.7 Rev06/2023 >>", shown at load and in the about box.
    static QString versionText();

    // The program-wide flag: whether the last connect reached the device and set the camera up.
    // False until a connect succeeds; cleared each time the start window loads.
    static bool Connected();

    // 0 while the start menu is shown, 1 while the device-address panel is open.
    std::int16_t menuState() const { return m_menuState; }
    // The integer lamp level read from config.dat by the last connect (5 when none is known).
    std::int16_t lampLevel() const { return m_lampLevel; }

    // Probes the device at address, saves the address, sets the camera up (mode 0) and returns
    // the new value of Connected(). Status texts go to `LblNews`.
    bool ConnectDevice(const QString& address);

    // The warnings of the installation-folder check for a program folder, in the order shown
    // (length first, then special characters); empty when the folder is fine.
    static QStringList installFolderWarnings(const QString& programFolder);

    // Showing a window that is not loaded (first showing, or after a close) loads it first.
    void setVisible(bool visible) override;

signals:
    // Emitted when "Sure to Quit?" was answered Yes, just before the program is asked to end.
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void resetToDesign();

    void StartWindowLoad();
    void CheckInstallFolder();
    void StartWindowActivate();
    void HighlightMenuEntry(QFrame* entry);
    void ShowAddressPanel();
    void OpenReanalysisWindow();
    void OpenMicrobeamWindow();
    void OpenMakerPage();
    void ExitOrBack();
    void ConnectButtonClick();
    void HideStartWindowTick();
    void ShowStartMenu();

    void LoadDeviceIp();
    void SaveDeviceIp(const QString& address);
    void LoadLampLevel();

    void setNews(const QString& text);

    static bool s_connected;

    platform::Services m_services;
    std::int16_t m_menuState = 0;
    std::int16_t m_lampLevel = 0;
    bool m_loaded = false;
    // Renewed every time the window is closed (unloaded) or the program is ended, so a handler
    // that waited can tell that its window is gone.
    Lifetime m_life;

    QFrame* m_frameOption1 = nullptr;
    QFrame* m_frameOption2 = nullptr;
    QFrame* m_frameOption5 = nullptr;
    ClickableLabel* m_labelOption1 = nullptr;
    ClickableLabel* m_labelOption2 = nullptr;
    ClickableLabel* m_labelOption5 = nullptr;
    QFrame* m_frame1 = nullptr;
    QLabel* m_lblNews = nullptr;
    QFrame* m_frameIp = nullptr;
    QLabel* m_lblIp = nullptr;
    QLineEdit* m_txtIp1 = nullptr;
    QPushButton* m_cmdPreview = nullptr;
    QPushButton* m_cmdMicro = nullptr;
    QLabel* m_image1 = nullptr;
    QTimer* m_timerEnd = nullptr;
};

} // namespace ui
