#pragma once
// Raw reading of the gray PGM that the converter writes: the header is not parsed, only skipped
// by counting line feeds. No Qt.

#include "app/microbeam/block_activity.h"

#include <string>
#include <string_view>

namespace microbeam {

// The pixels of a PGM held in `bytes`: everything up to and including the third line-feed byte
// (value 10) is skipped, then bytes are taken as pixels, row by row, until `size.height` rows of
// `size.width` bytes are complete or the bytes run out. A short file gives fewer pixels, one
// without three line feeds none; a size without a positive width and height gives none.
FramePixels pgmPixelsFromBytes(std::string_view bytes, FrameSize size);

// The same from a file. A file that is missing or cannot be read gives no pixels; `error` (when
// given) then names the file and the cause, and is empty otherwise.
FramePixels pgmPixelsFromFile(const std::string& path, FrameSize size,
                              std::string* error = nullptr);

// False for pixels that a frame loop does not store: none at all, or a text that begins with
// "Error" (the first five values are 69, 114, 114, 111, 114).
bool isStorableFrame(const FramePixels& pixels);

} // namespace microbeam
