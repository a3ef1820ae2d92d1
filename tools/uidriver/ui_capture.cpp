#include "ui_capture.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace uidriver {
namespace {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;  // bottom-up rows of 24-bit pixels, each padded to 4 bytes
    int stride() const { return (width * 3 + 3) & ~3; }
};

bool Grab(HWND wnd, Pixels& px) {
    RECT r;
    if (!GetWindowRect(wnd, &r)) return false;
    px.width = r.right - r.left;
    px.height = r.bottom - r.top;
    if (px.width <= 0 || px.height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, px.width, px.height);
    HGDIOBJ old = SelectObject(mem, bmp);
    const bool copied = BitBlt(mem, 0, 0, px.width, px.height, screen, r.left, r.top, SRCCOPY) != 0;
    SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = px.width;
    bi.bmiHeader.biHeight = px.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    px.bgr.assign(static_cast<size_t>(px.stride()) * px.height, 0);
    const int rows = GetDIBits(mem, bmp, 0, px.height, px.bgr.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return copied && rows == px.height;
}

void Put32(std::vector<uint8_t>& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

std::vector<uint8_t> Bmp(const Pixels& px) {
    std::vector<uint8_t> out{'B', 'M'};
    const uint32_t dataSize = static_cast<uint32_t>(px.bgr.size());
    Put32(out, 54 + dataSize, false);
    Put32(out, 0, false);
    Put32(out, 54, false);
    Put32(out, 40, false);
    Put32(out, static_cast<uint32_t>(px.width), false);
    Put32(out, static_cast<uint32_t>(px.height), false);
    out.insert(out.end(), {1, 0, 24, 0});
    for (int i = 0; i < 6; ++i) Put32(out, 0, false);
    out.insert(out.end(), px.bgr.begin(), px.bgr.end());
    return out;
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    Put32(out, static_cast<uint32_t>(data.size()), true);
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    Put32(out, static_cast<uint32_t>(crc), true);
}

bool Png(const Pixels& px, std::vector<uint8_t>& out) {
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(px.height) * (1 + px.width * 3));
    for (int y = 0; y < px.height; ++y) {
        raw.push_back(0);  // filter: none
        const uint8_t* row = px.bgr.data() + static_cast<size_t>(px.height - 1 - y) * px.stride();
        for (int x = 0; x < px.width; ++x) raw.insert(raw.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packedSize);

    out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    Put32(header, static_cast<uint32_t>(px.width), true);
    Put32(header, static_cast<uint32_t>(px.height), true);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", packed);
    Chunk(out, "IEND", {});
    return true;
}

bool EndsWithPng(const std::string& path) {
    return path.size() >= 4 && _stricmp(path.c_str() + path.size() - 4, ".png") == 0;
}

}  // namespace

bool CaptureWindow(HWND wnd, const std::string& path, std::string& error) {
    Pixels px;
    if (!Grab(wnd, px)) {
        error = "cannot read the window from the screen";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (EndsWithPng(path)) {
        if (!Png(px, bytes)) {
            error = "cannot compress the image";
            return false;
        }
    } else {
        bytes = Bmp(px);
    }
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace uidriver
