// Writes the help file named on the command line through a temporary name.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "HelpPdf.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quorvenal_make_help <file.PDF>\n";
    return 2;
  }
  const std::string Target = argv[1];
  const std::string Temp = Target + ".tmp";
  {
    std::ofstream Out(Temp, std::ios::binary | std::ios::trunc);
    Out << qv::help::BuildHelpPdf(qv::help::HelpSections(), "Quorvenal Help");
    if (!Out.flush()) {
      std::cerr << "Cannot write " << Temp << '\n';
      return 1;
    }
  }
  if (std::rename(Temp.c_str(), Target.c_str()) != 0) {
    std::cerr << "Cannot rename " << Temp << " to " << Target << '\n';
    return 1;
  }
  return 0;
}
