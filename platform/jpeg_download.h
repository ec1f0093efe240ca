#pragma once
// Fetching a JPEG frame so that no half-written or foreign file ever carries the frame's name.

#include "platform/services.h"

namespace platform {

// Fetches url into file only when the answer is complete and begins with the JPEG start marker
// (FF D8): the body goes to a hidden temporary name beside file and is renamed into place after
// the check. On failure file is left as it was and no temporary file remains.
bool downloadJpeg(Downloader& downloader, const QString& url, const QString& file);

// True when the file begins with FF D8.
bool startsLikeJpeg(const QString& file);

} // namespace platform
