#pragma once
// Dialogs whose answers the test scripts in advance; every message and question is recorded.
// Installs itself for its lifetime. An unscripted question answers Cancel (No), an unscripted
// file dialog or input box is cancelled.
#include <deque>
#include <string>
#include <vector>

#include "common/Dialogs.h"

namespace qv::test {

class ScriptedDialogs : public Dialogs {
 public:
  ScriptedDialogs() { SetAppDialogs(this); }
  ~ScriptedDialogs() override { SetAppDialogs(nullptr); }
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  std::deque<std::string> FileAnswers;
  std::deque<std::string> Inputs;
  std::deque<TAnswer> Answers;
  std::vector<std::string> Errors;
  std::vector<std::string> Infos;
  std::vector<std::string> Questions;

  std::string OpenFile(const TFileDialogOptions&) override { return NextFile(); }
  std::vector<std::string> OpenFiles(const TFileDialogOptions&) override {
    std::string F = NextFile();
    return F.empty() ? std::vector<std::string>{} : std::vector<std::string>{F};
  }
  std::string SaveFile(const TFileDialogOptions&) override { return NextFile(); }
  std::string Folder(const std::string&, const std::string&) override { return NextFile(); }
  bool Colour(uint32_t&) override { return false; }
  bool Input(const std::string&, const std::string&, std::string& Value) override {
    if (Inputs.empty()) return false;
    Value = Inputs.front();
    Inputs.pop_front();
    return true;
  }
  bool Print(QPrinter&) override { return false; }
  void Error(const std::string& Text) override { Errors.push_back(Text); }
  void Info(const std::string& Text) override { Infos.push_back(Text); }
  bool YesNo(const std::string& Text) override { return YesNoCancel(Text) == TAnswer::Yes; }
  TAnswer YesNoCancel(const std::string& Text) override {
    Questions.push_back(Text);
    if (Answers.empty()) return TAnswer::Cancel;
    TAnswer A = Answers.front();
    Answers.pop_front();
    return A;
  }

 private:
  std::string NextFile() {
    if (FileAnswers.empty()) return {};
    std::string F = FileAnswers.front();
    FileAnswers.pop_front();
    return F;
  }
};

}  // namespace qv::test
