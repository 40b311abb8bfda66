#include "pages/CompensationCommands.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <cmath>
#include <functional>

#include "common/CommandBinding.h"
#include "common/Hints.h"
#include "common/Dialogs.h"
#include "common/ExportTargets.h"
#include "Files.h"
#include "Globals.h"
#include "common/DeveloperMode.h"
#include "common/PageContext.h"
#include "common/NumberEdit.h"
#include "NumberFormat.h"
#include "common/StringTableGrid.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

QPushButton* TagButton(QWidget* Parent, const char* Name, const QString& Caption, int Tag, const QString& Hint) {
  auto* B = new QPushButton(Caption, Parent);
  B->setObjectName(Name);
  B->setProperty("Tag", Tag);
  if (!Hint.isEmpty()) {
    B->setToolTip(Hint);
    B->setStatusTip(Hint);
  }
  return B;
}

QCheckBox* Check(QWidget* Parent, const char* Name, const QString& Caption, bool Checked) {
  auto* B = new QCheckBox(Caption, Parent);
  B->setObjectName(Name);
  B->setChecked(Checked);
  return B;
}

// A spill-over estimate whose pairs are all zero came from no event at all.
bool NoEstimate(const TCompensationArray& Pairs, int32_t Primary) {
  for (int32_t c = 0; c < static_cast<int32_t>(Pairs.size()); ++c)
    if (c != Primary && (Pairs[c].Mean != 0 || Pairs[c].Deviation != 0)) return false;
  return true;
}

// Closes the derive panel when the command ends, whichever way it ends.
class TCloseDerivePanel {
 public:
  explicit TCloseDerivePanel(TPageContext& Main) : FMain(Main) {}
  ~TCloseDerivePanel() {
    if (FMain.Hooks.CloseDerivePanel) FMain.Hooks.CloseDerivePanel();
  }
  TCloseDerivePanel(const TCloseDerivePanel&) = delete;
  TCloseDerivePanel& operator=(const TCloseDerivePanel&) = delete;

 private:
  TPageContext& FMain;
};

}  // namespace

const char* TCompensationCommands::DeriveQuestion(int Tag) {
  switch (Tag) {
    case 1: return "Derive Compensation Matrix from this standard curve?";
    case 2: return "Derive Baseline-Corrected Compensation Matrix from this standard curve?";
    case 3: return "Derive Baseline Values for all channels?";
    case 4: return "Derive complete compensation matrix from all fluorophores?";
    default: return "";
  }
}

TCompensationCommands::TCompensationCommands(TPageContext& Main, QWidget* DerivePanel, QWidget* ResetBox)
    : QObject(Main.Window()), FMain(Main) {
  setObjectName("CompensationCommands");
  BuildDerivePanel(DerivePanel);
  BuildMatrixSheet();
  BuildResetControls(ResetBox);
  ApplyDeveloperMode(BtnDeriveCompensation->parentWidget(), IsDeveloperMode());
  for (const char* Item : {"MnShowmatrix", "MnImportMatrix", "MnExportMatrix"})
    FMain.BindCommand(Item, [this](int Tag) { BtnShowMatrixClick(Tag); });
  // A matrix of the protocol that went never stays on the sheet.
  FMain.OnProtocolReplaced(this, [this] {
    SgMatrix->clear();
    SgMatrix->setRowCount(0);
    SgMatrix->setColumnCount(0);
  });
}

// ---------------------------------------------------------------------------------------------
// Controls

