#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// Compares two versions of a document that the version list has fetched, and
// shows the result. Which backend does it is chosen at run time for each
// comparison: LibreOffice's own document comparison for Word-family files when
// LibreOffice is installed, otherwise the built-in side-by-side window (a build
// with Office automation would put its backend first in create()). A
// comparison runs in the background and reports its end once with finished().
class VersionComparer : public QObject
{
    Q_OBJECT
public:
    // The two local files of one comparison, older and newer.
    struct Versions
    {
        QString olderPath;
        QString newerPath;
        int olderVersion = 0;
        int newerVersion = 0;
        QString fileName;  // the server's name of the document
        QString extension; // lower case, without dot
    };
    using Factory = std::function<VersionComparer *(const QString &extension, QObject *parent)>;

    using QObject::QObject;

    // Starts the comparison; `window` is the dialog that asked for it (result
    // windows belong to it). Emits finished() once, possibly before returning.
    virtual void compare(const Versions &versions, QWidget *window) = 0;
    // A short name for the log ("LibreOffice", "built-in", ...).
    virtual QString backendName() const = 0;

    // The backend for a document with this extension, owned by `parent`.
    static VersionComparer *create(const QString &extension, QObject *parent);
    // Replaces the choice of backend (tests install a recording one); an
    // empty factory restores the normal choice.
    static void setFactory(Factory factory);
    // Extensions some backend here can compare: doc, docx, ppt, pptx, odt, rtf, txt, md.
    static bool isComparable(const QString &extension);

signals:
    // `ok` false: `message` says why, for the user.
    void finished(bool ok, const QString &message);
};
