#include "finder/sirrex.h"

#include "finder/arguments.h"
#include "finder/grid_scan.h"
#include "finder/image_input.h"
#include "formats/locked_append.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace finder {

namespace {

std::string outputPath(const std::string& folder, const char* name) {
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

// Why a line of `m` boxes cannot go into a descriptor file of `size` bytes that begins with
// `head`, or nothing when it can: a line of another length would make every later line
// unreadable.
std::string boxTableMismatch(std::uint64_t size, const std::vector<std::uint8_t>& head,
                             std::size_t m, const std::string& path) {
    if (formats::imageDescriptorFileIsNew(size) || head.size() < 2)
        return {};
    const std::size_t held = static_cast<std::size_t>((head[0] << 8) | head[1]);
    if (held == m)
        return {};
    return "the box table of " + path + " holds " + std::to_string(held) +
           " boxes, this frame has " + std::to_string(m);
}

} // namespace

std::string descriptorTableRefusal(const SirrexState& s, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {}; // a missing file gets a fresh table; other failures show when appending
    struct stat st {};
    std::vector<std::uint8_t> head(2);
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            got = ::pread(fd, head.data(), head.size(), 0);
        } while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    if (got < 0)
        return {};
    head.resize(static_cast<std::size_t>(got));
    return boxTableMismatch(static_cast<std::uint64_t>(st.st_size), head,
                            static_cast<std::size_t>(s.txt_imgframe_header_counter), path);
}

std::string positionFilePath(const std::string& projectFolder) {
    return outputPath(projectFolder, formats::kWormPositionsFileName);
}

std::string imageDescriptorFilePath(const std::string& projectFolder) {
    return outputPath(projectFolder, formats::kImageDescriptorFileName);
}

std::string write_fulloutput(const SirrexState& s, int count, std::int32_t time,
                             const std::string& path) {
    const std::span<const std::uint8_t> records(s.output_buffer.data(),
                                                static_cast<std::size_t>(count) * WORM_BUFFER_SIZE);
    return formats::appendLocked(path, [&](std::uint64_t size) {
        return formats::encodeBlockFromRecordBytes(time, count, records,
                                                   formats::positionFileIsNew(size));
    });
}

std::string writeImageDescriptor(const SirrexState& s, const std::string& path) {
    const auto m = static_cast<std::size_t>(s.txt_imgframe_header_counter);
    return formats::appendLocked(
        path, 2, [&](std::uint64_t size, const std::vector<std::uint8_t>& head) {
            formats::AppendPlan plan;
            const bool isNew = formats::imageDescriptorFileIsNew(size);
            plan.refusal = boxTableMismatch(size, head, m, path);
            if (!plan.refusal.empty())
                return plan;
            const std::size_t table = isNew ? 2 + 4 * m : 0;
            plan.bytes.resize(table + 2 + m);
            std::uint8_t* at = plan.bytes.data();
            if (isNew) {
                at[0] = static_cast<std::uint8_t>((m >> 8) & 0xFF);
                at[1] = static_cast<std::uint8_t>(m & 0xFF);
                std::memcpy(at + 2, s.buffer_boxes_header.data() + 2, 4 * m);
                at += table;
            }
            const std::uint16_t t = formats::descriptorLineTimeMark(s.worm_time);
            at[0] = static_cast<std::uint8_t>((t >> 8) & 0xFF);
            at[1] = static_cast<std::uint8_t>(t & 0xFF);
            std::memcpy(at + 2, s.buffer_boxes.data() + 2, m);
            return plan;
        });
}

namespace {

int writeOutputs(const SirrexState& s, const std::string& worms, const std::string& image,
                 std::ostream& err) {
    int status = SIRREX_OK;
    if (const std::string why = write_fulloutput(s, s.worms_found, s.worm_time, worms);
        !why.empty()) {
        err << "Cant write File " << worms << "\n" << why << "\n";
        status = SIRREX_WRITE_FAILED;
    }
    if (const std::string why = writeImageDescriptor(s, image); !why.empty()) {
        err << "Cant write File " << image << "\n" << why << "\n";
        status = SIRREX_WRITE_FAILED;
    }
    return status;
}

} // namespace

int runSirrex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              std::istream& in) {
    // A fresh, zeroed run state for every run (the image itself is mapped from its file).
    auto state = std::make_unique<SirrexState>();
    SirrexState& s = *state;
    s.console = &out;

    switch (load_arguments(s, args, out, err)) {
    case ArgumentsResult::Done:
        return SIRREX_OK;
    case ArgumentsResult::Refused:
        return SIRREX_BAD_INPUT;
    case ArgumentsResult::Run:
        break;
    }

    const auto start = std::chrono::steady_clock::now();
    s.txt_imgframe_header_counter = 0;
    if (read_image(s, out, err) != ImageReadResult::Ok)
        return SIRREX_BAD_INPUT;
    analyseFrame(s);

    const std::string worms = positionFilePath(s.project_folder);
    const std::string image = imageDescriptorFilePath(s.project_folder);
    // A line the descriptor file cannot take is found out before the block is written, so the
    // two files stay in step.
    int status = SIRREX_WRITE_FAILED;
    if (const std::string why = descriptorTableRefusal(s, image); !why.empty())
        err << "Cant write File " << image << "\n" << why << "; neither file was written\n";
    else
        status = writeOutputs(s, worms, image, err);

    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    char line[64];
    std::snprintf(line, sizeof line, "\n execution in %f s\n",
                  static_cast<double>(elapsed) / 1000.0);
    out << line;
    out.flush();
    if (s.verbose)
        in.get(); // one key
    return status;
}

} // namespace finder
