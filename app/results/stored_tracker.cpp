#include "app/results/stored_tracker.h"

#include "app/results/live_tracker.h"
#include "app/results/stored_block_reader.h"
#include "app/results/track_color.h"
#include "formats/frame_names.h"
#include "formats/position_file.h"
#include "formats/text_lines.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace results {

std::int32_t NearestSamplePoint(const std::vector<SamplePoint>& points, std::int32_t x,
                                std::int32_t y) {
    double best = 99999.0;
    std::int32_t result = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double dx = static_cast<double>(points[i].x) - x;
        const double dy = static_cast<double>(points[i].y) - y;
        const double d2 = dy * dy + dx * dx;
        if (d2 < best) {
            best = d2;
            result = static_cast<std::int32_t>(i);
        }
    }
    return result;
}

namespace {

constexpr std::uint64_t kStoredReadPiece = std::uint64_t(4) << 20;

struct StoredTrack {
    LiveDetection last; // the detection the track took last
    std::int32_t lostCount = 0;
};

WormTrailRow rowOf(std::int32_t frame, std::int32_t id, const StoredTrack& track) {
    return {frame,
            id,
            track.last.x,
            track.last.y,
            track.lostCount,
            track.last.pixels,
            track.last.xSize,
            track.last.ySize,
            track.last.shape};
}

std::string backgroundPictureOf(const std::string& folder, const std::string& programFolder) {
    const std::string img = formats::pathInFolder(folder, "img");
    for (std::int32_t k = 0; k <= 3; ++k) {
        const std::string name = findFrameFile(img, k);
        if (!name.empty())
            return formats::pathInFolder(img, name);
    }
    return formats::pathInFolder(programFolder, formats::kPreviewFileName);
}

// Hands out the blocks of the position file by time mark: the block of frame n, or none. Blocks
// of earlier time marks (frames passed over, repeated marks) are read and dropped on the way;
// a block of a later frame waits for it. The file is read once, when the first block is asked
// for.
class BlocksByTimeMark {
public:
    enum class Answer { Found, None, Later };

    BlocksByTimeMark(const std::string& folder, StoredTrackResult& out)
        : m_folder(folder), m_out(out) {}

    // The block of `frame` (Found: block() holds it), none (None), or Later when the clock
    // reached `deadline` first (ask again for the same frame).
    Answer blockOf(std::int32_t frame, StoredClock::time_point deadline) {
        if (!m_loaded) {
            // The file is read in pieces of a few megabytes, so that a large one takes
            // several steps rather than one long one.
            if (!m_opened) {
                m_opened = true;
                if (m_folder.empty() ||
                    !m_pieces.open(
                        formats::pathInFolder(m_folder, formats::kWormPositionsFileName))) {
                    m_loaded = true;
                    m_file = m_folder.empty() ? StoredPositionFile{}
                                              : storedPositionFileOf(std::move(m_pieces.result()));
                }
            }
            while (!m_loaded) {
                if (m_pieces.readOn(kStoredReadPiece)) {
                    m_loaded = true;
                    m_file = storedPositionFileOf(std::move(m_pieces.result()));
                } else if (StoredClock::now() >= deadline) {
                    return Answer::Later;
                }
            }
        }
        std::uint32_t sinceClock = 0;
        while (!m_ended) {
            if (!m_pending) {
                if (++sinceClock % 256 == 0 && StoredClock::now() >= deadline)
                    return Answer::Later;
                DetectionBlock block = ReadWormBlock(m_file, m_reader);
                if (block.status == DetectionBlock::Status::NothingNew) {
                    m_ended = true;
                    break;
                }
                if (block.status == DetectionBlock::Status::Error) {
                    m_ended = true;
                    m_error = block.error;
                    break;
                }
                if (block.footerMismatch && m_footerMismatches++ == 0)
                    m_out.notes.push_back(block.notice);
                if (block.status == DetectionBlock::Status::Skipped) {
                    ++m_out.blocksPassedOver;
                    if (m_damaged++ == 0)
                        m_out.notes.push_back(block.error);
                    continue;
                }
                ++m_out.blocksRead;
                m_pending = std::move(block);
            }
            if (m_pending->timeMark < frame) {
                ++m_out.blocksPassedOver;
                m_pending.reset();
                continue;
            }
            if (m_pending->timeMark == frame)
                return Answer::Found;
            break;
        }
        return Answer::None;
    }

