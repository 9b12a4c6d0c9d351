#pragma once

#include <QString>
#include <QStringList>

// Where LibreOffice is and how to run it without a window: the `soffice`
// program, a Python that can drive it over UNO, the private profiles the
// client gives it (so a LibreOffice the user has open is never disturbed),
// and the conversion of files between formats.
class LibreOffice
{
public:
    // The `soffice` program on the search path, or empty.
    static QString sofficePath();
    // A Python that imports LibreOffice's `uno` module, or empty.
    static QString pythonPath();
    // Both of the above are there: documents can be compared.
    static bool isAvailable();

    // The client's own LibreOffice profile called `name` (one per kind of
    // use, since one profile serves one running LibreOffice at a time).
    static QString profileDir(const QString &name);

    // Converts `paths` into `format` (an extension such as "docx") in
    // `outDir`, blocking; for worker threads. Returns the new files in the
    // order of `paths`, or an empty list with `error` set.
    static QStringList convert(const QStringList &paths, const QString &format,
                               const QString &outDir, QString *error);

    // The comparison script, written from the client's resources into the
    // cache where Python can read it; empty when it cannot be written.
    static QString comparisonScript();
};
