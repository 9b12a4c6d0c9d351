#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

// The file-type icon set: a page with a coloured band that names the
// extension, one colour per family of formats, plus the generic file and the
// folder. Every icon is kSize pixels square.
namespace FileIcons {

constexpr int kSize = 32;

struct Family
{
    QString name;
    QColor colour;
    QStringList extensions;
};

// The families in drawing order; every extension appears exactly once.
const QVector<Family> &families();

QImage drawExtension(const QString &extension, const QColor &colour);
QImage drawGenericFile();
QImage drawFolder();

} // namespace FileIcons
