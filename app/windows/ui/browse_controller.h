#pragma once
// The browser of the reanalysis window: the project and acquisition lists under "...", loading
// an acquisition (its first frame with the analysis area, its training into the boxes), and
// stepping through and repairing its first four frames with "<", ">" and "Delete[n]". It owns
// which project is open, which acquisition is loaded and which frame is shown.

#include "app/widgets/control_factory.h"
#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QListWidget>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QLineEdit;
class QPushButton;
class QTimer;

namespace ui {

class PictureBox;
class PlateController;

// The browser's controls; the stepping buttons lie below the picture.
struct BrowseControls {
    QListWidget* List_project = nullptr;
    QListWidget* List_subproject = nullptr;
    QPushButton* cmd_dir = nullptr;
    QPushButton* cmd_load = nullptr;
    // The acquisition chosen, as "project/acquisition".
    QLineEdit* txt_filepj = nullptr;
    // The image folder of the acquisition chosen, and the device address of the frame shown.
    QLineEdit* txt_file = nullptr;
    QLineEdit* txt_ip1 = nullptr;
    QLineEdit* txt_nfile = nullptr;
    PictureBox* Picture1 = nullptr;
    QPushButton* cmd_prev = nullptr;
    QPushButton* cmd_next = nullptr;
    QPushButton* cmd_del = nullptr;
    QTimer* Timer_loadimg = nullptr; // the load just after an acquisition is chosen
};

// What the browser asks of its window.
struct BrowseHooks {
    // What runs on the loaded acquisition ("A reprocess is running", ...); empty when nothing.
    std::function<QString()> busyWith;
    // Refuses `action` while busyWith() names something: says so, true.
    std::function<bool(const QString& action)> refuseWhileBusy;
    // The window's training boxes from a folder.
    std::function<void(const QString& folder)> loadTraining;
    // The results of the acquisition loaded before go.
    std::function<void()> clearResults;
    // The frame-stepping buttons on again, whatever a reprocess before left them.
    std::function<void()> enableFrameStepping;
    // A choice of "..": no training is borrowed from the project left.
    std::function<void()> projectClosed;
    // What the window says of the acquisition loaded (its results are partial), or empty: what
    // it said of the one before goes.
    std::function<void(const QString& text)> showLoadNotice;
};

// The browser's controls, built into the window's controls of the same names (`c`), over the
// client area.
template <class C> void makeBrowser(C& c, QWidget* client) {
    c.lbl_ip = makeLabel(client, "lbl_ip", QStringLiteral("Project"), QRect(74, 22, 60, 20));
    c.txt_filepj =
        makeEdit(client, "txt_filepj", QStringLiteral("[Select project]"), QRect(135, 19, 307, 30));
    c.cmd_dir = makeButton(client, "cmd_dir", QStringLiteral("..."), QRect(442, 19, 77, 30));
    c.cmd_load = makeButton(client, "cmd_load", QStringLiteral("LOAD"), QRect(519, 19, 77, 30));
    c.txt_file = makeEdit(client, "txt_file", QString(), QRect(250, 672, 300, 24));
    c.txt_file->hide();
    c.txt_ip1 = makeEdit(client, "txt_ip1", QString(), QRect(555, 672, 72, 24));
    c.txt_ip1->hide();
    for (QListWidget** list : {&c.List_project, &c.List_subproject}) {
        *list = new QListWidget(client);
        (*list)->setGeometry(QRect(135, 59, 384, 254));
        (*list)->hide();
    }
    c.List_project->setObjectName("List_project");
    c.List_subproject->setObjectName("List_subproject");
    c.List_subproject->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

class BrowseController : public QObject {
    Q_OBJECT
public:
    BrowseController(const BrowseControls& controls, PlateController& plate,
                     platform::Services services, const Lifetime& window, BrowseHooks hooks,
                     QObject* parent);
    ~BrowseController() override;

    std::int16_t projectOpen() const { return m_projectOpen; }
    QString projectName() const { return m_projectName; }
    std::int16_t frameIndex() const { return m_frameIndex; }
    QString acquisitionFolder() const { return m_acquisitionFolder; }
    // The window opens: no project open, frame 0.
    void reset();

    // The lists: "...", a project, an acquisition (loaded a moment later).
    void cmdDirClick();
    void OpenProject();
    void SelectAcquisition();
    void DeferredLoad();
    // `cmd_load`: loads the acquisition of the image folder in `txt_file`. False when it could
    // not be loaded (the reason was shown). Its converted frames of an earlier processing are
    // removed, unless a batch of any Vermalux holds the program folder.
    bool LoadAcquisition();
    // Frame 0 again after a training test.
    bool ReloadFirstFrame();
    // Stepping and repair of the first four frames.
    void cmdNextClick();
    void cmdPrevClick();
    void cmdDelClick();
    void ShowFrame(std::int16_t n);
    // "Delete[n]" names the frame shown.
    void showDeleteCaption();
    // The stepping buttons, shown with the set-up frame.
    void showStepping(bool visible);
    // Makes `folder` the acquisition the window works on and names it: the acquisition folder,
    // `txt_filepj`, `txt_file`, the device address and the picture (its first frame with the
    // analysis area) all change together; with `withTraining` its training fills the boxes
    // first. Used by the commands that work through several acquisitions.
    void enterAcquisition(const QString& folder, bool withTraining);

private:
    // Lists a folder into a list box as the browser does ("*." names; ".." with `withParent`).
    void fillList(QListWidget* list, const QString& folder, bool withParent);
    // The project list, or the open project's acquisition list, in front; the other hidden.
    void showProjectList();
    void showAcquisitionList();
    // Both lists closed, "..." on the button again.
    void closeLists();
    // Shows frame `name` of the image folder with the analysis area and copies it over the
    // program folder's preview.jpg; the device address goes into `txt_ip1`.
    bool showFrameFile(const QString& imageFolder, const QString& name);
    // Frame `n` of the image folder is shown: its number in `txt_nfile`, its acquisition the one
    // loaded, no pick list open.
    void frameShown(std::int16_t n, const QString& imageFolder);
    void clearPicture();
    QString programFile(const QString& name) const;

    BrowseControls m_c;
    PlateController& m_plate;
    platform::Services m_services;
    Lifetime m_life;
    BrowseHooks m_hooks;

    std::int16_t m_projectOpen = 0;
    QString m_projectName;
    std::int16_t m_frameIndex = 0;
    QString m_acquisitionFolder;
};

} // namespace ui
