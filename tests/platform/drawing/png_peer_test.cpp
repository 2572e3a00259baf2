// PNG files we write, read by an outside decoder (python's zlib and struct, no imaging library).
#include "platform/drawing/image.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using movara::test::TempDir;

// Prints "width height bitdepth colortype" and then every pixel as "r,g,b,a".
const char* decoder = R"PY(
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n', 'signature'
pos, idat, header = 8, b'', None
while pos < len(data):
    length, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    crc, = struct.unpack('>I', data[pos + 8 + length:pos + 12 + length])
    assert zlib.crc32(kind + body) & 0xffffffff == crc, 'crc'
    if kind == b'IHDR': header = struct.unpack('>IIBBBBB', body)
    if kind == b'IDAT': idat += body
    pos += 12 + length
w, h, depth, ctype = header[:4]
print(w, h, depth, ctype)
bpp = 4
raw, prev, out = zlib.decompress(idat), bytearray(w * bpp), []
for y in range(h):
    f, line = raw[y * (w * bpp + 1)], bytearray(raw[y * (w * bpp + 1) + 1:(y + 1) * (w * bpp + 1)])
    for i in range(len(line)):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            line[i] = (line[i] + pr) & 255
    out += ['%d,%d,%d,%d' % tuple(line[x * 4:x * 4 + 4]) for x in range(w)]
    prev = line
print(' '.join(out))
)PY";

TEST(PNGPeer, PythonReadsTheSizeAndPixels)
{
    if (!movara::test::haveProgram("python3"))
        GTEST_SKIP() << "python3 not installed";
    TempDir dir;
    auto image = HXImage::initWithSize(HXMakeSize(5, 3));
    image->drawInto([] {
        HXColor::colorWithCalibratedRed(0, 0, 1, 0.5).set();
        HXRectFill(HXMakeRect(0, 0, 5, 3));
        HXColor::redColor().set();
        HXRectFill(HXMakeRect(0, 2, 1, 1)); // top-left pixel
    });
    std::string path = (dir / "frame.png").string();
    ASSERT_TRUE(image->bitmapImageRep()->writeToFile(path));

    auto result = movara::test::runCommand({ "python3", "-c", decoder, path });
    ASSERT_EQ(result.status, 0) << result.output;
    std::istringstream in(result.output);
    int w = 0, h = 0, depth = 0, type = 0;
    in >> w >> h >> depth >> type;
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(depth, 8);
    EXPECT_EQ(type, 6); // RGBA
    std::vector<std::string> pixels;
    for (std::string p; in >> p;)
        pixels.push_back(p);
    ASSERT_EQ(pixels.size(), 15u);
    EXPECT_EQ(pixels[0], "255,0,0,255");
    EXPECT_EQ(pixels[1], "0,0,255,128");
    EXPECT_EQ(pixels[14], "0,0,255,128");
}

} // namespace
