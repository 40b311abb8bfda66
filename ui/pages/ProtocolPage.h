#pragma once
// The "Protocol" page: protocol commands, the channel, gate, filter and genotype editors and
// the notes. Each editor shows one current item (the Tag of its identity label) and writes the
// controls back into it on select, update, save and before outside changes; implicit stores
// happen only when the user changed the editor since it was shown.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ExportTargets.h"
#include "common/StringTableGrid.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QToolButton;
class QWidget;

namespace qv {

class StringTable;
class TPageContext;
class TProtocol;
struct TChannelInfo;
struct TGateInfo;

// A colour shape: fills it with Colour ($00BBGGRR), kept in its "Colour" property.
void SetShapeColour(QFrame* Shape, uint32_t Colour);

// Shows Edit's value as 10^x (Down) or log10(x) (up); false (text unchanged) when the text is
// not a number or, going to log10, not above 0. An empty edit stays empty. Throws EConvertError
// naming Field when 10^x does not fit a double, which is how every field reads it back.
bool ToggleLogNative(bool Down, QLineEdit* Edit, const QString& Field);
// The edit's colour for its toggle: sky blue while down (native values), else the window's.
void ShowToggleColour(bool Down, QLineEdit* Edit);

class TProtocolPage : public QObject {
  Q_OBJECT
 public:
  explicit TProtocolPage(TPageContext& Main);

  // Commands, by Tag.
  void BtnProtocolClick(int Tag);
  void BtnChannelClick(int Tag);
  void BtnGateClick(int Tag);
  void BtnFilterClick(int Tag);
  void BtnAssignDefaultValuesClick(int Tag);
  void BtnCalculateChannelMeanClick(int Tag);
  void BtnCustomMeanClick(int Tag);
  void BtnSetColorClick(int Tag);
  void BtnGenotypeClick(int Tag);

  // Default channel n (of Count) and default gate n of a new protocol.
  static void ShowProtocolGrids(TProtocol& Protocol, int n, int Count);
  static void CreateDefaultGates(TProtocol& Protocol, int n);
  void ClearProtocolEditors();
  void ClearChannelEditor();
  void ClearGateEditor();
  void ClearGenotypeEditor();
  void ShowChannel(int n);
  void ShowGate(int n);
  void ShowGenotype(int n);
  // Stores the notes and each editor the user changed since it was shown; throws (nothing of
  // that editor stored) when a field does not convert.
  void StoreChangedEditors();
  // Stores the editors, runs Change, shows the protocol again and marks nothing pending.
  void ApplyProtocolChange(const std::function<void()>& Change);

  // The item each editor shows (from 1; 0 none).
  int ChannelShown() const;
  int GateShown() const;
  int GenotypeShown() const;

  // Protocol bar and notes.
  QComboBox* CmBxProtocols = nullptr;
  QPushButton* BtnUpdateProtocol = nullptr;
  QPushButton* BtnSaveProtocol = nullptr;
  QPushButton* BtnExportProtocol = nullptr;
  TExportTargets ExportTargets;
  QPlainTextEdit* MeNotes = nullptr;

  // Channel editor.
  QTableWidget* SgChannels = nullptr;
  QLabel* LbChannelID = nullptr;
  QLineEdit *EdChannelName = nullptr, *EdChannelTag = nullptr, *EdChannelFCSName = nullptr,
            *EdChannelFCSLabel = nullptr;
  QCheckBox *CbChannelExactFCSName = nullptr, *CbChannelExactFCSLabel = nullptr;
  QComboBox* CmBxChannelScale = nullptr;
  QLineEdit *EdDisplayMinimum = nullptr, *EdDisplayMaximum = nullptr;
  QToolButton *BtnChannelDisplayMinimum = nullptr, *BtnChannelDisplayMaximum = nullptr;
  QFrame* ShChannelColor = nullptr;
  QPushButton* BtnSetColor = nullptr;
  QLineEdit *EdMinGate = nullptr, *EdMaxGate = nullptr, *EdMinZGate = nullptr, *EdMaxZGate = nullptr,
            *EdMinZ = nullptr, *EdMaxZ = nullptr;
  QTableWidget *SgCompensations1 = nullptr, *SgCompensations2 = nullptr, *SgGaussian = nullptr;
  QPlainTextEdit* MeChannelNotes = nullptr;
  QCheckBox* CbForceMean = nullptr;
  QLineEdit *EdGenotype = nullptr, *EdBaseline = nullptr;
  QPushButton *BtnUpdateChannel = nullptr, *BtnAddGaussian = nullptr, *BtnDeleteGaussian = nullptr;
  QRadioButton *RbCompGaussian = nullptr, *RbRawGaussian = nullptr;
  QPushButton *BtnLockGaussians = nullptr, *BtnUnlockGaussians = nullptr, *BtnAssignDefaultValues = nullptr;
  QLineEdit* EdCalculateChannelMean = nullptr;
  QToolButton* BtnCalculateChannelMean = nullptr;
  QPushButton* BtnCreateFilter = nullptr;
  // Reassign Channel Data: edits and buttons of Tags 2 to 7.
  QLineEdit *EdReassignMinimumZ = nullptr, *EdReassignMaximumZ = nullptr, *EdReassignMinimumZGate = nullptr,
            *EdReassignMaximumZGate = nullptr, *EdReassignMinimumGate = nullptr, *EdReassignMaximumGate = nullptr;

