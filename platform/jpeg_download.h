#pragma once
// Fetching a JPEG so that no half-written or foreign file ever carries its name.

#include "platform/services.h"

namespace platform {

// Fetches url into file only when the answer is complete and begins with the JPEG start marker
// (FF D8): the body goes to a hidden temporary name beside file (the one temporary file of the
// fetch) and is renamed into place after the check. On failure file is left as it was and no
// temporary file remains.
bool downloadJpeg(Downloader& downloader, const QString& url, const QString& file);

// The same for a frame of a run, which is kept only when it is a whole JPEG (isCompleteJpeg):
// the converter rejects anything less, so a cut frame must not take a frame's name.
bool downloadFrame(Downloader& downloader, const QString& url, const QString& file);

// True when the file begins with FF D8.
bool startsLikeJpeg(const QString& file);

// True when the file begins with the start-of-image marker FF D8 and ends with the end-of-image
// marker FF D9.
bool isCompleteJpeg(const QString& file);

} // namespace platform
