#pragma once

#include <string>
#include <vector>

// Small but genuine file bodies for the demo data, drawn by code.
namespace democontent {

std::string docx(const std::vector<std::string> &paragraphs);
// A presentation: one slide per entry, its first line the title and the rest
// the body's paragraphs.
std::string pptx(const std::vector<std::vector<std::string>> &slides);
std::string xlsx(const std::vector<std::vector<std::string>> &rows);
std::string pdf(const std::vector<std::string> &asciiLines);
std::string png(int width, int height, unsigned colour);
std::string zip(const std::vector<std::pair<std::string, std::string>> &files);

} // namespace democontent