  // Gate editor.
  QTableWidget* SgGlobalGates = nullptr;
  QLabel* LbGateID = nullptr;
  QCheckBox *CbActiveGate = nullptr, *CbCullGate = nullptr, *CbGateExactFCSName = nullptr,
            *CbGateExactFCSLabel = nullptr, *CbDynamicGate = nullptr;
  QLineEdit *EdGateName = nullptr, *EdGateFCSName = nullptr, *EdGateFCSLabel = nullptr;
  QComboBox* CmBxGateScale = nullptr;
  QLineEdit *EdGateDisplayMinimum = nullptr, *EdGateDisplayMaximum = nullptr;
  QToolButton *BtnGateDisplayMinimum = nullptr, *BtnGateDisplayMaximum = nullptr;
  QFrame* ShGateColor = nullptr;
  QPushButton* BtnSetGateColor = nullptr;
  QLineEdit *EdGateMinGate = nullptr, *EdGateMaxGate = nullptr, *EdGateMinZ = nullptr, *EdGateMaxZ = nullptr,
            *EdGateZOrder = nullptr, *EdGateClipHigh = nullptr, *EdGateClipLow = nullptr, *EdGateMean = nullptr,
            *EdGateDeviation = nullptr, *EdCalculateGateMean = nullptr;
  QToolButton* BtnCalculateGateMean = nullptr;
  QPushButton* BtnUpdateGate = nullptr;

  // Filter editor.
  QTableWidget* SgValidation = nullptr;
  QLineEdit *EdFilterName = nullptr, *EdMaxSpillover = nullptr, *EdMeanSpillover = nullptr, *EdMinSpillover = nullptr;
  QComboBox *CmBxSourceChannel = nullptr, *CmBxSpilloverChannel = nullptr;

  // Genotype editor.
  QTableWidget* SgGenotypes = nullptr;
  QLabel* LbGenotypeID = nullptr;
  QLineEdit *EdGenotypeName = nullptr, *EdLikelihoodThreshold = nullptr;
  QTableWidget* SgFluorPeaks = nullptr;
  QPlainTextEdit* MeGenotypeNotes = nullptr;
  QPushButton* BtnUpdateGenotype = nullptr;

 private:
  TProtocol* Protocol() const;
  void BuildBar();
  void BuildChannelPages();
  void BuildGatePage();
  void BuildFilterPage();
  void BuildGenotypePage();
  void BuildNotesPage();
  void BindMenu();
  // A button bound to Click.
  QPushButton* Button(QWidget* Parent, const char* Name, const QString& Caption, std::function<void()> Click,
                      const QString& Hint = QString());
  // Marks Editor changed when Control changes outside Show/Clear.
  void Watch(QObject* Control, bool& Dirty);
  void Refresh();
  // The commands that need both a protocol and a data set.
  void UpdateDataCommands();
  void FillSourceCombos();
  void SetCurrentRow(QTableWidget* Grid, int Row);
  void ResetCurrentItems();
  void ReadChannelEditor(TChannelInfo& Info, StringTable& Comp, StringTable& Base, StringTable& Peaks);
  void ReadGateEditor(TGateInfo& Info);
  void StoreChannel();
  void StoreGate();
  void StoreGenotype(int n);
  void StoreNotes();
  void ImportGenotypes();
  void NewProtocol();
  void OpenProtocol(const std::string& FileName);

  TPageContext& FMain;  // the main window, as a page sees it
  std::vector<QPushButton*> FProtocolCommands;  // the editors' buttons that need a protocol
  int FLoading = 0;  // >0 while controls are filled by the program
  bool FChannelDirty = false;
  bool FGateDirty = false;
  bool FGenotypeDirty = false;
  bool FNotesDirty = false;
};

}  // namespace qv
