#pragma once
// The frame-folder check without widgets: lists the JPEG frames of a folder, samples the mean
// gray of five boxes around the analysis area in every frame (through a sampler the window
// supplies, which shows the frame and reads its displayed picture), writes verificador.txt in
// the program folder and marks the bad frames by the bad-frame rename rule.
//
// The check is steppable so that the window keeps handling events between frames and can stop:
//   auto b = check.begin(folder, limits);      // lists, writes the header, takes the claim
//   if (!b.message.isEmpty()) message(b.message);
//   while (b.ok && running flag && !check.samplingDone()) {
//       auto s = check.step(sampler);            // one frame number
//       if (s.sampled) put s.frame into txt_current;
//       if (s.frame % 5 == 0) process events;
//   }
//   if (stopped) check.stop();                   // header only, nothing asked
//   else { auto f = check.finish();              // writes the rows
//          if (!f.note.isEmpty()) message(f.note);
//          if (!f.badFrames.empty() && dialogs->question(f.question)) check.renameBadFrames();
//          check.end(); }

#include "app/microbeam/microbeam_claim.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace microbeam {

// The name of the frame-check file in the program folder.
inline constexpr char kFrameCheckFileName[] = "verificador.txt";

// The frame number of a frame name: the leading number of the characters between the "f" before
// the frame number and the last four characters ("c1_2f12.jpg" and "c1_2f12m.jpg" give 12,
// "cwifi-camf7.jpg" 7, "cf.jpg" 0). That "f" is the one followed only by digits, an "m" and the
// extension; a name of another form is read from its first "f". Nothing for a name without "f"
// before its last four characters and for numbers outside 0 to 32767.
std::optional<std::int16_t> frameNumberOfName(const QString& name);

// FramePrefix: the name up to and including the "f" before its frame number.
QString framePrefixOfName(const QString& name);

// The names of `folder` that match "*f*.jpg", sorted by name.
QStringList listFrameNames(const QString& folder);

// The analysis rectangle, from txt_x1, txt_x2, txt_y1, txt_y2.
struct ArenaLimits {
    std::int16_t x1 = 0;
    std::int16_t x2 = 0;
    std::int16_t y1 = 0;
    std::int16_t y2 = 0;
};

struct SamplePoint {
    std::int16_t x = 0;
    std::int16_t y = 0;
    friend bool operator==(const SamplePoint&, const SamplePoint&) = default;
};

// The centres of the five 101 x 101 sample boxes in 1600 x 1200 coordinates:
//   1: ((x1+x2)/2, y1-50)   2: ((x1+x2)/2, y2+60)   3: (x1-50, (y1+y2)/2)
//   4: ((x1+x2)/20 + x1, (y1+y2)/4)   5: ((x1+x2)/20 + x1 - 50, 3 * ((y1+y2)/4))
// computed as real numbers and then rounded, halves to even. Nothing when a sum or a centre
// leaves the 16-bit range.
std::optional<std::array<SamplePoint, 5>> sampleBoxCentres(const ArenaLimits& limits);

// The mean gray of the 101 x 101 points around (x, y), from a colour-to-gray reader of single
// points (outside points read as 255 by that reader): sum / 10201, rounded halves to even.
std::int16_t meanGrayOfBox(std::int16_t x, std::int16_t y,
                           const std::function<int(int x, int y)>& grayAtPoint);

// The five box means of one frame.
using BoxValues = std::array<std::int16_t, 5>;

// True when any box value differs from its box mean by more than 6 % of that mean (strictly).
bool isBadFrame(const BoxValues& values, const std::array<double, 5>& means);

// The two header lines of verificador.txt, each ended by CR LF: the folder as typed, then
// "File v1 v2 v3 v4".
std::string frameCheckHeader(const QString& folderAsTyped);

// One row, CR LF ended: prefix + number, " 1 " or " 0 ", the five values separated by one
// blank, and " *" for a bad frame. Example: "c1_2f3 0 90 91 92 93 94 *\r\n".
std::string frameCheckRow(const QString& framePrefix, std::int32_t frame, const BoxValues& values,
                          bool bad);

