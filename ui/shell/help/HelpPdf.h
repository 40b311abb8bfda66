#pragma once
// A small PDF writer for the help file: headings and wrapped paragraphs in the standard
// Helvetica faces, A4 pages, and one bookmark per section. Plain C++, so the build can run it.
#include <string>
#include <vector>

namespace qv::help {

struct THelpSection {
  std::string Title;
  std::vector<std::string> Paragraphs;  // a paragraph starting with "- " is set as a bullet
};

// The help text of the program, section by section.
const std::vector<THelpSection>& HelpSections();

// The whole PDF file for Sections.
std::string BuildHelpPdf(const std::vector<THelpSection>& Sections, const std::string& DocumentTitle);

}  // namespace qv::help