void TCompensationCommands::BuildDerivePanel(QWidget* Panel) {
  if (!Panel) Panel = new QWidget(FMain.Page("TsDistributions"));
  auto* Box = new QVBoxLayout(Panel);
  Box->setContentsMargins(0, 0, 0, 0);
  auto* Group = new QGroupBox(" Derive Compensation ", Panel);
  Box->addWidget(Group);
  auto* G = new QGridLayout(Group);
  G->setContentsMargins(6, 4, 6, 4);
  EdMinRaw = new QLineEdit("25", Group);
  EdMinRaw->setObjectName("EdMinRaw");
  EdMinRaw->setToolTip("Minimum raw signal to consider");
  EdMinRaw->setStatusTip("Minimum raw signal to consider");
  EdMaxRaw = new QLineEdit("1000", Group);
  EdMaxRaw->setObjectName("EdMaxRaw");
  EdMaxRaw->setToolTip("Maximum raw signal to consider");
  EdMaxRaw->setStatusTip("Maximum raw signal to consider");
  for (QLineEdit* E : {EdMinRaw, EdMaxRaw}) {
    E->setMaximumWidth(90);
    InstallKeyFilter(E, TKeyFilter::UnsignedDecimal);
  }
  CbEstimateGaussian = Check(Group, "CbEstimateGaussian", "Estimate Gaussian", false);
  SetHint(CbEstimateGaussian, "Also add a Gaussian curve of the standard's own signal");
  G->addWidget(new QLabel("Minimum raw", Group), 0, 0);
  G->addWidget(EdMinRaw, 0, 1);
  G->addWidget(new QLabel("Maximum raw", Group), 0, 2);
  G->addWidget(EdMaxRaw, 0, 3);
  G->addWidget(CbEstimateGaussian, 0, 4);
  BtnDeriveCompensation = TagButton(Group, "BtnDeriveCompensation", "Raw Compensations", 1,
                                    "Spill-over of the channel shown into every other channel");
  BtnBaselineCompensation = TagButton(Group, "BtnBaselineCompensation", "Baseline Compensations", 2,
                                      "Spill-over of the channel shown above the channels' baselines");
  BtnDeriveBaselines = TagButton(Group, "BtnDeriveBaselines", "Derive Baselines", 3,
                                 "Mean raw signal of every channel as its baseline");
  BtnAutocompensate = TagButton(Group, "BtnAutocompensate", "Autocompensate", 4,
                                "The whole matrix, each event standing for its strongest channel");
  auto* Buttons = new QHBoxLayout;
  G->addLayout(Buttons, 1, 0, 1, 6);
  for (QPushButton* B : {BtnDeriveCompensation, BtnBaselineCompensation, BtnDeriveBaselines, BtnAutocompensate}) {
    Buttons->addWidget(B);
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnDeriveCompensationClick(Tag); });
  }
  Buttons->addStretch(1);
  G->setColumnStretch(5, 1);
  G->setRowStretch(2, 1);
}

void TCompensationCommands::BuildMatrixSheet() {
  QWidget* Sheet = FMain.Page("TsMatrix");
  auto* Outer = new QVBoxLayout(Sheet);
  Outer->setContentsMargins(2, 2, 2, 2);
  auto* Row = new QHBoxLayout;
  Outer->addLayout(Row);
  BtnShowMatrix = TagButton(Sheet, "BtnShowMatrix", "Show", 1, "Show the inverted matrix on screen");
  CbMonteCarlo = Check(Sheet, "CbMonteCarlo", "Monte Carlo", false);
  CbMonteCarlo->setToolTip("Perturb each spill-over by its deviation before inverting");
  CbMonteCarlo->setStatusTip("Perturb each spill-over by its deviation before inverting");
  BtnExportmatrix = TagButton(Sheet, "BtnExportmatrix", "Export", 2, "Export the inverted matrix");
  MatrixTargets = CreateExportTargets(Sheet, "Matrix");
  BtnImportMatrix = TagButton(Sheet, "BtnImportMatrix", "Import", 3,
                              "Import compensation matrix from the clipboard (channels in columns)");
  Row->addWidget(BtnShowMatrix);
  Row->addWidget(CbMonteCarlo);
  Row->addSpacing(16);
  Row->addWidget(BtnExportmatrix);
  Row->addWidget(MatrixTargets.Text);
  Row->addWidget(MatrixTargets.Excel);
  Row->addWidget(MatrixTargets.Save);
  Row->addSpacing(16);
  Row->addWidget(BtnImportMatrix);
  Row->addStretch(1);
  for (QPushButton* B : {BtnShowMatrix, BtnExportmatrix, BtnImportMatrix})
    BindCommand(B, B->property("Tag").toInt(), [this](int Tag) { BtnShowMatrixClick(Tag); });
  SgMatrix = new QTableWidget(0, 0, Sheet);
  SgMatrix->setObjectName("SgMatrix");
  SgMatrix->horizontalHeader()->hide();
  SgMatrix->verticalHeader()->hide();
  SgMatrix->verticalHeader()->setDefaultSectionSize(20);
  SgMatrix->horizontalHeader()->setDefaultSectionSize(80);
  SgMatrix->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SetHint(SgMatrix, "Double-click a channel to show it in the channel editor");
  BindCommand(SgMatrix, &QTableWidget::cellDoubleClicked, [this](int Row, int Col) { SgMatrixDblClick(Row, Col); });
  Outer->addWidget(SgMatrix, 1);
}

void TCompensationCommands::BuildResetControls(QWidget* RawBox) {
  if (!RawBox) return;
  // Beside "Create Spillover Filter" under the raw compensation grid.
  QBoxLayout* Row = nullptr;
  if (auto* L = qobject_cast<QBoxLayout*>(RawBox->layout()))
    for (int i = L->count() - 1; i >= 0 && !Row; --i) Row = qobject_cast<QBoxLayout*>(L->itemAt(i)->layout());
  CbResetAllChannels = Check(RawBox, "CbResetAllChannels", "Reset All Channels", true);
  BtnResetCompensations = new QPushButton("Reset Compensations", RawBox);
  BtnResetCompensations->setObjectName("BtnResetCompensations");
  BtnResetCompensations->setToolTip("Set the compensation values to no spill-over");
  BtnResetCompensations->setStatusTip("Set the compensation values to no spill-over");
  BindCommand(BtnResetCompensations, [this] { BtnResetCompensationsClick(); });
  if (!Row) {
    Row = new QHBoxLayout;
    if (auto* L = qobject_cast<QBoxLayout*>(RawBox->layout())) L->addLayout(Row);
  }
  Row->addWidget(CbResetAllChannels);
  Row->addWidget(BtnResetCompensations);
}

