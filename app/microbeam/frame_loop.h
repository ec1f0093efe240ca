#pragma once
// The Microbeam run without widgets: each tick of the window's 100 ms timer converts one frame
// with Dravel into the program folder's microbeam.pgm, reads its pixels into the frame ring and,
// after every ten frames, computes the block activity. Used by the reanalysis window (frames of
// an acquisition) and the Microbeam window (frames of any folder by their prefix).
//
// The tick never blocks: it starts Dravel hidden and looks again on later ticks whether it has
// ended; microbeam.pgm is deleted before every conversion and read only after Dravel has ended,
// so a stale or half-written picture is never taken. A conversion that does not end within
// kConversionLimitMs is stopped and ends the run with a message.
//
// The window's text boxes stay the truth: each tick takes the counter, the last frame number
// and the activity total that the boxes show and returns the values to write back.
//
// Typical use by a window:
//   start:  auto r = loop.start(setup); if (!r.started) { message(r.message); ... }
//           else set FrameSize = loop.frameSize(), counter box "0", activity "0", timer on.
//   tick:   if run flag off -> (loop.stop()), return;
//           auto t = loop.tick({counter, txt_max, activity});
//           if (t.stored) ShowFrameString(t.pixels); write t.counter / t.activity back;
//           if (t.blockDone) paint microbeam::maskMarks(loop.mask(), loop.frameSize());
//           if (t.ended) { run flag off, timer off, caption "Process"; if (!t.error.isEmpty())
//           message(t.error); }
//   stop:   loop.stop().

#include "app/microbeam/block_activity.h"
#include "app/microbeam/microbeam_claim.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace microbeam {

// Time a single conversion may take before Dravel is stopped and the run ends.
inline constexpr std::int64_t kConversionLimitMs = 5000;

// The name of the converted frame in the program folder: the run's own working file, apart from
// the preview.pgm that "TEST TRAINING" converts and searches meanwhile.
inline constexpr char kMicrobeamPgmName[] = "microbeam.pgm";

// Reduced-frame geometry: 200 x 150 (Dravel "-scale 1/8" of a 1600 x 1200 frame), or in the
// Microbeam window's micro mode 160 x 120 ("-scale 1/4" of a 640 x 480 frame).
FrameSize reducedFrameSize(bool micro);
QString dravelScale(bool micro); // "1/8" or "1/4"

// Dravel's arguments: -grayscale -scale <1/8|1/4> -outfile <pgm> <jpg>.
QStringList dravelArguments(bool micro, const QString& pgmPath, const QString& jpgPath);

// The numeric value of a text box: its leading number (formats::leadingNumber), to the nearest
// integer with halves to even, clamped to the 32-bit range. "12abc" gives 12, "abc" 0.
std::int32_t boxNumber(const QString& text);

// The first name in `folder` (sorted by name) that ends in "f0.jpg", or an empty string.
QString firstFrameZeroName(const QString& folder);

// Where a run takes its frames.
struct FrameLoopSetup {
    // The folder where frame 0 is looked for ("*f0.jpg"): txt_file of either window.
    QString folder;
    // Reanalysis window: frames are acquisitionFolder/img/c<address with "_">f<N>.jpg.
    // Microbeam window: leave acquisitionFolder empty; frames are FramePrefix + N + ".jpg",
    // the prefix being `folder` + "/" + the first "*f0.jpg" name without "0.jpg".
    QString acquisitionFolder;
    QString deviceAddress;
    // Micro mode of the Microbeam window: 160 x 120 frames, "-scale 1/4".
    bool micro = false;
};

// One point of the mask to paint: a 2 x 2 box at (x, y) in red over the reduced picture.
struct MaskMark {
    int x = 0;
    int y = 0;
};

// The marks of the active pixels: p = 1 to 27646 while the row (p - 1) / width is below the
// height, x = (p - 1) mod width, y = (p - 1) / width, for every p whose count is above 0.
std::vector<MaskMark> maskMarks(const ActivityMask& mask, FrameSize size);

class FrameLoop {
public:
    explicit FrameLoop(platform::Services services);
    ~FrameLoop(); // stops a conversion still running and gives the claim back
    FrameLoop(const FrameLoop&) = delete;
    FrameLoop& operator=(const FrameLoop&) = delete;

    struct StartResult {
        bool started = false;
        // Why not: "File 0 not found", or MicrobeamClaim::refusalText().
        QString message;
        // Microbeam window: the FramePrefix of the run (folder + "/" + name up to the number).
        QString framePrefix;
    };
    // Starts a run: takes the program-wide claim, finds frame 0 in setup.folder, sets the frame
    // size, re-creates the mask all zero, sets the ring index to 0 (the ring keeps its frames)
    // and starts converting frame 0 (the first tick's frame, shown as the preview).
    StartResult start(const FrameLoopSetup& setup);

    // What the window's boxes show when the tick comes.
    struct TickInput {
        std::int32_t counter = 0;   // numeric value of the counter box (txt_current / txt_nfile)
        std::int32_t lastFrame = 0; // numeric value of txt_max
        std::int64_t activity = 0;  // numeric value of txt_activity
    };
    struct TickResult {
        // False while Dravel still converts this tick's frame: nothing else below changed.
        bool frameDone = false;
        std::int32_t frame = -1;   // the frame number taken
        QString framePath;         // its JPEG
        bool stored = false;       // `pixels` went into the ring; paint them
        FramePixels pixels;        // the pixels of the frame (also when not stored)
        bool missing = false;      // no JPEG: the last conversion's pixels were taken again
        bool unreadable = false;   // converted, but no usable pixels: not stored
        std::int32_t counter = 0;  // counter value to write back (input + 1 once a frame is done)
        std::int64_t activity = 0; // activity total to write back
        bool blockDone = false;    // a block was computed: repaint the mask over the picture
        BlockResult block;         // its result (failed blocks add 0)
        bool ended = false;        // the run is over (after frame lastFrame, or an error)
        QString error;             // why the run ended early; empty otherwise
    };
    // One timer tick. Does nothing (frameDone false, ended true) when no run is on.
    TickResult tick(const TickInput& input);

    // Stops a run: a conversion still running is stopped, the claim given back. The ring, the
    // mask and the frame size stay.
    void stop();
    bool running() const { return m_running; }
    // The window loads: the ring becomes ten empty frames again (a run in progress stops).
    void clearRing();

    const FrameRing& ring() const { return m_ring; }
    const ActivityMask& mask() const { return m_mask; }
    FrameSize frameSize() const { return m_size; }
    QString framePrefix() const { return m_prefix; }
    // The JPEG of frame n of the current run.
    QString framePath(std::int32_t n) const;
    // Frames of this run taken again from the previous one (no JPEG), and frames not stored
    // (no usable pixels).
    int missingFrames() const { return m_missing; }
    int unreadableFrames() const { return m_unreadable; }
    QString previewPath() const;

private:
    bool startConversion(std::int32_t frame, QString* error);
    void finishRun();

    platform::Services m_services;
    MicrobeamClaim m_claim;
    FrameLoopSetup m_setup;
    FrameRing m_ring;
    ActivityMask m_mask{};
    FrameSize m_size;
    QString m_prefix;
    bool m_running = false;
    std::optional<std::int64_t> m_dravelPid;
    std::int32_t m_converting = -1; // frame whose conversion runs or ran, -1 when none
    std::int64_t m_conversionStartMs = 0;
    FramePixels m_lastPixels; // pixels of the last conversion read
    int m_missing = 0;
    int m_unreadable = 0;
};

} // namespace microbeam
