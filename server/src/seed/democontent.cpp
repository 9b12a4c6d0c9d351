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
