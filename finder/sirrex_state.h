#pragma once
// The run state of one Sirrex run: options, image, box table and line, records. Every run
// starts from a fresh, zeroed state; nothing survives a run but the two output files.

#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace finder {

inline constexpr int IMG_MAXX = 1600;
inline constexpr int IMG_MAXY = 1200;
inline constexpr int MAXCHANNELS = IMG_MAXX * IMG_MAXY; // 1,920,000 pixel bytes
inline constexpr int MAX_BLOCK_SIZE = 60;               // largest box size (test window)
inline constexpr int MIN_BLOCK_SIZE = 4;                // smallest box size (line passes)
inline constexpr int HEADER_SKIP_LIMIT = 20;            // bytes of a PGM header at most
inline constexpr int WORM_CENTRE_SLOTS = 256;

using formats::HASH_SEED;
using formats::MAX_NUMBER_OF_WORMS;
using formats::OUTPUT_BUFFER_SIZE;
using formats::WORM_BUFFER_SIZE;

// The image bytes of a run: IMG_MAXX x IMG_MAXY, row after row. A frame file is mapped into
// memory rather than copied (the copy into fresh memory costs more than the analysis); a frame
// from memory is copied. An image used before anything was put into it reads as all zero.
class ImageBuffer {
public:
    ImageBuffer() = default;
    ImageBuffer(ImageBuffer&& other) noexcept { *this = std::move(other); }
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer() { release(); }

    // Room for a whole frame, to be filled completely by the caller.
    std::uint8_t* prepareForReading();
    // Maps `fileSize` bytes of the open file `fd` and takes the frame from byte `offset` on;
    // the file must hold offset + MAXCHANNELS bytes. False when it cannot be mapped.
    bool mapFile(int fd, std::size_t fileSize, std::size_t offset);
    // The mapped file's first bytes (for the header), or nothing before mapFile.
    const std::uint8_t* mappedStart() const { return static_cast<const std::uint8_t*>(m_map); }
    // Takes the frame from byte `offset` of the mapping.
    void useMappedFrom(std::size_t offset) { m_view = mappedStart() + offset; }

    // A frame from memory; bytes beyond `pixels` are 0.
    void assign(const std::vector<std::uint8_t>& pixels);

    const std::uint8_t* data() const {
        if (m_view == nullptr) {
            m_owned.reset(new std::uint8_t[MAXCHANNELS]()); // zeroed
            m_view = m_owned.get();
        }
        return m_view;
    }
    std::uint8_t operator[](std::size_t i) const { return data()[i]; }

private:
    void release();

    mutable std::unique_ptr<std::uint8_t[]> m_owned;
    mutable const std::uint8_t* m_view = nullptr;
    void* m_map = nullptr;
    std::size_t m_mapSize = 0;
};

// Pixel index in `buffer`.
inline long long get_idx(long long x, long long y) {
    return x + static_cast<long long>(IMG_MAXX) * y;
}

struct SirrexState {
    // Command line.
    std::string nfile;
    std::string project_folder;
    std::int32_t arg_xs = 300;
    std::int32_t arg_xe = 1200;
    std::int32_t arg_ys = 170;
    std::int32_t arg_ye = 1000;
    std::int32_t arg_bs = 35;
    float arg_pl = 78.0f;
    float arg_ph = 100.0f;
    float arg_pt = 20.0f;
    float arg_tl = 5.4f;
    float arg_th = 10.0f;
    float arg_tt = 20.0f;
    float arg_ll = 17.0f;
    float arg_lh = 28.0f;
    float arg_lt = 20.0f;
    float arg_al = 33.0f;
    float arg_at = 50.0f;
    float arg_mt = 35.0f;
    std::int32_t arg_cp = 0;
    std::int32_t worm_time = 0;
    bool verbose = false;

    // The image, row after row with a stride of IMG_MAXX; pixels outside it read as 0.
    ImageBuffer buffer;

    // Box table (2 count bytes, then 4 bytes per entry) and line (2 time bytes, then one value
    // per entry).
    std::vector<std::uint8_t> buffer_boxes_header =
        std::vector<std::uint8_t>(formats::kBoxTableBufferSize, 0);
    std::vector<std::uint8_t> buffer_boxes = std::vector<std::uint8_t>(formats::MAXBOXES, 0);
    int txt_imgframe_header_counter = 0;

    // Records of this frame's block.
    std::array<std::uint8_t, OUTPUT_BUFFER_SIZE> output_buffer{};
    int output_buffer_position = 0;
    std::array<long long, WORM_CENTRE_SLOTS> array_worms_xcenter{};
    std::array<long long, WORM_CENTRE_SLOTS> array_worms_ycenter{};
    int worms_found = 0; // N, organisms accepted so far

    // Console of the run (diagnostics with `verbose`).
    std::ostream* console = nullptr;

    // A pixel; 0 outside the image.
    int pixel(long long x, long long y) const {
        if (x < 0 || y < 0 || x >= IMG_MAXX || y >= IMG_MAXY)
            return 0;
        return buffer.data()[get_idx(x, y)];
    }
};

} // namespace finder
