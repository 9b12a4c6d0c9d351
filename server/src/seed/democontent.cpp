#include "seed/democontent.h"

#include "seed/zipwriter.h"
#include "service/helpers.h"
#include "service/png.h"

#include <cstdio>

namespace democontent {

namespace {

const char *const xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

std::string relationships(const std::string &type, const std::string &target)
{
    return std::string(xmlHead) +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
           "relationships/" +
           type + "\" Target=\"" + target + "\"/></Relationships>";
}

} // namespace

std::string docx(const std::vector<std::string> &paragraphs)
{
    ZipWriter z;
    z.add("[Content_Types].xml",
          std::string(xmlHead) +
              "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
              "<Default Extension=\"rels\" "
              "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
              "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
              "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
              "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>");
    z.add("_rels/.rels", relationships("officeDocument", "word/document.xml"));
    std::string body;
    for (const std::string &p : paragraphs)
        body += "<w:p><w:r><w:t xml:space=\"preserve\">" + helpers::escapeMarkup(p) +
                "</w:t></w:r></w:p>";
    z.add("word/document.xml",
          std::string(xmlHead) +
              "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
              "main\"><w:body>" +
              body + "</w:body></w:document>");
    return z.finish();
}

namespace {

const char *const presentationNs =
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";
const char *const relTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string rels(const std::vector<std::pair<std::string, std::string>> &typeAndTarget)
{
    std::string out = std::string(xmlHead) +
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                      "relationships\">";
    for (size_t i = 0; i < typeAndTarget.size(); ++i)
        out += "<Relationship Id=\"rId" + std::to_string(i + 1) + "\" Type=\"" + relTypes +
               typeAndTarget[i].first + "\" Target=\"" + typeAndTarget[i].second + "\"/>";
    return out + "</Relationships>";
}

// A text shape at a position (EMU), one paragraph per line.
std::string textShape(int id, const std::string &name, long x, long y, long cx, long cy,
                      const std::vector<std::string> &lines, int size)
{
    std::string paragraphs;
    for (const std::string &line : lines)
        paragraphs += "<a:p><a:r><a:rPr lang=\"zh-CN\" sz=\"" + std::to_string(size) + "\"/><a:t>" +
                      helpers::escapeMarkup(line) + "</a:t></a:r></a:p>";
    if (paragraphs.empty())
        paragraphs = "<a:p/>";
    return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name +
           "\"/><p:cNvSpPr txBox=\"1\"/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"" +
           std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"/><a:ext cx=\"" +
           std::to_string(cx) + "\" cy=\"" + std::to_string(cy) +
           "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr>"
           "<p:txBody><a:bodyPr wrap=\"square\"/><a:lstStyle/>" +
           paragraphs + "</p:txBody></p:sp>";
}

std::string shapeTree(const std::string &shapes)
{
    return "<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/>"
           "<p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>" +
           shapes + "</p:spTree></p:cSld>";
}

std::string theme()
{
    std::string colours;
    const std::pair<const char *, const char *> scheme[] = {
        {"dk1", "000000"},     {"lt1", "FFFFFF"},     {"dk2", "1F3864"},
        {"lt2", "E7E6E6"},     {"accent1", "0696F5"}, {"accent2", "ED7D31"},
        {"accent3", "A5A5A5"}, {"accent4", "FFC000"}, {"accent5", "5B9BD5"},
        {"accent6", "70AD47"}, {"hlink", "0563C1"},   {"folHlink", "954F72"}};
    for (const auto &[name, rgb] : scheme)
        colours += std::string("<a:") + name + "><a:srgbClr val=\"" + rgb + "\"/></a:" + name + ">";
    const std::string fill = "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>";
    const std::string line =
        "<a:ln w=\"9525\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:ln>";
    const std::string effect = "<a:effectStyle><a:effectLst/></a:effectStyle>";
    const std::string font =
        "<a:latin typeface=\"Arial\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/>";
    return std::string(xmlHead) +
           "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "name=\"Folvane\"><a:themeElements><a:clrScheme name=\"Folvane\">" +
           colours + "</a:clrScheme><a:fontScheme name=\"Folvane\"><a:majorFont>" + font +
           "</a:majorFont><a:minorFont>" + font +
           "</a:minorFont></a:fontScheme><a:fmtScheme name=\"Folvane\"><a:fillStyleLst>" + fill +
           fill + fill + "</a:fillStyleLst><a:lnStyleLst>" + line + line + line +
           "</a:lnStyleLst><a:effectStyleLst>" + effect + effect + effect +
           "</a:effectStyleLst><a:bgFillStyleLst>" + fill + fill + fill +
           "</a:bgFillStyleLst></a:fmtScheme></a:themeElements></a:theme>";
}

} // namespace

std::string pptx(const std::vector<std::vector<std::string>> &slides)
{
    const std::string ct = "application/vnd.openxmlformats-officedocument.";
    std::string overrides =
        "<Override PartName=\"/ppt/presentation.xml\" ContentType=\"" + ct +
        "presentationml.presentation.main+xml\"/>"
        "<Override PartName=\"/ppt/slideMasters/slideMaster1.xml\" ContentType=\"" +
        ct + "presentationml.slideMaster+xml\"/>" +
        "<Override PartName=\"/ppt/slideLayouts/slideLayout1.xml\" ContentType=\"" + ct +
        "presentationml.slideLayout+xml\"/>" +
        "<Override PartName=\"/ppt/theme/theme1.xml\" ContentType=\"" + ct + "theme+xml\"/>";
    std::vector<std::pair<std::string, std::string>> presentationRels{
        {"slideMaster", "slideMasters/slideMaster1.xml"}};
    std::string slideIds;
    for (size_t i = 0; i < slides.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        overrides += "<Override PartName=\"/ppt/slides/slide" + n + ".xml\" ContentType=\"" + ct +
                     "presentationml.slide+xml\"/>";
        presentationRels.push_back({"slide", "slides/slide" + n + ".xml"});
        slideIds += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"rId" +
                    std::to_string(i + 2) + "\"/>";
    }
    presentationRels.push_back({"theme", "theme/theme1.xml"});

    ZipWriter z;
    z.add("[Content_Types].xml",
          std::string(xmlHead) +
              "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
              "<Default Extension=\"rels\" "
              "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
              "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
              overrides + "</Types>");
    z.add("_rels/.rels", relationships("officeDocument", "ppt/presentation.xml"));
    z.add("ppt/presentation.xml",
          std::string(xmlHead) + "<p:presentation " + presentationNs +
              "><p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/>"
              "</p:sldMasterIdLst><p:sldIdLst>" +
              slideIds +
              "</p:sldIdLst><p:sldSz cx=\"9144000\" cy=\"6858000\"/>"
              "<p:notesSz cx=\"6858000\" cy=\"9144000\"/></p:presentation>");
    z.add("ppt/_rels/presentation.xml.rels", rels(presentationRels));
    z.add("ppt/slideMasters/slideMaster1.xml",
          std::string(xmlHead) + "<p:sldMaster " + presentationNs + ">" + shapeTree("") +
              "<p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" "
              "accent2=\"accent2\" accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" "
              "accent6=\"accent6\" hlink=\"hlink\" folHlink=\"folHlink\"/>"
              "<p:sldLayoutIdLst><p:sldLayoutId id=\"2147483649\" r:id=\"rId1\"/>"
              "</p:sldLayoutIdLst></p:sldMaster>");
    z.add("ppt/slideMasters/_rels/slideMaster1.xml.rels",
          rels({{"slideLayout", "../slideLayouts/slideLayout1.xml"},
                {"theme", "../theme/theme1.xml"}}));
    z.add("ppt/slideLayouts/slideLayout1.xml",
          std::string(xmlHead) + "<p:sldLayout " + presentationNs + " type=\"blank\">" +
              shapeTree("") + "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>");
    z.add("ppt/slideLayouts/_rels/slideLayout1.xml.rels",
          rels({{"slideMaster", "../slideMasters/slideMaster1.xml"}}));
    z.add("ppt/theme/theme1.xml", theme());
    for (size_t i = 0; i < slides.size(); ++i) {
        const std::vector<std::string> &slide = slides[i];
        const std::vector<std::string> title(slide.begin(),
                                             slide.begin() + (slide.empty() ? 0 : 1));
        const std::vector<std::string> body(slide.begin() + (slide.empty() ? 0 : 1), slide.end());
        const std::string n = std::to_string(i + 1);
        z.add("ppt/slides/slide" + n + ".xml",
              std::string(xmlHead) + "<p:sld " + presentationNs + ">" +
                  shapeTree(textShape(2, "标题", 457200, 365760, 8229600, 1005840, title, 3600) +
                            textShape(3, "正文", 457200, 1600200, 8229600, 4572000, body, 2000)) +
                  "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>");
        z.add("ppt/slides/_rels/slide" + n + ".xml.rels",
              rels({{"slideLayout", "../slideLayouts/slideLayout1.xml"}}));
    }
    return z.finish();
}

std::string xlsx(const std::vector<std::vector<std::string>> &rows)
{
    ZipWriter z;
    z.add("[Content_Types].xml",
          std::string(xmlHead) +
              "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
              "<Default Extension=\"rels\" "
              "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
              "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
              "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
              "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
              "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
              "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/></Types>");
    z.add("_rels/.rels", relationships("officeDocument", "xl/workbook.xml"));
    z.add("xl/workbook.xml",
          std::string(xmlHead) +
              "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
              "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
              "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    z.add("xl/_rels/workbook.xml.rels", relationships("worksheet", "worksheets/sheet1.xml"));
    std::string data;
    for (size_t r = 0; r < rows.size(); ++r) {
        data += "<row r=\"" + std::to_string(r + 1) + "\">";
        for (size_t c = 0; c < rows[r].size() && c < 26; ++c)
            data += "<c r=\"" + std::string(1, static_cast<char>('A' + c)) + std::to_string(r + 1) +
                    "\" t=\"inlineStr\"><is><t>" + helpers::escapeMarkup(rows[r][c]) +
                    "</t></is></c>";
        data += "</row>";
    }
    z.add("xl/worksheets/sheet1.xml",
          std::string(xmlHead) +
              "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
              "<sheetData>" +
              data + "</sheetData></worksheet>");
    return z.finish();
}

std::string pdf(const std::vector<std::string> &lines)
{
    std::string stream = "BT /F1 14 Tf 72 760 Td 18 TL\n";
    for (const std::string &line : lines) {
        std::string safe;
        for (char c : line)
            if (c == '(' || c == ')' || c == '\\')
                safe += std::string("\\") + c;
            else
                safe += c;
        stream += "(" + safe + ") Tj T*\n";
    }
    stream += "ET\n";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string png(int width, int height, unsigned colour)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            size_t p = (static_cast<size_t>(y) * width + x) * 3;
            // A diagonal band over the base colour, so the picture is not flat.
            bool band = ((x + y) / 16) % 2 == 0;
            rgb[p] = static_cast<uint8_t>(((colour >> 16) & 0xff) / (band ? 1 : 2));
            rgb[p + 1] = static_cast<uint8_t>(((colour >> 8) & 0xff) / (band ? 1 : 2));
            rgb[p + 2] = static_cast<uint8_t>((colour & 0xff) / (band ? 1 : 2));
        }
    return png::encode(width, height, rgb);
}

std::string zip(const std::vector<std::pair<std::string, std::string>> &files)
{
    ZipWriter z;
    for (const auto &f : files)
        z.add(f.first, f.second);
    return z.finish();
}

} // namespace democontent