// ---------------------------------------------------------------------------------------------
// Derive

bool TCompensationCommands::ReadRawWindow(float& Low, float& High) {
  Extended Min = 0, Max = 0;
  if (!TryStrToFloat(EdMinRaw->text().trimmed().toStdString(), Min) || !std::isfinite(static_cast<double>(Min)) ||
      !TryStrToFloat(EdMaxRaw->text().trimmed().toStdString(), Max) || !std::isfinite(static_cast<double>(Max))) {
    AppDialogs().Error(NotANumber);
    return false;
  }
  Low = static_cast<float>(Min);
  High = static_cast<float>(Max);
  if (!(Low < High)) {
    AppDialogs().Error("The minimum raw signal must be below the maximum; nothing was derived");
    return false;
  }
  return true;
}

void TCompensationCommands::BtnDeriveCompensationClick(int Tag) {
  TFCSData* Data = FMain.CurrentData.get();
  TProtocol* P = FMain.CurrentProtocol.get();
  const int32_t c = FMain.DistributionChannel;
  if (!Data || !P || c < 0 || Tag < 1 || Tag > 4) return;
  if (FMain.Hooks.ProtocolMatchesData) {
    if (!FMain.Hooks.ProtocolMatchesData()) return;
  } else if (Data->Events.ChannelCount() != P->ChannelCount()) {
    return;
  }
  if (c >= P->ChannelCount()) return;
  if (!AppDialogs().YesNo(DeriveQuestion(Tag))) return;
  const TCloseDerivePanel Close(FMain);
  float Low = 0, High = 0;
  if (Tag != 3 && !ReadRawWindow(Low, High)) return;
  const QString Window = QString("%1 to %2").arg(EdMinRaw->text().trimmed(), EdMaxRaw->text().trimmed());
  const bool Gaussian = CbEstimateGaussian->isChecked();

  std::function<void()> Change;
  switch (Tag) {
    case 1:
    case 2: {
      TSglArray Baselines;
      if (Tag == 1)
        Baselines.assign(static_cast<size_t>(P->ChannelCount()), 0.0f);
      else
        P->GetBaselines(Baselines);
      float Mean = 0, Dev = 0;
      TCompensationArray Pairs;
      Data->EstimateSpillover(Baselines, c, Low, High, Mean, Dev, Pairs);
      if (Mean == 0 && Dev == 0 && NoEstimate(Pairs, c)) {
        AppDialogs().Error("No gated-in event of " + P->GetChannel(c)->ChannelName + " has a raw signal from " +
                           Window.toStdString() + "; nothing was derived");
        return;
      }
      Change = [P, c, Tag, Pairs, Mean, Dev, Gaussian] {
        P->SetCompPairColumn(c, Pairs, Tag == 1);
        if (Gaussian) P->GetChannel(c)->SetPeak(false, -1, Mean, Dev, 10.0f);
      };
      break;
    }
    case 3: {
      TSglArray Means;
      Data->MeanChannelValues(Means);
      Change = [P, Means] { P->SetBaselines(Means); };
      break;
    }
    case 4: {
      TCompensationArray Primaries;
      TFullCompensationArray Matrix;
      Data->EstimateSpilloverMatrix(Primaries, Matrix, Low, High);
      // Channels no event stood for get no curve: a curve of deviation 0 fits nothing.
      std::vector<bool> Seen(Primaries.size(), false);
      bool Any = false;
      for (size_t p = 0; p < Primaries.size(); ++p) {
        Seen[p] = Primaries[p].Mean != 0 || Primaries[p].Deviation != 0 ||
                  !NoEstimate(Matrix[p], static_cast<int32_t>(p));
        Any = Any || Seen[p];
      }
      if (!Any) {
        AppDialogs().Error("No gated-in event has its strongest raw signal from " + Window.toStdString() +
                           "; nothing was derived");
        return;
      }
      Change = [P, Primaries, Matrix, Seen, Gaussian] {
        P->SetCompPairMatrix(Matrix, true);
        if (Gaussian)
          for (size_t i = 0; i < Primaries.size(); ++i)
            if (Seen[i])
              P->GetChannel(static_cast<int32_t>(i))->SetPeak(false, -1, Primaries[i].Mean, Primaries[i].Deviation,
                                                              10.0f);
      };
      break;
    }
    default: return;
  }
  if (FMain.Hooks.ApplyProtocolChange)
    FMain.Hooks.ApplyProtocolChange(Change);
  else
    Change();
  FMain.ShowMemoryStatus();
}

