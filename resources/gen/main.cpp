// Build-time generator of the client's pictures. It renders every SVG under
// the source folder to a PNG of the SVG's own size, draws the file-type icon
// set, encodes the animated loading GIF and writes the resource list that
// compiles all of them, together with the style sheet, into the client.
//
//   folvane_resgen --svg DIR --qss FILE --out DIR
//
// With --icon it instead renders the application icon at the sizes of the
// desktop's icon theme:
//
//   folvane_resgen --icon SVG --name NAME --out DIR
//
// writes DIR/NxN/apps/NAME.png for each size.
//
// The output depends only on the sources and the installed fonts, so every
// build produces the same files.

#include "fileicons.h"
#include "loadinggif.h"

#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextStream>
#include <QXmlStreamWriter>

#include <cstdio>

namespace {

bool fail(const QString &message)
{
    std::fprintf(stderr, "folvane_resgen: %s\n", qPrintable(message));
    return false;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(QStringLiteral("cannot write %1").arg(path));
    return true;
}

bool writePng(const QImage &image, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // PNG is written without time stamps, so equal pixels give equal files.
    if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(path));
    return true;
}

QImage renderSvg(QSvgRenderer &renderer, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&p, QRectF(QPointF(0, 0), size));
    return image;
}

// The sizes desktops look up in the hicolor theme's apps folders.
bool renderAppIcon(const QString &svg, const QString &name, const QString &outRoot)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot parse %1").arg(svg));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path =
            QStringLiteral("%1/%2x%2/apps/%3.png").arg(outRoot).arg(size).arg(name);
        if (!writePng(renderSvg(renderer, QSize(size, size)), path))
            return false;
    }
    return true;
}

bool renderSvgs(const QString &svgRoot, const QString &outRoot, QStringList &files)
{
    QStringList sources;
    QDirIterator it(svgRoot, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        sources.append(it.next());
    sources.sort();
    if (sources.isEmpty())
        return fail(QStringLiteral("no SVG files under %1").arg(svgRoot));

    const QDir base(svgRoot);
    for (const QString &source : sources) {
        QSvgRenderer renderer(source);
        if (!renderer.isValid())
            return fail(QStringLiteral("cannot parse %1").arg(source));
        const QImage image = renderSvg(renderer, renderer.defaultSize());
        QString relative = base.relativeFilePath(source);
        relative.chop(4);
        relative += QLatin1String(".png");
        if (!writePng(image, outRoot + '/' + relative))
            return false;
        files.append(relative);
    }
    return true;
}

bool drawFileIcons(const QString &outRoot, QStringList &files)
{
    const QString folder = QStringLiteral("images/fileicon_middle/");
    QStringList seen;
    for (const FileIcons::Family &family : FileIcons::families()) {
        for (const QString &ext : family.extensions) {
            if (seen.contains(ext) || ext == QLatin1String("file") || ext == QLatin1String("fold"))
                return fail(QStringLiteral("extension %1 listed twice").arg(ext));
            seen.append(ext);
            if (!writePng(FileIcons::drawExtension(ext, family.colour),
                          outRoot + '/' + folder + ext + ".png"))
                return false;
            files.append(folder + ext + ".png");
        }
    }
    if (!writePng(FileIcons::drawGenericFile(), outRoot + '/' + folder + "file.png") ||
        !writePng(FileIcons::drawFolder(), outRoot + '/' + folder + "fold.png"))
        return false;
    files.append(folder + "file.png");
    files.append(folder + "fold.png");
    return true;
}

bool writeQrc(const QString &path, QStringList files, const QString &qss)
{
    files.sort();
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartElement("RCC");
    w.writeStartElement("qresource");
    w.writeAttribute("prefix", "/");
    w.writeStartElement("file");
    w.writeAttribute("alias", "qss.css");
    w.writeCharacters(QFileInfo(qss).absoluteFilePath());
    w.writeEndElement();
    for (const QString &file : files)
        w.writeTextElement("file", file);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return writeFile(path, xml);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"svg", "Folder of SVG sources (images/... below it).", "dir"});
    parser.addOption({"qss", "The style sheet to compile in as :/qss.css.", "file"});
    parser.addOption({"out", "Output folder for the pictures and folvane.qrc.", "dir"});
    parser.addOption({"icon", "Render this SVG as the application icon's sizes.", "svg"});
    parser.addOption({"name", "The icon's name in the theme (with --icon).", "name"});
    parser.process(app);
    if (parser.isSet("icon")) {
        if (!parser.isSet("name") || !parser.isSet("out")) {
            fail("--icon needs --name and --out");
            return 2;
        }
        return renderAppIcon(parser.value("icon"), parser.value("name"), parser.value("out")) ? 0
                                                                                              : 1;
    }
    if (!parser.isSet("svg") || !parser.isSet("qss") || !parser.isSet("out")) {
        fail("--svg, --qss and --out are required");
        return 2;
    }

    const QString out = QDir(parser.value("out")).absolutePath();
    QStringList files;
    if (!renderSvgs(parser.value("svg"), out, files) || !drawFileIcons(out, files))
        return 1;

    const QString gif = QStringLiteral("images/main/loading.gif");
    if (!writeFile(out + '/' + gif, LoadingGif::render()))
        return 1;
    files.append(gif);

    if (!writeQrc(out + "/folvane.qrc", files, parser.value("qss")))
        return 1;
    return 0;
}
