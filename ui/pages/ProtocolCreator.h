#pragma once
// The protocol creator of the Header page: the parameters of the file read last, marked as gate,
// channel or neither by double-clicks, become a new protocol.
#include <QObject>
#include <memory>
#include <string>

namespace qv {

class TPageContext;
class TParameterSet;

class TProtocolCreator : public QObject {
  Q_OBJECT
 public:
  explicit TProtocolCreator(TPageContext& Main);
  ~TProtocolCreator() override;
  // The parameters of the file just read (a copy), all unmarked.
  void ShowParameters(const TParameterSet& Parameters, const std::string& FileName);
  void BtnShowProtocolCreationGridClick();
  // Cycles the role of the parameter on Row (Tag 8).
  void SgMakeProtocolDblClick(int Row);
  // Replaces the protocol by the one the marks describe (Tag 9).
  void BtnCreateProtocolClick();

 private:
  void FillGrid();

  TPageContext& M;  // the main window, as a page sees it
  std::unique_ptr<TParameterSet> FParameters;
  std::string FFileName;
};

}  // namespace qv
