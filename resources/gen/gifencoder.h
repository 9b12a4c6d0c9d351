#pragma once

#include <QByteArray>
#include <QRgb>
#include <QVector>

// Writes an animated GIF89a from palette-indexed frames. Qt can read GIF but
// cannot write it, and the loading animation must be produced at build time.
// Every frame covers the whole canvas, is shown for a fixed delay and is
// cleared before the next one, so a transparent index works across frames.
// The animation loops forever.
class GifEncoder
{
public:
    // palette holds at most 256 colours; transparentIndex is -1 for none.
    GifEncoder(int width, int height, const QVector<QRgb> &palette, int transparentIndex);

    // indices holds width * height palette indices, row by row.
    void addFrame(const QByteArray &indices, int delayCentiseconds);

    // The whole file: header, loop extension, frames and trailer.
    QByteArray finish() const;

    // LZW-compresses indices as GIF image data: the minimum code size byte
    // followed by the data sub-blocks and the block terminator.
    static QByteArray compress(const QByteArray &indices, int minCodeSize);

private:
    int tableBits() const;

    int width;
    int height;
    QVector<QRgb> palette;
    int transparentIndex;
    QByteArray frames;
};
