#pragma once

#include <QString>
#include <QStringList>

// The text of a document as a list of paragraphs, for comparing versions:
// the body paragraphs of docx and odt files (text deleted under change
// tracking left out), the slide texts of pptx files in slide order, and the
// lines of plain text files. Blank paragraphs are left out and the others
// trimmed. doc, ppt and rtf files are read after LibreOffice has converted them.
class DocumentText
{
public:
    // Blocking; for worker threads. False with a message for the user when
    // the file cannot be read.
    static bool read(const QString &path, const QString &extension, QStringList *paragraphs,
                     QString *error);
    // True for what is read directly; false for what needs a conversion first.
    static bool readsDirectly(const QString &extension);
    // The format a file of this extension is converted into before reading
    // ("docx" for doc and rtf, "pptx" for ppt); empty when none helps.
    static QString conversionTarget(const QString &extension);
};