// ---------------------------------------------------------------------------------------------
// Matrix sheet

void TCompensationCommands::BtnShowMatrixClick(int Tag) {
  FMain.ShowPage("TsMatrix");
  TProtocol* P = FMain.CurrentProtocol.get();
  if (P) switch (Tag) {
      case 1: {
        const bool Inverted = P->BuildCompensationMatrix(CbMonteCarlo->isChecked());
        StringTable Grid;
        P->FillCompensationGrid(Grid);
        Grid.FixedRows = 1;
        Grid.FixedCols = 1;
        ShowTable(Grid, SgMatrix);
        FMain.ShowPage("TsProtocol");
        FMain.ShowPage("TsMatrix");
        if (!Inverted) AppDialogs().Error(NotInvertible);
        break;
      }
      case 2:
        if (FMain.Hooks.ExportGrid) {
          TExportRequest Request;
          Request.Targets = MatrixTargets;
          Request.Caption = "Compensation Matrix " + Q(ExtractFileName(P->FileName));
          Request.Filter = "CSVs (*.csv)|*.CSV|All Files (*.*)|*.*";
          Request.Extension = "CSV";
          FMain.Hooks.ExportGrid(ReadTable(SgMatrix), Request);
        }
        break;
      case 3: ImportMatrix(); break;
      default: break;
    }
  FMain.ShowMemoryStatus();
}

void TCompensationCommands::ImportMatrix() {
  TProtocol* P = FMain.CurrentProtocol.get();
  const QClipboard* Clipboard = QGuiApplication::clipboard();
  const std::string Text = Clipboard ? Clipboard->text().toStdString() : std::string();
  TMatrix M;
  // A text of more lines than a protocol has channels is no matrix of it, however it reads.
  if (!MatrixFromText(Text, M, TProtocol::MaxChannels)) {
    AppDialogs().Error(InvalidMatrix);
    return;
  }
  bool Accepted = false;
  const std::function<void()> Change = [P, &M, &Accepted] { Accepted = P->SetCompensationMatrix(M); };
  if (FMain.Hooks.ApplyProtocolChange)
    FMain.Hooks.ApplyProtocolChange(Change);
  else
    Change();
  if (!Accepted) AppDialogs().Error(InvalidMatrix);
}

void TCompensationCommands::SgMatrixDblClick(int Row, int Col) {
  const TProtocol* P = FMain.CurrentProtocol.get();
  if (!P || !FMain.Hooks.ShowChannelInEditor) return;
  // A row names its channel in column 0; the heading row names them by column.
  const int Channel = Row >= 1 ? Row : Col;
  if (Channel < 1 || Channel > P->ChannelCount()) return;
  FMain.ShowPage("TsChannel");
  FMain.Hooks.ShowChannelInEditor(Channel);
}

// ---------------------------------------------------------------------------------------------
// Reset

void TCompensationCommands::ResetChannelCompensations(int Row) {
  TProtocol* P = FMain.CurrentProtocol.get();
  if (!P || Row < 1 || Row > P->ChannelCount()) return;
  const int32_t N = P->ChannelCount();
  TChannel* C = P->GetChannel(Row - 1);
  for (int32_t k = N; k >= 1; --k) {
    const TCompensationPair Pair{k == Row ? 100.0f : 0.0f, 0.0f};
    C->SetCompPair(k - 1, Pair, true);
    C->SetCompPair(k - 1, Pair, false);
  }
  // As read back from an editor grid of N source columns: nothing beyond them stays.
  C->Comp.resize(static_cast<size_t>(N));
  C->Base.resize(static_cast<size_t>(N));
}

void TCompensationCommands::BtnResetCompensationsClick() {
  TProtocol* P = FMain.CurrentProtocol.get();
  if (!P) return;
  if (!AppDialogs().YesNo(ResetQuestion)) return;
  const bool All = CbResetAllChannels->isChecked();
  const int Selected = FMain.Hooks.ChannelListRow ? FMain.Hooks.ChannelListRow() : -1;
  const std::function<void()> Change = [this, P, All, Selected] {
    if (All)
      for (int Row = P->ChannelCount(); Row >= 1; --Row) ResetChannelCompensations(Row);
    else
      ResetChannelCompensations(Selected);
  };
  if (FMain.Hooks.ApplyProtocolChange)
    FMain.Hooks.ApplyProtocolChange(Change);
  else
    Change();
  FMain.ShowMemoryStatus();
}

}  // namespace qv
