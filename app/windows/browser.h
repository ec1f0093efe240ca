#pragma once
// The project, acquisition and frame browser of the reanalysis window, apart from the window:
// the folder listings of its two lists, the frames of an acquisition's `img` folder found by
// their number, the repair of a missing frame from the next one, the device address read from
// a frame name, and the acquisition folder of an image folder. Paths use "/".

#include <QString>
#include <QStringList>

namespace windows {

// The projects or acquisitions in a folder: the folders whose name has no extension, in name
// order; "." left out, ".." first when `withParent` is set. Files are left out: on this platform
// programs carry no extension, and a listing of every name without one would offer the
// executables of the program folder as projects.
QStringList namesWithoutExtension(const QString& folder, bool withParent);

// The acquisition folder of an image folder: the folder without its last four characters when
// they are "/img", else the folder itself.
QString acquisitionFolderOf(const QString& imageFolder);

// The file name of frame n in a folder (the first name, in name order, that ends in "f" + n +
// ".jpg"); empty when there is none.
QString findFrameFile(const QString& folder, int n);

// The part of a frame name before its number: up to and including the "f" before the frame
// number (formats::frameLetterPosition), after the first character ("c10_0_0_7f3.jpg" gives
// "c10_0_0_7f", "cwifi-camf3.jpg" gives "cwifi-camf"); empty when the name is no frame name,
// a frame marked bad included ("cwifi-camf3m.jpg"), as its number no longer finds it.
QString framePrefixOf(const QString& name);

// The device address in a frame name: the characters after the first one up to that "f", with
// every "_" turned into "." ("c192_168_4_1f0.jpg" gives "192.168.4.1", "cwifi-camf0.jpg"
// gives "wifi-cam").
QString deviceAddressOfFrame(const QString& name);

// Copies a file whole: to a temporary name in the target's folder, then renamed over the
// target, so that the target is the old file or the complete copy, never a part. False, with
// the target untouched, when the copy failed.
bool copyFileWhole(const QString& source, const QString& target);

// Frame 0 of an image folder, made from the first later frame when it is missing.
struct FrameZero {
    QString name;         // the frame-0 file name; empty when no frame was found
    int replacedFrom = 0; // the frame copied to the frame-0 name, or 0 when it was there
    bool copyFailed = false;
};
// Looks for frame 0, then for frames 1 to `lastCandidate`; the first one found is copied whole
// to the frame-0 name (its prefix followed by "0.jpg").
FrameZero ensureFrameZero(const QString& imageFolder, int lastCandidate);

} // namespace windows
