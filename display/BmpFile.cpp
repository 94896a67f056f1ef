#include "display/BmpFile.h"

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

namespace bmp {

namespace {

constexpr std::size_t kFileHeaderSize = 14;

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::int32_t I32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(U32(p));
}
void Put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string& s, std::uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

// Validated layout of a 24-bit picture.
struct Layout {
    int width = 0;
    int height = 0; // always positive
    bool topDown = false;
    std::uint64_t offset = 0;
    std::uint64_t stride = 0;
};

// Checks the two headers (at least the first 14 + 40 bytes); false for anything we do not
// read, with `why` saying what it is. The pixel data itself is not required here.
bool ParseHeaders(const std::uint8_t* data, std::size_t size, Layout& out, std::string& why) {
    if (size < kFileHeaderSize + 40 || data[0] != 'B' || data[1] != 'M') {
        why = "not a BMP picture";
        return false;
    }
    const std::uint32_t offBits = U32(data + 10);
    const std::uint32_t infoSize = U32(data + 14);
    // BITMAPINFOHEADER and its V2..V5 extensions share the first 40 bytes; the old
    // 12-byte core header is not something we write.
    if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124) {
        why = "a BMP header of " + std::to_string(infoSize) + " bytes, which is not read";
        return false;
    }
    const std::int32_t width = I32(data + 18);
    const std::int32_t height = I32(data + 22);
    const std::uint16_t planes = U16(data + 26);
    const std::uint16_t bits = U16(data + 28);
    const std::uint32_t compression = U32(data + 30);
    if (planes != 1 || bits != 24 || compression != 0) {
        why = std::to_string(bits) + " bits per pixel" + (compression != 0 ? ", compressed" : "") +
              "; only uncompressed 24-bit pictures are read";
        return false;
    }
    const bool sidesInRange =
        width > 0 && width <= kMaxSide && height != 0 && height >= -kMaxSide && height <= kMaxSide;
    const int h = !sidesInRange ? 0 : height < 0 ? -height : height;
    if (!sidesInRange || static_cast<std::int64_t>(width) * h > kMaxPixels) {
        why = "a picture size of " + std::to_string(width) + " x " + std::to_string(height) +
              ", out of range";
        return false;
    }
    if (offBits < kFileHeaderSize + infoSize) {
        why = "pixel data said to start inside the header";
        return false;
    }
    out.width = width;
    out.height = h;
    out.topDown = height < 0;
    out.offset = offBits;
    out.stride = (static_cast<std::uint64_t>(width) * 3 + 3) & ~std::uint64_t{3};
    return true;
}

constexpr const char* kCutShort = "the file ends before its pixels do (cut short)";

QImage Unpack(const std::uint8_t* pixels, const Layout& layout) {
    QImage image(layout.width, layout.height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int row = 0; row < layout.height; ++row) {
        const int y = layout.topDown ? row : layout.height - 1 - row;
        const std::uint8_t* in = pixels + layout.stride * static_cast<std::uint64_t>(row);
        QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < layout.width; ++x, in += 3)
            out[x] = qRgb(in[2], in[1], in[0]);
    }
    return image;
}

} // namespace

QImage Decode(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr)
        return {};
    Layout layout;
    std::string why;
    if (!ParseHeaders(data, size, layout, why))
        return {};
    const std::uint64_t need =
        layout.offset + layout.stride * static_cast<std::uint64_t>(layout.height);
    if (need > size)
        return {};
    return Unpack(data + layout.offset, layout);
}

QImage Read(const std::string& path, std::string* why) {
    std::string reason;
    QImage image = [&]() -> QImage {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::error_code ec;
            reason = std::filesystem::exists(path, ec) ? "cannot be opened" : "missing";
            return {};
        }
        in.seekg(0, std::ios::end);
        const std::streamoff fileSize = in.tellg();
        if (fileSize < 0) {
            reason = "not a file that can be read";
            return {};
        }
        in.seekg(0, std::ios::beg);
        // Headers first, so that a forged size is refused before any large allocation.
        std::uint8_t header[kFileHeaderSize + 40] = {};
        in.read(reinterpret_cast<char*>(header), sizeof header);
        Layout layout;
        if (!ParseHeaders(header, static_cast<std::size_t>(in.gcount()), layout, reason))
            return {};
        const std::uint64_t bytes = layout.stride * static_cast<std::uint64_t>(layout.height);
        if (layout.offset + bytes > static_cast<std::uint64_t>(fileSize)) {
            reason = kCutShort;
            return {};
        }
        std::vector<std::uint8_t> pixels(bytes);
        in.seekg(static_cast<std::streamoff>(layout.offset), std::ios::beg);
        if (!in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(bytes))) {
            reason = kCutShort;
            return {};
        }
        return Unpack(pixels.data(), layout);
    }();
    if (image.isNull() && why != nullptr)
        *why = reason.empty() ? "cannot be read" : reason;
    return image;
}

std::string Encode(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const std::uint32_t width = static_cast<std::uint32_t>(image.width());
    const std::uint32_t height = static_cast<std::uint32_t>(image.height());
    const std::uint32_t stride = (width * 3 + 3) & ~3u;
    const std::uint32_t dataSize = stride * height;
    std::string s;
    s.reserve(54 + dataSize);
    s += "BM";
    Put32(s, 54 + dataSize);
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, width);
    Put32(s, height);
    Put16(s, 1);
    Put16(s, 24);
    Put32(s, 0);
    Put32(s, dataSize);
    Put32(s, 2835); // 72 dpi
    Put32(s, 2835);
    Put32(s, 0);
    Put32(s, 0);
    for (int y = static_cast<int>(height) - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            s.push_back(static_cast<char>(qBlue(line[x])));
            s.push_back(static_cast<char>(qGreen(line[x])));
            s.push_back(static_cast<char>(qRed(line[x])));
        }
        for (std::uint32_t pad = width * 3; pad < stride; ++pad)
            s.push_back('\0');
    }
    return s;
}

bool ReadPair(const std::string& firstPath, const std::string& secondPath, QImage& first,
              QImage& second, std::string* why) {
    std::string reason;
    QImage a = Read(firstPath, &reason);
    QImage b;
    if (!a.isNull())
        b = Read(secondPath, &reason);
    if (a.isNull() || b.isNull()) {
        if (why != nullptr)
            *why = (a.isNull() ? firstPath : secondPath) + ": " + reason;
        return false;
    }
    first = std::move(a);
    second = std::move(b);
    return true;
}

bool Write(const QImage& image, const std::string& path) {
    if (image.isNull())
        return false;
    const std::string bytes = Encode(image);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

} // namespace bmp
