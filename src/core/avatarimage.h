#pragma once

#include <QByteArray>
#include <QImage>

// Pictures larger than this on either side are not decoded at all.
constexpr int maxAvatarSide = 4096;

// Decodes a user picture sent by the server; a null image when it is no
// picture, 9 pixels wide or less (servers answer missing pictures with tiny
// placeholders), or larger than maxAvatarSide.
QImage readAvatar(QByteArray data);
