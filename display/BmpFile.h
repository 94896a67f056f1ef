#pragma once
// A deliberately narrow BMP reader and writer: 24-bit uncompressed only, which is what the
// artwork generator writes. Anything else (other depths, compression, absurd sizes, truncated
// data) is refused without allocating more than the validated picture size.

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

namespace bmp {

// Largest accepted width or height, and largest pixel count (4 bytes per pixel in memory).
inline constexpr int kMaxSide = 4096;
inline constexpr std::int64_t kMaxPixels = 4 * 1024 * 1024;

// Decodes a 24-bit BI_RGB BMP held in memory into a Format_RGB32 image. Returns a null
// image on any fault.
QImage Decode(const std::uint8_t* data, std::size_t size);

// Reads and decodes a file; a null image when it is missing, unreadable or refused, with `why`
// (when given) saying which in a few words ("missing", "8 bits per pixel; ...", "cut short").
QImage Read(const std::string& path, std::string* why = nullptr);

// Reads two pictures that are used together: both, or neither (false, and first and second are
// left as they were); `why` then names the file that failed and the reason.
bool ReadPair(const std::string& firstPath, const std::string& secondPath, QImage& first,
              QImage& second, std::string* why = nullptr);

// Encodes an image as a bottom-up 24-bit BI_RGB BMP (rows padded to 4 bytes).
std::string Encode(const QImage& image);

// Writes Encode(image) to path; false on any I/O error.
bool Write(const QImage& image, const std::string& path);

} // namespace bmp
