#include "gifencoder.h"

#include <QHash>

namespace {

void putWord(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

// Packs variable-width codes least significant bit first and cuts the byte
// stream into the 255-byte sub-blocks that GIF requires.
class CodeWriter
{
public:
    explicit CodeWriter(QByteArray &out) : out(out) {}

    void write(int code, int width)
    {
        bits |= quint32(code) << count;
        count += width;
        while (count >= 8) {
            pushByte(char(bits & 0xff));
            bits >>= 8;
            count -= 8;
        }
    }

    void flush()
    {
        if (count > 0)
            pushByte(char(bits & 0xff));
        bits = 0;
        count = 0;
        if (!block.isEmpty()) {
            out.append(char(block.size()));
            out.append(block);
            block.clear();
        }
        out.append('\0');
    }

private:
    void pushByte(char byte)
    {
        block.append(byte);
        if (block.size() == 255) {
            out.append(char(255));
            out.append(block);
            block.clear();
        }
    }

    QByteArray &out;
    QByteArray block;
    quint32 bits = 0;
    int count = 0;
};

} // namespace

GifEncoder::GifEncoder(int width, int height, const QVector<QRgb> &palette, int transparentIndex)
    : width(width), height(height), palette(palette), transparentIndex(transparentIndex)
{
}

int GifEncoder::tableBits() const
{
    int bits = 1;
    while ((1 << bits) < palette.size() && bits < 8)
        ++bits;
    return bits;
}

void GifEncoder::addFrame(const QByteArray &indices, int delayCentiseconds)
{
    // Graphic control extension: disposal 2 (restore to background) so that
    // transparent pixels never show the previous frame.
    frames.append("\x21\xf9\x04", 3);
    frames.append(char((2 << 2) | (transparentIndex >= 0 ? 1 : 0)));
    putWord(frames, delayCentiseconds);
    frames.append(char(transparentIndex >= 0 ? transparentIndex : 0));
    frames.append('\0');

    frames.append('\x2c');
    putWord(frames, 0);
    putWord(frames, 0);
    putWord(frames, width);
    putWord(frames, height);
    frames.append('\0'); // no local colour table, not interlaced

    frames.append(compress(indices, qMax(2, tableBits())));
}

QByteArray GifEncoder::finish() const
{
    const int bits = tableBits();
    QByteArray out("GIF89a");
    putWord(out, width);
    putWord(out, height);
    out.append(char(0x80 | (7 << 4) | (bits - 1))); // global table, 8-bit colour resolution
    out.append('\0');                               // background colour index
    out.append('\0');                               // no aspect ratio
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb c = i < palette.size() ? palette.at(i) : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    // Application extension that makes viewers loop the animation forever.
    out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    putWord(out, 0);
    out.append('\0');
    out.append(frames);
    out.append('\x3b');
    return out;
}

QByteArray GifEncoder::compress(const QByteArray &indices, int minCodeSize)
{
    QByteArray out;
    out.append(char(minCodeSize));
    CodeWriter writer(out);

    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    const int maxCodes = 4096;
    QHash<quint32, int> table;
    int nextCode = endCode + 1;
    int codeSize = minCodeSize + 1;

    writer.write(clearCode, codeSize);
    if (indices.isEmpty()) {
        writer.write(endCode, codeSize);
        writer.flush();
        return out;
    }

    const int mask = (1 << minCodeSize) - 1;
    int prefix = quint8(indices.at(0)) & mask;
    for (int i = 1; i < indices.size(); ++i) {
        const int k = quint8(indices.at(i)) & mask;
        const quint32 key = (quint32(prefix) << 8) | quint32(k);
        const auto found = table.constFind(key);
        if (found != table.constEnd()) {
            prefix = found.value();
            continue;
        }
        writer.write(prefix, codeSize);
        // The decoder adds its table entry one code later than we do, so the
        // width grows once the entry about to be added needs the next bit.
        if (nextCode >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
        if (nextCode >= maxCodes - 1) {
            writer.write(clearCode, codeSize);
            table.clear();
            nextCode = endCode + 1;
            codeSize = minCodeSize + 1;
        } else {
            table.insert(key, nextCode++);
        }
        prefix = k;
    }
    writer.write(prefix, codeSize);
    if (nextCode >= (1 << codeSize) && codeSize < 12)
        ++codeSize;
    writer.write(endCode, codeSize);
    writer.flush();
    return out;
}
