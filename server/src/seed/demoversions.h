#pragma once

#include <string>
#include <vector>

// The texts of the demo documents that have versions worth comparing: each
// version adds, removes and rewords paragraphs, lines or slides.
namespace demoversions {

// 员工手册.docx, versions 1 to 3.
std::vector<std::string> handbook(int version);
// 产品介绍.pptx, versions 1 and 2: the slides, each one's title first.
std::vector<std::vector<std::string>> productSlides(int version);
// 会议纪要.txt, versions 1 to 3.
std::string meetingNotes(int version);

} // namespace demoversions