    const DetectionBlock& block() const { return *m_pending; }
    // The block handed out last has been used (or passed over).
    void done() { m_pending.reset(); }
    const std::string& error() const { return m_error; }
    std::int32_t damagedBlocks() const { return m_damaged; }
    // The file is no longer needed: its bytes go.
    void release() { m_file = {}; }

private:
    std::string m_folder;
    StoredTrackResult& m_out;
    bool m_opened = false;
    bool m_loaded = false;
    FileReadInPieces m_pieces;
    StoredPositionFile m_file;
    StoredReaderState m_reader;
    std::optional<DetectionBlock> m_pending;
    bool m_ended = false;
    std::string m_error;
    std::int32_t m_damaged = 0;
    std::int32_t m_footerMismatches = 0;
};

} // namespace

struct StoredTrackerRun::State {
    State(const std::string& folder, const StoredTrackerParams& params,
          BackgroundSamples samples, const std::string& programFolder)
        : folder(folder), params(params), samples(std::move(samples)),
          programFolder(programFolder), blocks(folder, out) {}

    std::string folder;
    StoredTrackerParams params;
    BackgroundSamples samples;
    std::string programFolder;
    StoredTrackResult out;
    BlocksByTimeMark blocks;
    double scale = 0.0;
    std::vector<StoredTrack> tracks;
    std::vector<LiveDetection> detections;
    std::vector<TrackEnd> ends;
    bool limitTold = false;
    std::int32_t time = 0;
    std::int32_t frame = 0; // the frame to link next
    bool ended = false;     // every frame has been looked at, or the file cannot be read on
    bool finished = false;  // finish() was called

    bool refuse(int d, std::int32_t best) const {
        if (best <= kStoredFilterReach)
            return false;
        const LiveDetection& det = detections[static_cast<std::size_t>(d)];
        const std::int32_t k = NearestSamplePoint(samples.points, det.x, det.y);
        std::uint8_t v = 0, vp = 0;
        if (!samples.value(time, k, v) || !samples.value(time - 1, k, vp))
            return false; // no samples to judge by
        return scale > 0.0 && (scale + 0.01) * v > std::abs(static_cast<int>(v) - vp);
    }

    void start() {
        if (folder.empty()) {
            out.error = "no acquisition folder";
            ended = true;
            return;
        }
        out.backgroundPicture = backgroundPictureOf(folder, programFolder);
        scale = samples.scale;
        if (scale > 0.0 && scale < kStoredMinScale)
            scale = kStoredMinScale;
        out.scale = scale;
        out.backgroundFilterApplied = params.backgroundFilter && samples.hasData();
        if (params.backgroundFilter && !samples.hasData())
            out.notes.push_back("Background filter skipped: " + samples.reason);
    }

    void link(std::int32_t n, const DetectionBlock& block) {
        detections = liveDetections(block);
        ++out.framesLinked;

        if (n <= 1) {
            // The start frame: one track per entry, its rows written as frame 0.
            tracks.assign(detections.size(), StoredTrack{});
            for (std::size_t i = 0; i < detections.size(); ++i) {
                tracks[i].last = detections[i];
                if (tracks[i].last.x > 0)
                    out.rows.push_back(rowOf(0, static_cast<std::int32_t>(i), tracks[i]));
            }
            return;
        }

        const auto oldCount = static_cast<std::int32_t>(tracks.size());
        ends.resize(tracks.size());
        for (std::size_t t = 0; t < tracks.size(); ++t)
            ends[t] = {tracks[t].last.x, tracks[t].last.y, tracks[t].lostCount < kStoredLostLimit};
        const RefuseLink refuser = [this](std::int32_t, int d, std::int32_t best) {
            return refuse(d, best);
        };
        const TrackLinks links = linkDetections(
            ends, detections, params.maxTravel,
            out.backgroundFilterApplied ? refuser : RefuseLink{});
        for (const int d : links.unclaimed) {
            if (static_cast<std::int32_t>(tracks.size()) >= kLiveMaxTracks) {
                if (!limitTold) {
                    limitTold = true;
                    out.notes.push_back(kTrackIdLimitMessage);
                }
                break;
            }
            StoredTrack track;
            track.last = detections[static_cast<std::size_t>(d)];
            tracks.push_back(track);
        }
        for (std::int32_t t = 0; t < oldCount; ++t) {
            StoredTrack& track = tracks[static_cast<std::size_t>(t)];
            if (track.lostCount >= kStoredLostLimit)
                continue;
            ++track.lostCount;
            const int d = links.pick[static_cast<std::size_t>(t)];
            if (d < 0)
                continue;
            const LiveDetection& det = detections[static_cast<std::size_t>(d)];
            out.segments.push_back({n, t, TrackColor(t), track.last.x, track.last.y, det.x, det.y});
            track.last = det;
            track.lostCount = 0;
        }
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            if (tracks[t].lostCount < kStoredLostLimit && tracks[t].last.x > 0)
                out.rows.push_back(rowOf(n, static_cast<std::int32_t>(t), tracks[t]));
        }
    }

    bool step(StoredClock::time_point deadline) {
        while (!ended && frame <= kStoredLastFrame) {
            const std::int32_t n = frame;
            if (!samples.isUsable(n)) {
                ++frame;
                continue;
            }
            const BlocksByTimeMark::Answer answer = blocks.blockOf(n, deadline);
            if (answer == BlocksByTimeMark::Answer::Later)
                return false;
            ++frame;
            if (answer == BlocksByTimeMark::Answer::None)
                continue;
            time = blocks.block().timeMark;
            if (time <= 0) {
                ++out.blocksPassedOver;
                blocks.done();
                continue;
            }
            link(n, blocks.block());
            blocks.done();
            if (frame <= kStoredLastFrame && StoredClock::now() >= deadline)
                return false;
        }
        ended = true;
        return true;
    }
};

