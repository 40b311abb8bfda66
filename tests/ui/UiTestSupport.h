#pragma once
// Helpers shared by the window tests: a fresh program folder, its settings file and protocols.
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "Globals.h"
#include "TestFolders.h"
#include "protocol/Protocol.h"

namespace qv::test {

inline void WriteText(const std::string& FileName, const std::string& Text) {
  std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
  Out << Text;
}

inline std::string ReadText(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// A protocol of two channels saved as Name in Folder; answers its full name.
inline std::string SaveTwoChannelProtocol(const std::string& Folder, const std::string& Name,
                                          const std::string& Notes = "") {
  TProtocol P;
  for (const char* ChannelName : {"GFP", "RFP"}) {
    TChannelInfo Info;
    Info.ChannelName = ChannelName;
    Info.ChannelTag = std::string(1, ChannelName[0]);
    P.AddChannel(std::make_unique<TChannel>(Info, nullptr));
  }
  P.Notes = Notes;
  const std::string FileName = Folder + Name;
  P.SaveToFile(FileName);
  return FileName;
}

inline void Pump() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Runs Action; the first modal dialog of type T that it opens is handed to Answer (which must
// close it). Answers whether one opened.
template <class T>
bool OnModal(const std::function<void()>& Action, const std::function<void(T*)>& Answer) {
  bool Seen = false;
  QTimer Poll;
  Poll.setInterval(10);
  QObject::connect(&Poll, &QTimer::timeout, [&] {
    if (auto* Dialog = qobject_cast<T*>(QApplication::activeModalWidget()); Dialog && Dialog->isVisible()) {
      Poll.stop();
      Seen = true;
      Answer(Dialog);
    }
  });
  Poll.start();
  Action();
  Poll.stop();
  return Seen;
}

}  // namespace qv::test
