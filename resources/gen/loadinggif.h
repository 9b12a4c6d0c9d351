#pragma once

#include <QByteArray>

// The tree's loading animation: twelve dots on a ring, the bright one moving
// clockwise, on a transparent background.
namespace LoadingGif {

constexpr int kSize = 31;
constexpr int kFrames = 12;

QByteArray render();

} // namespace LoadingGif