StoredTrackerRun::StoredTrackerRun(const std::string& folder, const StoredTrackerParams& params,
                                   BackgroundSamples samples, const std::string& programFolder)
    : m_state(std::make_unique<State>(folder, params, std::move(samples), programFolder)) {
    m_state->start();
}

StoredTrackerRun::~StoredTrackerRun() = default;
StoredTrackerRun::StoredTrackerRun(StoredTrackerRun&&) noexcept = default;
StoredTrackerRun& StoredTrackerRun::operator=(StoredTrackerRun&&) noexcept = default;

bool StoredTrackerRun::step(StoredClock::duration budget) {
    return m_state->ended || m_state->step(StoredClock::now() + budget);
}

bool StoredTrackerRun::ended() const {
    return m_state->ended;
}

std::int32_t StoredTrackerRun::frame() const {
    return std::min(m_state->frame, kStoredLastFrame);
}

StoredTrackResult StoredTrackerRun::finish() {
    State& s = *m_state;
    while (!s.ended)
        s.step(StoredClock::time_point::max());
    StoredTrackResult& out = s.out;
    if (s.finished)
        return out;
    s.finished = true;
    s.blocks.release();
    if (!s.folder.empty()) {
        out.trackCount = static_cast<std::int32_t>(s.tracks.size());
        if (s.blocks.damagedBlocks() > 1)
            out.notes.push_back(std::to_string(s.blocks.damagedBlocks()) +
                                " damaged blocks of xy_worms.bin passed over");
        out.error = s.blocks.error();
        const std::string written =
            writeWormTrailsFile(formats::pathInFolder(s.folder, kWormTrailsFileName), out.rows);
        if (out.error.empty())
            out.error = written;
    }
    out.completed = out.error.empty();
    if (!out.completed)
        out.messages.push_back(kStoredTrackerErrorMessage);
    out.messages.insert(out.messages.begin(), s.samples.filter.messages.begin(),
                        s.samples.filter.messages.end());
    out.notes.insert(out.notes.begin(), s.samples.filter.errors.begin(),
                     s.samples.filter.errors.end());
    return out;
}

StoredTrackResult trackStoredAcquisition(const std::string& folder,
                                         const StoredTrackerParams& params,
                                         const BackgroundSamples& samples,
                                         const std::string& programFolder) {
    BackgroundSamples own = samples;
    own.filter = {}; // the bad-frame pass is told by TrackWorms
    StoredTrackerRun run(folder, params, std::move(own), programFolder);
    return run.finish();
}

StoredTrackResult TrackWorms(const std::string& folder, bool interactive,
                             const StoredTrackerParams& params, const std::string& programFolder,
                             const ConfirmBadFrame& confirm) {
    return startTrackWorms(folder, interactive, params, programFolder, confirm).finish();
}

StoredTrackerRun startTrackWorms(const std::string& folder, bool interactive,
                                 const StoredTrackerParams& params,
                                 const std::string& programFolder, const ConfirmBadFrame& confirm) {
    return StoredTrackerRun(folder, params,
                            FilterBadImagesAndLoadSamples(folder, interactive, confirm),
                            programFolder);
}

} // namespace results
