#pragma once
// Every dialog and message box of the windows goes through one Dialogs object, so tests script
// the answers. The program installs TDM (Data.h) once the main window exists.
#include <cstdint>
#include <string>
#include <vector>

class QFontMetrics;
class QPrinter;
class QString;

namespace qv {

struct TFileDialogOptions {
  std::string Caption;
  std::string Filter;      // "FCS(*.fcs)|*.fcs|All(*.*)|*.*" pairs of caption and mask
  std::string Folder;
  std::string FileName;
  std::string DefaultExt;  // without the dot; appended when the chosen name has none
};

class Dialogs {
 public:
  enum class TAnswer { Yes, No, Cancel };
  virtual ~Dialogs() = default;
  // Each answers "" (or nothing) when the user cancels.
  virtual std::string OpenFile(const TFileDialogOptions& Options) = 0;
  virtual std::vector<std::string> OpenFiles(const TFileDialogOptions& Options) = 0;
  virtual std::string SaveFile(const TFileDialogOptions& Options) = 0;
  virtual std::string Folder(const std::string& Caption, const std::string& Start) = 0;
  // Colour as $00BBGGRR; false when cancelled (Colour unchanged).
  virtual bool Colour(uint32_t& Colour) = 0;
  virtual bool Input(const std::string& Caption, const std::string& Prompt, std::string& Value) = 0;
  // Lets the user set up Printer; false when cancelled.
  virtual bool Print(QPrinter& Printer) = 0;
  virtual void Error(const std::string& Text) = 0;
  virtual void Info(const std::string& Text) = 0;
  virtual bool YesNo(const std::string& Text) = 0;
  virtual TAnswer YesNoCancel(const std::string& Text) = 0;
};

// The dialogs in use: the installed ones, else plain Qt dialogs.
Dialogs& AppDialogs();
// Installs Handler (not owned); nullptr returns to plain Qt dialogs.
void SetAppDialogs(Dialogs* Handler);

// Qt's own dialogs and message boxes.
class TQtDialogs : public Dialogs {
 public:
  std::string OpenFile(const TFileDialogOptions& Options) override;
  std::vector<std::string> OpenFiles(const TFileDialogOptions& Options) override;
  std::string SaveFile(const TFileDialogOptions& Options) override;
  std::string Folder(const std::string& Caption, const std::string& Start) override;
  bool Colour(uint32_t& Colour) override;
  bool Input(const std::string& Caption, const std::string& Prompt, std::string& Value) override;
  bool Print(QPrinter& Printer) override;
  void Error(const std::string& Text) override;
  void Info(const std::string& Text) override;
  bool YesNo(const std::string& Text) override;
  TAnswer YesNoCancel(const std::string& Text) override;
};

// "FCS|*.fcs|CSVs (*.csv)|*.CSV" as a Qt name filter list ("FCS (*.fcs);;CSVs (*.csv)"): the
// mask is added to a caption that does not end with it already.
std::string QtNameFilter(const std::string& Filter);

// Text for a message box that never makes the box wider than about half the screen: words wider
// than MaxWidth lose their middle to an ellipsis, and a message of very many lines is cut short.
QString ReadableMessage(const QString& Text, const QFontMetrics& Metrics, int MaxWidth);
// The same for the primary screen and the message box font.
QString ReadableMessage(const QString& Text);

}  // namespace qv
