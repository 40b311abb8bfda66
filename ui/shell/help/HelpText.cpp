// The help file's text. Each section becomes one bookmark.
#include "HelpPdf.h"

namespace qv::help {

const std::vector<THelpSection>& HelpSections() {
  static const std::vector<THelpSection> Sections = {
      {"Getting started",
       {"Quorvenal measures the relative fitness of strains in flow-cytometry competition assays. "
        "It reads FCS list-mode files, applies your analysis protocol, compensates spill-over between "
        "fluorescence channels, fits Gaussian peaks to the channel histograms, assigns every event to a "
        "genotype and counts the classes. From the counts of two time points it computes fitness values "
        "with bootstrap variances.",
        "A typical session: open or build a protocol on the Protocol page, read one or more FCS files on "
        "the Load page of the FCS File Viewer, check the distributions and the classification, then "
        "compute fitness on the Fitness page from the saved data files.",
        "The program keeps its settings in the file FCS.INI in its program folder. The settings are "
        "written when the main window closes; the last protocol file is opened again at the next start "
        "when \"Open last protocol file when starting\" is checked in the preferences."}},
      {"The main window",
       {"The main window has three pages: Protocol, FCS File Viewer and Fitness. Pages that need a data "
        "set (Processed, Distributions, Custom Detector, Variability, Graphs, Classification) are shown "
        "once data have been read; Header and Data are shown for a file that was read.",
        "The status row along the bottom shows, from left to right:",
        "- the number of events in the file or data set on screen;",
        "- the available physical memory and the available virtual memory in MB, coloured from green "
        "(plenty) through yellow and orange to magenta (very little); a click refreshes them;",
        "- the compensation mode: Native, Corrected or Dyanmic; in developer mode a click steps it;",
        "- the hint of the control under the mouse;",
        "- the name of the current protocol;",
        "- while a long command runs, a progress gauge and a Cancel button;",
        "- the help button, which opens this file.",
        "While a command runs, the other commands are disabled. Cancel stops the merge of several files, "
        "the queue and the automation sweeps after the step they are in. Closing the window during such a "
        "command stops it and closes the window when it has returned."}},
      {"Protocols",
       {"A protocol describes the channels (fluorophores), the global gates (scatter and other gates), "
        "the spill-over filters and the genotypes of an experiment, with the compensation matrix built "
        "from the channels' spill-over values. Protocols are saved as files with the extension .protocol "
        "in the program folder.",
        "Use the Protocol menu to create a new protocol, open one, save it under a name, clear it or "
        "export it as text. Before a protocol with unsaved changes is replaced, cleared or the program "
        "closes, Quorvenal asks \"Save changes to protocol ...?\": Yes saves it, No discards the changes "
        "and Cancel stops the command."}},
      {"Reading FCS files",
       {"The Load page lists the folders and the files of the chosen folder. Choose whether FCS files, "
        "Quorvenal data files or all files are shown. Read Single (Ctrl+R) reads the selected FCS file "
        "with the current protocol; Read Multiple (Ctrl+M) merges several files into one data set. "
        "Quorvenal data files keep the events, the protocol and the analysis together and are loaded "
        "with Load Quorvenal File (Ctrl+F).",
        "Files can also be added to the queue and analysed one after the other with Execute Queue."}},
      {"Compensation modes",
       {"Native compensates the raw values with the static matrix of the protocol. Corrected keeps the "
        "compensated values already held and redoes only the floor and the logarithms. Dynamic chooses, "
        "for every event, the best of a number of perturbed matrices. Every run of the program starts in "
        "Native mode; the mode can be chosen in the preferences."}},
      {"Fitness",
       {"The Fitness page takes four saved data files: expected and observed for two experiments. "
        "Calculate computes the fitness values, Bootstrap adds their variances from resampled class "
        "counts. Automated Fitness repeats the calculation over a range of Z cut-offs, and Fitness "
        "Correlation compares saved fitness reports."}},
      {"Preferences",
       {"File > Preferences (Ctrl+Alt+P) opens the preferences window. Data Handling holds the minimum "
        "raw value, the threshold for suspicious Z values, the tab width of fitness exports, the SSD "
        "p-value iterations, the compensation mode and the override mean and excess. Data Import holds "
        "the histogram bin count, the log scale maximum and the byte-order options. File Handling holds "
        "the folder and protocol options.",
        "Apply checks every field first: a field that does not hold a valid number, or whose value is "
        "out of range, is named and focused and nothing is changed. Save & Exit applies and closes; "
        "Cancel closes without changes. The settings file itself is written when the program closes."}},
      {"Menus and short cuts",
       {"- Ctrl+F Load Quorvenal File; Ctrl+P Process; Ctrl+S Save As; Ctrl+Alt+P Preferences; Ctrl+Q Quit.",
        "- Ctrl+N new protocol; Ctrl+O open a protocol; Ctrl+U update the protocol from the screen.",
        "- Ctrl+R read a single FCS file; Ctrl+M read multiple files; Ctrl+Alt+A, D, C and E add to, delete "
        "from, clear and execute the queue.",
        "- F1 opens this help file. Several help windows may be open at once."}},
      {"Spreadsheets",
       {"The Excel buttons of the export groups hand a table to a spreadsheet program. They are enabled "
        "when LibreOffice Calc is installed (soffice, libreoffice or localc on the search path). Without "
        "it, use the Save button of the group to write the table to a file."}},
  };
  return Sections;
}

}  // namespace qv::help
