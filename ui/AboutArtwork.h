#pragma once

#include <QPixmap>
#include <QSize>

// The About window's background: a door panel sending its picture, drawn here rather than
// shipped as a file.
QPixmap drawAboutArtwork(QSize size);