// The window's side of the sampling: show a frame in the picture, and the mean gray of the
// displayed picture over a 101 x 101 box (MeanGrayAt).
struct GraySampler {
    // Shows the frame; false when it cannot be shown (it is then treated like a missing frame
    // and reported in FinishResult::note).
    std::function<bool(const QString& framePath)> showFrame;
    std::function<std::int16_t(std::int16_t x, std::int16_t y)> meanGrayAt;
};

// The outcome of marking one frame bad.
struct RenameOutcome {
    std::int32_t frame = 0;
    bool renamed = false;
    QString message; // "OK Renaming file #n" or "error renaming File #n"
};

// The bad-frame rename rule for one frame: copy `framePath` (ending in ".jpg") to the same name
// ending in "m.jpg", pause 500 ms through the clock, and delete the original only when the copy
// exists with the original's size. A file already under the marked name is never replaced.
// True when the frame now has only its marked name; otherwise the original stays (and a copy
// that could not be verified is removed).
bool markBadFrame(const QString& framePath, platform::Clock& clock);

class FrameCheck {
public:
    explicit FrameCheck(platform::Services services);
    ~FrameCheck(); // gives the claim back
    FrameCheck(const FrameCheck&) = delete;
    FrameCheck& operator=(const FrameCheck&) = delete;

    struct BeginResult {
        bool ok = false;          // sampling may go on (steps or finish)
        QString message;          // "File 0 not found", the refusal text, or a write error
        QString framePrefix;      // from the first listed name
        std::int16_t highest = 0; // N: the highest frame number listed
    };
    // Takes the claim, lists `folder` (taken once, as typed in txt_file), writes the header of
    // verificador.txt (replacing the file), takes FramePrefix from the first name and N, and
    // computes the box centres from `limits`. A folder without frame names shows nothing else:
    // message "File 0 not found", verificador.txt created empty when missing, else unchanged.
    BeginResult begin(const QString& folder, const ArenaLimits& limits);

    struct StepResult {
        std::int32_t frame = -1; // the number looked at
        QString framePath;
        bool sampled = false; // the frame existed and was sampled: show it in txt_current
        bool missing = false; // no such file (or it could not be shown)
        BoxValues values{};
    };
    // Samples the next frame number (0 to N; nothing when N is 0). Call until samplingDone().
    StepResult step(const GraySampler& sampler);
    bool samplingDone() const;

    struct FinishResult {
        QString error; // verificador.txt could not be written
        QString note;  // e.g. no frame could be sampled; empty when all is usual
        std::vector<std::int32_t> badFrames;
        QString badList;          // "3 7 12"
        QString question;         // "Reading Error [3 7 12]. RENAME?" (asked only when bad frames)
        std::int32_t sampled = 0; // the count of sampled frames
    };
    // Computes the means and writes header and rows whole into verificador.txt. Does nothing
    // (an empty result) unless a check has begun and was not stopped since. A black frame (box
    // 1 reads 0) is bad and gets its bad row; a frame that could not be shown is bad and gets
    // no row (unless no frame could be shown at all); neither enters the means.
    FinishResult finish();

    // Marks every bad frame of finish() by the rename rule, each outcome shown in a message box
    // (OK only) through the dialogs service. The renames end when the check is stopped while a
    // message is shown, or when `goOn`, asked after each message, says no (the window went;
    // nothing of the check is touched after that answer).
    std::vector<RenameOutcome> renameBadFrames(const std::function<bool()>& goOn = {});

    // Ends the check after a stop: verificador.txt keeps only its header, nothing is asked.
    void stop();
    // Ends a check that went through; gives the claim back.
    void end();
    bool active() const { return m_claim.held(); }

    const std::array<SamplePoint, 5>& centres() const { return m_centres; }
    QString frameCheckPath() const;

private:
    platform::Services m_services;
    MicrobeamClaim m_claim;
    QString m_folder;
    QString m_prefix;
    std::int16_t m_highest = 0;
    std::int32_t m_next = 0;
    std::array<SamplePoint, 5> m_centres{};
    std::vector<BoxValues> m_values; // per number 0..N
    std::vector<bool> m_sampled;     // per number 0..N
    std::vector<std::int32_t> m_unshown;
    std::vector<std::int32_t> m_bad;
    bool m_sampling = false; // begun and neither stopped nor finished
    std::uint64_t m_generation = 0; // counts begins and stops
};

} // namespace microbeam
