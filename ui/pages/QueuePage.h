#pragma once
// The batch queue on the "Load" page: named sets of the selected FCS files, each kept with the
// protocol file and cull gate of the moment, later read, merged, analysed and saved in one run.
#include <QObject>

namespace qv {

class TPageContext;

class TQueuePage : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* ProtocolNeeded = "A protocol is needed to queue files";
  static constexpr const char* SaveProtocolFirst = "Save the protocol to a file before queueing";

  explicit TQueuePage(TPageContext& Main);
  // By Tag: 1 add, 2 execute, 3 clear, 4 delete the selected entries.
  void BtnAddToQueueClick(int Tag);

 private:
  void Add();
  void Execute();
  void DeleteSelected();
  void FillList();

  TPageContext& M;  // the main window, as a page sees it
};

}  // namespace qv
