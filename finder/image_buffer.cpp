#include "finder/sirrex_state.h"

#include <sys/mman.h>

namespace finder {

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this != &other) {
        release();
        m_owned = std::move(other.m_owned);
        m_view = other.m_view;
        m_map = other.m_map;
        m_mapSize = other.m_mapSize;
        other.m_view = nullptr;
        other.m_map = nullptr;
        other.m_mapSize = 0;
    }
    return *this;
}

void ImageBuffer::release() {
    if (m_map != nullptr)
        ::munmap(m_map, m_mapSize);
    m_map = nullptr;
    m_mapSize = 0;
    m_owned.reset();
    m_view = nullptr;
}

std::uint8_t* ImageBuffer::prepareForReading() {
    release();
    m_owned.reset(new std::uint8_t[MAXCHANNELS]);
    m_view = m_owned.get();
    return m_owned.get();
}

bool ImageBuffer::mapFile(int fd, std::size_t fileSize, std::size_t offset) {
    release();
    if (fileSize == 0)
        return false;
    void* map = ::mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED)
        return false;
    m_map = map;
    m_mapSize = fileSize;
    m_view = static_cast<const std::uint8_t*>(map) + offset;
    return true;
}

void ImageBuffer::assign(const std::vector<std::uint8_t>& pixels) {
    std::uint8_t* d = prepareForReading();
    const std::size_t n = std::min<std::size_t>(pixels.size(), MAXCHANNELS);
    std::copy_n(pixels.begin(), n, d);
    std::fill(d + n, d + MAXCHANNELS, 0);
}

} // namespace finder
