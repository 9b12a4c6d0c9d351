#include "core/avatarimage.h"

#include <QBuffer>
#include <QImageReader>

namespace {

// A picture must be wider than this to replace the current one; servers answer
// missing pictures with tiny placeholders.
const int minAvatarWidth = 9;

} // namespace

QImage readAvatar(QByteArray data)
{
    // The picture comes from the server: check its size from the header before
    // decoding, so a hostile reply cannot make us allocate gigabytes.
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() <= minAvatarWidth || size.width() > maxAvatarSide ||
        size.height() > maxAvatarSide)
        return QImage();
    QImage image;
    if (!reader.read(&image) || image.width() <= minAvatarWidth)
        return QImage();
    return image;
}
