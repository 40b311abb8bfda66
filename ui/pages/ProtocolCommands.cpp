// Commands of the protocol page and its editors.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

#include "common/Dialogs.h"
#include "analysis/Detector.h"
#include "analysis/GaussianFit.h"
#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "common/PageContext.h"
#include "common/NumberEdit.h"
#include "NumberFormat.h"
#include "pages/ProtocolPage.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "protocol/GenotypeFile.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }
std::string S(const QString& Text) { return Text.toStdString(); }
void SetTag(QWidget* W, int Value) { W->setProperty("Tag", Value); }


float ReadLog(QLineEdit* E, const QToolButton* Toggle, const QString& Field) {
  if (!(Toggle->isChecked() && Toggle->isEnabled())) return ReadFloat(E, Field);
  const Extended Value = ReadNumber(E, Field);
  if (Value <= 0) {
    E->setFocus();
    E->selectAll();
    throw EConvertError(("\"" + E->text() + "\" is not above 0 for " + Field).toStdString());
  }
  return static_cast<float>(std::log10(Value));
}

// A display bound: 10^v under a down toggle on the log scale, else v. A bound whose 10^v does
// not fit a number is shown as v with the toggle up, so edit and toggle still agree.
void ShowDisplayValue(QLineEdit* E, QToolButton* Toggle, bool Log, float V, const char* NativeMask, const char* LogMask) {
  const Extended Native = std::pow(10.0L, static_cast<Extended>(V));
  const bool Down = Log && std::isfinite(static_cast<double>(Native));
  Toggle->setChecked(Down);
  ShowToggleColour(Down, E);
  E->setText(Q(Down && Toggle->isEnabled() ? FormatFloat(NativeMask, Native) : FormatFloat(LogMask, V)));
}

float NumberOrZero(const QString& Text) {
  Extended V = 0;
  return TryStrToFloat(S(Text.trimmed()), V) && std::isfinite(static_cast<double>(V)) ? static_cast<float>(V) : 0.0f;
}

// A count typed into an input box: a whole number from 1 to Max, else a message naming it.
bool AskCount(const std::string& Caption, const std::string& Prompt, int Max, std::string& Text, int& Count) {
  if (!AppDialogs().Input(Caption, Prompt, Text)) return false;
  int32_t Value = 0;
  if (!TryStrToInt(Trim(Text), Value) || Value < 1 || Value > Max) {
    AppDialogs().Error(Caption + ": \"" + Text + "\" is not a whole number from 1 to " + std::to_string(Max));
    return false;
  }
  Count = Value;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Protocol commands

void TProtocolPage::ShowProtocolGrids(TProtocol& Protocol, int n, int Count) {
  TChannelInfo Info;
  Info.ChannelName = "Ch_" + std::to_string(n);
  Info.ChannelTag = std::to_string(n);
  Info.Scale = 0;
  Info.DisplayMinimum = 0;
  Info.DisplayMaximum = 4.0f;
  Info.Minimum_Value_Threshold = 10.0f;
  Info.Maximum_Value_Threshold = 2000.0f;
  Info.Minimum_Value_ZScore = 5.0f;
  Info.MaximumValue_ZScore = 2000.0f;
  Info.Minimum_Z = -1.5f;
  Info.Maximum_Z = 1.5f;
  Info.Baseline = 1.0f;
  auto Channel = std::make_unique<TChannel>(Info, &Protocol);
  // No spill-over: all of its own fluorophore, none of the others'.
  for (int i = 0; i < Count; ++i) {
    const TCompensationPair Pair{i == n - 1 ? 100.0f : 0.0f, 0.0f};
    Channel->SetCompPair(i, Pair, true);
    Channel->SetCompPair(i, Pair, false);
  }
  Channel->AddPeak(false, 0, 2.0f, 0.27f, 0, 0, 0, 0, 2.0f, -2.0f);
  Protocol.AddChannel(std::move(Channel));
}

void TProtocolPage::CreateDefaultGates(TProtocol& Protocol, int n) {
  TGateInfo Info;
  Info.Active = true;
  Info.Name = "Gate_" + std::to_string(n);
  Info.Scale = 0;
  Info.DisplayMinimum = 0;
  Info.DisplayMaximum = 1000000.0f;
  Info.MinimumValue = 0;
  Info.MaximumValue = 1000000.0f;
  Info.Minimum_Z = -1.5f;
  Info.Maximum_Z = 1.5f;
  Info.ClipHigh = 1.5f;
  Info.ClipLow = -1.5f;
  Protocol.AddGate(std::make_unique<TGlobalGate>(Info, &Protocol));
}

void TProtocolPage::NewProtocol() {
  // Both counts are asked before anything changes.
  std::string Channels, Gates;
  int ChannelCount = 0, GateCount = 0;
  if (!AskCount("Number of Channels", "Enter number of Compensated Detectors", TProtocol::MaxChannels, Channels,
                ChannelCount))
    return;
  Gates = Channels;
  if (!AskCount("Number of Global Gates", "Enter number of Global Gates", 99, Gates, GateCount)) return;
  if (!FMain.QuerySaveProtocol()) return;
  auto P = std::make_unique<TProtocol>();
  for (int n = 1; n <= ChannelCount; ++n) ShowProtocolGrids(*P, n, ChannelCount);
  for (int n = 1; n <= GateCount; ++n) CreateDefaultGates(*P, n);
  FMain.SetCurrentProtocol(std::move(P));
}

void TProtocolPage::OpenProtocol(const std::string& FileName) {
  if (!FMain.QuerySaveProtocol()) return;
  // An unreadable file has been named by OpenFile; the protocol stays.
  if (auto P = TProtocol::OpenFile(FileName)) FMain.SetCurrentProtocol(std::move(P));
}

void TProtocolPage::BtnProtocolClick(int Tag) {
  switch (Tag) {
    case 1: NewProtocol(); return;
    case 2: {
      TFileDialogOptions Spec;
      Spec.Filter = "|*.protocol";
      Spec.Folder = ProgramDir;
      const std::string File = AppDialogs().OpenFile(Spec);
      if (!File.empty()) OpenProtocol(File);
      return;
    }
    case 3:
      if (!Protocol()) return;
      StoreNotes();
      BtnChannelClick(2);
      BtnGateClick(2);
      return;
    case 4:
      if (!Protocol()) return;
      StoreChangedEditors();
      FMain.SaveCurrentProtocol(true);
      Refresh();
      return;
    case 5: {
      const int Index = CmBxProtocols->currentIndex();
      if (Index < 0) return;
      const std::string Name = S(CmBxProtocols->itemText(Index));
      if (!FileExists(ProgramDir + Name)) {
        AppDialogs().Error("Protocol file " + Name + " no longer exists");
        FMain.ListProtocolFiles();
        return;
      }
      OpenProtocol(ProgramDir + Name);
      // A choice that opened nothing (kept edits, an unreadable file) leaves the list on the
      // protocol that is still current.
      FMain.ListProtocolFiles();
      return;
    }
    case 8: {
      if (!Protocol()) return;
      StoreChangedEditors();
      std::string Text;
      Protocol()->InformationReport(Text);
      TExportRequest Request;
      Request.Targets = ExportTargets;
      Request.Caption = "Protocol " + Q(ExtractFileName(Protocol()->FileName));
      Request.Filter = "Text Files (*.txt)|*.txt|RTF Files (*.rtf)|*.rtf|Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*";
      Request.Extension = "Text";
      if (FMain.Hooks.ExportTextReport) FMain.Hooks.ExportTextReport(Text, Request);
      return;
    }
    case 9:
    case 10:
      if (!Protocol()) return;
      ApplyProtocolChange([this, Tag] { Protocol()->SetChannelsForceMean(Tag == 9); });
      return;
    case 23:
      if (!Protocol()) return;
      StoreChangedEditors();
      FMain.SaveCurrentProtocol(false);
      Refresh();
      return;
    case 49:
      if (!Protocol()) return;
      if (!FMain.QuerySaveProtocol()) return;
      FMain.SetCurrentProtocol(nullptr);
      return;
    default: Refresh(); return;
  }
}

// ---------------------------------------------------------------------------------------------
// Channel editor

void TProtocolPage::ReadChannelEditor(TChannelInfo& Info, StringTable& Comp, StringTable& Base, StringTable& Peaks) {
  // Every number first, so a bad field stores nothing.
  const float DisplayMinimum = ReadLog(EdDisplayMinimum, BtnChannelDisplayMinimum, "Display Minimum");
  const float DisplayMaximum = ReadLog(EdDisplayMaximum, BtnChannelDisplayMaximum, "Display Maximum");
  const float MinGate = ReadFloat(EdMinGate, "Threshold Scoring Minimum");
  const float MaxGate = ReadFloat(EdMaxGate, "Threshold Scoring Maximum");
  const float MinZGate = ReadFloat(EdMinZGate, "Z-Scoring Minimum value");
  const float MaxZGate = ReadFloat(EdMaxZGate, "Z-Scoring Maximum value");
  const float MinZ = ReadFloat(EdMinZ, "Minimum Z");
  const float MaxZ = ReadFloat(EdMaxZ, "Maximum Z");
  const float Baseline = ReadFloat(EdBaseline, "Autofluorescence");
  Info.ChannelName = S(EdChannelName->text());
  Info.ChannelTag = S(EdChannelTag->text());
  Info.FCSName = S(EdChannelFCSName->text());
  Info.FCSLabel = S(EdChannelFCSLabel->text());
  Info.ExactFCSName = CbChannelExactFCSName->isChecked();
  Info.ExactFCSLabel = CbChannelExactFCSLabel->isChecked();
  Info.Scale = std::max(0, CmBxChannelScale->currentIndex());
  Info.DisplayMinimum = DisplayMinimum;
  Info.DisplayMaximum = DisplayMaximum;
  Info.Color = static_cast<int32_t>(ShChannelColor->property("Colour").toUInt());
  Info.Minimum_Value_Threshold = MinGate;
  Info.Maximum_Value_Threshold = MaxGate;
  Info.Minimum_Value_ZScore = MinZGate;
  Info.MaximumValue_ZScore = MaxZGate;
  Info.Minimum_Z = MinZ;
  Info.Maximum_Z = MaxZ;
  Comp = ReadTable(SgCompensations1);
  Base = ReadTable(SgCompensations2);
  Peaks = ReadTable(SgGaussian);
  Info.CompGrid = &Comp;
  Info.BaseGrid = &Base;
  Info.PeakGrid = &Peaks;
  Info.Notes = S(MeChannelNotes->toPlainText());
  Info.ForceMean = CbForceMean->isChecked();
  Info.Genotype = S(EdGenotype->text());
  Info.Baseline = Baseline;
}

void TProtocolPage::StoreChannel() {
  const int n = ChannelShown();
  if (!Protocol() || n < 1 || n > Protocol()->ChannelCount()) return;
  TChannelInfo Info;
  StringTable Comp, Base, Peaks;
  ReadChannelEditor(Info, Comp, Base, Peaks);
  Protocol()->GetChannel(n - 1)->SetInfo(Info);
  FChannelDirty = false;
}

void TProtocolPage::ShowChannel(int n) {
  if (!Protocol() || n < 1 || n > Protocol()->ChannelCount()) return;
  TChannelInfo Info;
  StringTable Comp, Base, Peaks;
  Info.CompGrid = &Comp;
  Info.BaseGrid = &Base;
  Info.PeakGrid = &Peaks;
  Protocol()->GetChannel(n - 1)->GetInfo(Info);
  ++FLoading;
  SetTag(LbChannelID, n);
  LbChannelID->setText(QString::number(n));
  EdChannelName->setText(Q(Info.ChannelName));
  EdChannelTag->setText(Q(Info.ChannelTag));
  EdChannelFCSName->setText(Q(Info.FCSName));
  EdChannelFCSLabel->setText(Q(Info.FCSLabel));
  CbChannelExactFCSName->setChecked(Info.ExactFCSName);
  CbChannelExactFCSLabel->setChecked(Info.ExactFCSLabel);
  CmBxChannelScale->setCurrentIndex(std::clamp(Info.Scale, 0, 1));
  const bool Log = Info.Scale == 0;
  ShowDisplayValue(EdDisplayMinimum, BtnChannelDisplayMinimum, Log, Info.DisplayMinimum, "#0.0", "#0.000");
  ShowDisplayValue(EdDisplayMaximum, BtnChannelDisplayMaximum, Log, Info.DisplayMaximum, "#0.0", "#0.000");
  SetShapeColour(ShChannelColor, static_cast<uint32_t>(Info.Color));
  EdMinGate->setText(Q(FormatFloat("######0.0", Info.Minimum_Value_Threshold)));
  EdMaxGate->setText(Q(FormatFloat("######0.0", Info.Maximum_Value_Threshold)));
  EdMinZGate->setText(Q(FormatFloat("######0.0", Info.Minimum_Value_ZScore)));
  EdMaxZGate->setText(Q(FormatFloat("######0.0", Info.MaximumValue_ZScore)));
  EdMinZ->setText(Q(FormatFloat("##0.000", Info.Minimum_Z)));
  EdMaxZ->setText(Q(FormatFloat("##0.000", Info.Maximum_Z)));
  ShowTable(Comp, SgCompensations1);
  ShowTable(Base, SgCompensations2);
  ShowTable(Peaks, SgGaussian);
  MeChannelNotes->setPlainText(Q(Info.Notes));
  CbForceMean->setChecked(Info.ForceMean);
  EdGenotype->setText(Q(Info.Genotype));
  EdBaseline->setText(Q(FormatFloat("#0.0000", Info.Baseline)));
  StringTable List;
  Protocol()->FillChannelGrid(List);
  ShowTable(List, SgChannels);
  --FLoading;
  FChannelDirty = false;
  SetCurrentRow(SgChannels, n);
}

void TProtocolPage::BtnChannelClick(int Tag) {
  if (!Protocol()) {
    ClearProtocolEditors();
    return;
  }
  const int Shown = ChannelShown();
  const int a = SgChannels->currentRow();
  switch (Tag) {
    case 3:
      if (a >= 1 && a <= Protocol()->ChannelCount()) {
        try {
          if (Shown > 0 && FChannelDirty) StoreChannel();
        } catch (...) {
          SetCurrentRow(SgChannels, Shown);  // the row stays with the channel still shown
          throw;
        }
        ShowChannel(a);
      }
      break;
    case 2:
      if (Shown > 0) StoreChannel();
      ShowChannel(Shown);
      FMain.FillChannelCombos(*Protocol());
      FillSourceCombos();
      break;
    case 7: {
      if (Shown < 1) break;
      StoreChannel();
      TDetector* Detector = nullptr;
      TFCSData* Data = FMain.CurrentData.get();
      if (Data) Detector = RbCompGaussian->isChecked() ? Data->GetPeakDetector(Shown - 1) : Data->GetChannelDetector(Shown - 1);
      if (!Detector || Detector->LastFitted < 0) {
        AppDialogs().Error("No Gaussian curves are available");
        ShowChannel(Shown);
        break;
      }
      TGaussianFit Fit;
      Detector->GetFitResult(Detector->LastFitted, Fit);
      Protocol()->GetChannel(Shown - 1)->AddPeak(!RbCompGaussian->isChecked(), -1, static_cast<float>(Fit.Mean),
                                                  static_cast<float>(Fit.Deviation), static_cast<float>(Fit.Scale), 0,
                                                  0, 0, 2.0f, -2.0f);
      ShowChannel(Shown);
      break;
    }
    case 8: {
      const int Peak = SgGaussian->currentRow();
      if (Shown < 1 || SgGaussian->rowCount() <= 2 || Peak < 1) break;
      if (!AppDialogs().YesNo("Delete this Gaussian curve?")) break;
      if (FChannelDirty) StoreChannel();
      Protocol()->GetChannel(Shown - 1)->DeletePeak(Peak - 1);
      ShowChannel(Shown);
      break;
    }
    default: break;
  }
  FMain.ShowMemoryStatus();
}

// ---------------------------------------------------------------------------------------------
// Gate editor

void TProtocolPage::ReadGateEditor(TGateInfo& Info) {
  const float DisplayMinimum = ReadLog(EdGateDisplayMinimum, BtnGateDisplayMinimum, "Gate Display Minimum");
  const float DisplayMaximum = ReadLog(EdGateDisplayMaximum, BtnGateDisplayMaximum, "Gate Display Maximum");
  const float MinimumValue = ReadFloat(EdGateMinGate, "Gate Minimum Value");
  const float MaximumValue = ReadFloat(EdGateMaxGate, "Gate Maximum Value");
  const float MinZ = ReadFloat(EdGateMinZ, "Gate Minimum Z");
  const float MaxZ = ReadFloat(EdGateMaxZ, "Gate Maximum Z");
  const int32_t ZOrder = ReadInteger(EdGateZOrder, "Z Order");
  const float ClipHigh = ReadFloat(EdGateClipHigh, "Clip High");
  const float ClipLow = ReadFloat(EdGateClipLow, "Clip Low");
  const float Mean = ReadFloat(EdGateMean, "Gate Mean");
  const float Deviation = ReadFloat(EdGateDeviation, "Gate Deviation");
  Info.Active = CbActiveGate->isChecked();
  Info.Name = S(EdGateName->text());
  Info.FCSName = S(EdGateFCSName->text());
  Info.FCSLabel = S(EdGateFCSLabel->text());
  Info.ExactFCSName = CbGateExactFCSName->isChecked();
  Info.ExactFCSLabel = CbGateExactFCSLabel->isChecked();
  Info.Scale = std::max(0, CmBxGateScale->currentIndex());
  Info.DisplayMinimum = DisplayMinimum;
  Info.DisplayMaximum = DisplayMaximum;
  Info.Color = static_cast<int32_t>(ShGateColor->property("Colour").toUInt());
  Info.MinimumValue = MinimumValue;
  Info.MaximumValue = MaximumValue;
  Info.Minimum_Z = MinZ;
  Info.Maximum_Z = MaxZ;
  Info.IsDynamic = CbDynamicGate->isChecked();
  Info.ZOrder = ZOrder;
  Info.ClipHigh = ClipHigh;
  Info.ClipLow = ClipLow;
  Info.Mean = Mean;
  Info.Deviation = Deviation;
  Info.Cull = CbCullGate->isChecked();
}

void TProtocolPage::StoreGate() {
  const int n = GateShown();
  if (!Protocol() || n < 1 || n > Protocol()->GateCount()) return;
  TGateInfo Info;
  ReadGateEditor(Info);
  Protocol()->GetGate(n - 1)->SetInfo(Info);
  FGateDirty = false;
}

void TProtocolPage::ShowGate(int n) {
  if (!Protocol() || n < 1 || n > Protocol()->GateCount()) return;
  TGateInfo Info;
  Protocol()->GetGate(n - 1)->GetInfo(Info);
  ++FLoading;
  SetTag(LbGateID, n);
  LbGateID->setText(QString::number(n));
  CbActiveGate->setChecked(Info.Active);
  EdGateName->setText(Q(Info.Name));
  EdGateFCSName->setText(Q(Info.FCSName));
  EdGateFCSLabel->setText(Q(Info.FCSLabel));
  CbGateExactFCSName->setChecked(Info.ExactFCSName);
  CbGateExactFCSLabel->setChecked(Info.ExactFCSLabel);
  CmBxGateScale->setCurrentIndex(std::clamp(Info.Scale, 0, 1));
  const bool Log = Info.Scale == 0;
  ShowDisplayValue(EdGateDisplayMinimum, BtnGateDisplayMinimum, Log, Info.DisplayMinimum, "##0.0", "#0.000");
  ShowDisplayValue(EdGateDisplayMaximum, BtnGateDisplayMaximum, Log, Info.DisplayMaximum, "##0.0",
                   Log ? "#0.000" : "#0.0");
  SetShapeColour(ShGateColor, static_cast<uint32_t>(Info.Color));
  EdGateMinGate->setText(Q(FormatFloat("##0.00", Info.MinimumValue)));
  EdGateMaxGate->setText(Q(FormatFloat("##0.00", Info.MaximumValue)));
  EdGateMinZ->setText(Q(FormatFloat("##0.00", Info.Minimum_Z)));
  EdGateMaxZ->setText(Q(FormatFloat("##0.00", Info.Maximum_Z)));
  CbDynamicGate->setChecked(Info.IsDynamic);
  EdGateZOrder->setText(QString::number(Info.ZOrder));
  EdGateClipHigh->setText(Q(FormatFloat("##0.00", Info.ClipHigh)));
  EdGateClipLow->setText(Q(FormatFloat("##0.00", Info.ClipLow)));
  EdGateMean->setText(Q(FormatFloat("##0.00", Info.Mean)));
  EdGateDeviation->setText(Q(FormatFloat("##0.00", Info.Deviation)));
  CbCullGate->setChecked(Info.Cull);
  StringTable List;
  Protocol()->FillGateGrid(List);
  ShowTable(List, SgGlobalGates);
  --FLoading;
  FGateDirty = false;
  SetCurrentRow(SgGlobalGates, n);
}

void TProtocolPage::BtnGateClick(int Tag) {
  if (!Protocol()) {
    ClearProtocolEditors();
    return;
  }
  const int Shown = GateShown();
  const int Top = SgGlobalGates->currentRow();
  if (Tag == 1 && Top >= 1 && Top <= Protocol()->GateCount()) {
    try {
      if (Shown > 0 && FGateDirty) StoreGate();
    } catch (...) {
      SetCurrentRow(SgGlobalGates, Shown);
      throw;
    }
    ShowGate(Top);
  } else if (Tag == 2 && Shown > 0) {
    StoreGate();
    ShowGate(Shown);
  }
}

// ---------------------------------------------------------------------------------------------
// Filter editor

void TProtocolPage::BtnFilterClick(int Tag) {
  TChannelFilterInfo Info;
  Info.Index = SgValidation->currentRow();
  Info.Name = S(EdFilterName->text());
  Info.SourceChannel = CmBxSourceChannel->currentIndex();
  Info.SpilloverChannel = CmBxSpilloverChannel->currentIndex();
  Info.MaxSpillover = NumberOrZero(EdMaxSpillover->text());
  Info.MeanSpillover = NumberOrZero(EdMeanSpillover->text());
  Info.MinSpillover = NumberOrZero(EdMinSpillover->text());
  if (TProtocol* P = Protocol()) {
    auto Refill = [&] {
      StringTable T;
      P->Filters->FillGrid(T);
      ShowTable(T, SgValidation);
      SetCurrentRow(SgValidation, std::min(Info.Index, P->Filters->Count() - 1));
    };
    // A filter on a channel the protocol lacks would never match an event.
    auto CheckChannels = [&] {
      for (auto [Channel, Field] : {std::pair{Info.SourceChannel, "Source Channel"},
                                    std::pair{Info.SpilloverChannel, "Spillover Channel"}})
        if (Channel < 0 || Channel >= P->ChannelCount())
          throw EConvertError(std::string(Field) + ": select a channel of the protocol for the filter");
    };
    switch (Tag) {
      case 1:
        if (Info.Index < 0 || Info.Index >= P->Filters->Count()) return;
        P->Filters->GetFilter(Info);
        break;
      case 2:
        if (Info.Index < 0 || Info.Index >= P->Filters->Count()) return;
        CheckChannels();
        P->Filters->SetFilter(Info);
        Refill();
        break;
      case 3:
        CheckChannels();
        P->Filters->Add(Info);
        Info.Index = P->Filters->Count() - 1;
        Refill();
        break;
      case 4:
        P->Filters->Delete(Info.Index);
        Refill();
        // The editor shows the filter now selected, not the one deleted.
        Info.Index = SgValidation->currentRow();
        if (Info.Index >= 0) P->Filters->GetFilter(Info);
        break;
      case 6: {
        const int o = ChannelShown() - 1;
        const int s = SgCompensations1->currentColumn() - 1;
        if (o < 0 || o >= P->ChannelCount() || s < 0 || s >= P->ChannelCount()) return;
        if (FChannelDirty) StoreChannel();
        Info.Index = -1;
        Info.SourceChannel = s;
        Info.SpilloverChannel = o;
        Info.Name = P->GetChannel(s)->ChannelName + "-->" + P->GetChannel(o)->ChannelName;
        TCompensationPair Pair;
        P->GetChannel(o)->GetCompPair(s, true, Pair);
        const Extended m = Pair.Mean;
        Extended d = Pair.Deviation;
        if (d == 0) d = m / 10;
        const Extended c = 1.96L * d;
        Info.MaxSpillover = static_cast<float>((m + c) / 100);
        Info.MeanSpillover = static_cast<float>(m / 100);
        Info.MinSpillover = static_cast<float>((m - c) / 100);
        P->Filters->Add(Info);
        Info.Index = P->Filters->Count() - 1;
        Refill();
        break;
      }
      default: break;
    }
  }
  EdFilterName->setText(Q(Info.Name));
  if (Info.SourceChannel >= 0) CmBxSourceChannel->setCurrentIndex(Info.SourceChannel);
  if (Info.SpilloverChannel >= 0) CmBxSpilloverChannel->setCurrentIndex(Info.SpilloverChannel);
  EdMaxSpillover->setText(Q(FormatFloat("0.0000", Info.MaxSpillover)));
  EdMeanSpillover->setText(Q(FormatFloat("0.0000", Info.MeanSpillover)));
  EdMinSpillover->setText(Q(FormatFloat("0.0000", Info.MinSpillover)));
}

// ---------------------------------------------------------------------------------------------
// Bulk reassignment, calculators, toggles, colours

void TProtocolPage::BtnAssignDefaultValuesClick(int Tag) {
  TProtocol* P = Protocol();
  if (!P) return;
  if (Tag == 1) {
    if (!FMain.CurrentData) return;
    if (!AppDialogs().YesNo("Assign all default values from current data file?")) return;
    ApplyProtocolChange([this, P] { FMain.CurrentData->StoreFitsInProtocol(P); });
    return;
  }
  struct TRow {
    const char* Question;
    QLineEdit* Field;
    bool (TProtocol::*Set)(float);
  };
  const TRow Rows[] = {
      {"Assign Minimum Z values for all channels to ", EdReassignMinimumZ, &TProtocol::SetChannelsMinimumZ},
      {"Assign Maximum Z values for all channels to ", EdReassignMaximumZ, &TProtocol::SetChannelsMaximumZ},
      {"Assign Minimum Z Gates for all channels to ", EdReassignMinimumZGate, &TProtocol::SetChannelsMinimumValueZScore},
      {"Assign Maximum Z Gates for all channels to ", EdReassignMaximumZGate, &TProtocol::SetChannelsMaximumValueZScore},
      {"Assign Minimum Gates for all channels to ", EdReassignMinimumGate, &TProtocol::SetChannelsMinimumValueThreshold},
      {"Assign Maximum Gates for all channels to ", EdReassignMaximumGate, &TProtocol::SetChannelsMaximumValueThreshold},
  };
  if (Tag < 2 || Tag > 7) return;
  const TRow& Row = Rows[Tag - 2];
  const float Value = ReadFloat(Row.Field, Q(Row.Question).trimmed());
  if (!AppDialogs().YesNo(Row.Question + S(Row.Field->text()) + "?")) return;
  ApplyProtocolChange([P, &Row, Value] { (P->*Row.Set)(Value); });
}

void TProtocolPage::BtnCalculateChannelMeanClick(int Tag) {
  auto Log10Of = [](QLineEdit* E, QString& Text) {
    Extended V = 0;
    if (!TryStrToFloat(S(E->text().trimmed()), V) || !(V > 0) || !std::isfinite(static_cast<double>(V))) return false;
    Text = Q(FormatFloat("###0.0000", std::log10(V)));
    return true;
  };
  QString Text;
  if (Tag == 1) {
    if (Log10Of(EdCalculateGateMean, Text)) EdGateMean->setText(Text);
  } else if (Tag == 2) {
    const int Row = SgGaussian->currentRow();
    if (Row >= 1 && SgGaussian->columnCount() > 1 && Log10Of(EdCalculateChannelMean, Text)) {
      auto* Item = SgGaussian->item(Row, 1);
      if (!Item) SgGaussian->setItem(Row, 1, Item = new QTableWidgetItem);
      Item->setText(Text);
    }
  }
  FMain.ShowMemoryStatus();
}

void TProtocolPage::BtnCustomMeanClick(int Tag) {
  QToolButton* Toggle = nullptr;
  QLineEdit* E = nullptr;
  QString Field;
  switch (Tag) {
    case 1:
      Toggle = FMain.findChild<QToolButton*>("BtnCustomMean");
      E = FMain.findChild<QLineEdit*>("EdCustomDetectorMean");
      Field = "df Mean";
      break;
    case 2: Toggle = BtnGateDisplayMinimum, E = EdGateDisplayMinimum, Field = "Gate Display Minimum"; break;
    case 3: Toggle = BtnGateDisplayMaximum, E = EdGateDisplayMaximum, Field = "Gate Display Maximum"; break;
    case 4: Toggle = BtnChannelDisplayMinimum, E = EdDisplayMinimum, Field = "Display Minimum"; break;
    case 5: Toggle = BtnChannelDisplayMaximum, E = EdDisplayMaximum, Field = "Display Maximum"; break;
    default: break;
  }
  if (!Toggle || !E) return;
  // A text that does not convert keeps its meaning, so the toggle springs back to agree.
  auto SpringBack = [Toggle] {
    const QSignalBlocker Block(Toggle);
    Toggle->setChecked(!Toggle->isChecked());
  };
  try {
    if (!ToggleLogNative(Toggle->isChecked(), E, Field)) SpringBack();
  } catch (...) {
    SpringBack();
    throw;
  }
}

void TProtocolPage::BtnSetColorClick(int Tag) {
  QFrame* Target = Tag == 1 ? ShGateColor : ShChannelColor;
  uint32_t Colour = Target->property("Colour").toUInt();
  if (!AppDialogs().Colour(Colour)) return;
  SetShapeColour(Target, Colour);
  (Tag == 1 ? FGateDirty : FChannelDirty) = true;
}

// ---------------------------------------------------------------------------------------------
// Genotype editor

void TProtocolPage::ShowGenotype(int n) {
  TProtocol* P = Protocol();
  if (!P || n < 1 || n > P->GenotypeCount()) return;
  TGenotypeEditor Editor;
  P->GetGenotype(n - 1)->ShowInEditor(Editor, *P);
  ++FLoading;
  EdGenotypeName->setText(Q(Editor.Name));
  MeGenotypeNotes->setPlainText(Q(Editor.Notes));
  EdLikelihoodThreshold->setText(Q(Editor.Threshold));
  ShowTable(Editor.Components, SgFluorPeaks);
  SetTag(LbGenotypeID, n);
  LbGenotypeID->setText(QString::number(n));
  StringTable T;
  P->FillGenotypeGrid(T);
  ShowTable(T, SgGenotypes);
  --FLoading;
  FGenotypeDirty = false;
  SetCurrentRow(SgGenotypes, n);
}

void TProtocolPage::StoreGenotype(int n) {
  TProtocol* P = Protocol();
  if (!P || n < 1 || n > P->GenotypeCount()) return;
  TGenotypeEditor Editor;
  Editor.Name = S(EdGenotypeName->text());
  Editor.Notes = S(MeGenotypeNotes->toPlainText());
  ReadNumber(EdLikelihoodThreshold, "Likelihood Threshold");
  Editor.Threshold = S(EdLikelihoodThreshold->text());
  Editor.Components = ReadTable(SgFluorPeaks);
  // Checked as the import checks its lines: a component on a channel the protocol lacks would
  // only fail at classification.
  for (int Row = 1; Row < Editor.Components.RowCount(); ++Row) {
    int32_t Channel = 0;
    if (!TryStrToInt(Editor.Components.Cell(1, Row), Channel) || (Channel >= 0 && Channel < P->ChannelCount()))
      continue;
    SgFluorPeaks->setCurrentCell(Row, 1);
    throw EConvertError("Fluorophore Peaks, row " + std::to_string(Row) + ": channel " + std::to_string(Channel) +
                        " is not a channel of the protocol (0 to " + std::to_string(P->ChannelCount() - 1) + ")");
  }
  P->GetGenotype(n - 1)->ReadFromEditor(Editor, *P);
  FGenotypeDirty = false;
}

void TProtocolPage::ImportGenotypes() {
  TProtocol* P = Protocol();
  TFileDialogOptions Spec;
  Spec.Caption = "Locate CSV file; Genotype, Channel(s)";
  Spec.Filter = "Text files|*.txt";
  const std::string File = AppDialogs().OpenFile(Spec);
  if (File.empty()) return;
  // The whole file is checked before anything is added.
  const std::vector<TGenotypeLine> Lines = ReadGenotypeFile(File, P->ChannelCount());
  if (FGenotypeDirty) StoreGenotype(GenotypeShown());
  AddGenotypes(*P, Lines);
  StringTable T;
  P->FillGenotypeGrid(T);
  const int Row = std::max(1, SgGenotypes->currentRow());
  ShowTable(T, SgGenotypes);
  ShowGenotype(std::min(Row, P->GenotypeCount()));
}

void TProtocolPage::BtnGenotypeClick(int Tag) {
  TProtocol* P = Protocol();
  if (!P) {
    ClearProtocolEditors();
    return;
  }
  const int a = SgGenotypes->currentRow();
  const int Shown = GenotypeShown();
  auto RefillList = [&] {
    StringTable T;
    P->FillGenotypeGrid(T);
    ShowTable(T, SgGenotypes);
  };
  switch (Tag) {
    case 1: StoreGenotype(Shown > 0 ? Shown : a); break;
    case 2: {
      if (P->ChannelCount() == 0) {
        AppDialogs().Error("The protocol has no channels for a genotype");
        break;
      }
      std::string Name;
      if (!AppDialogs().Input("Genotype Name", "Name", Name)) break;
      if (Trim(Name).empty()) {
        AppDialogs().Error("A genotype needs a name");
        break;
      }
      if (FGenotypeDirty) StoreGenotype(Shown);
      const int Index = P->AddGenotype(Name, 0, 0);
      RefillList();
      ShowGenotype(Index + 1);
      break;
    }
    case 3:
      if (P->GenotypeCount() == 0) {
        ClearGenotypeEditor();
        RefillList();
        break;
      }
      try {
        if (FGenotypeDirty) StoreGenotype(Shown);
      } catch (...) {
        SetCurrentRow(SgGenotypes, Shown);
        throw;
      }
      ShowGenotype(std::clamp(a, 1, P->GenotypeCount()));
      break;
    case 4:
    case 5:
      if (Shown < 1) break;
      if (FGenotypeDirty) StoreGenotype(Shown);
      if (Tag == 4)
        P->GetGenotype(Shown - 1)->AddComponent(0);
      else
        P->GetGenotype(Shown - 1)->DeleteComponent(SgFluorPeaks->currentRow() - 1);
      ShowGenotype(Shown);
      break;
    case 6:
      if (Shown < 1) break;
      P->DeleteGenotype(Shown - 1);
      FGenotypeDirty = false;
      RefillList();
      if (P->GenotypeCount() == 0)
        ClearGenotypeEditor();
      else
        ShowGenotype(std::min(Shown, P->GenotypeCount()));
      RefillList();
      SetCurrentRow(SgGenotypes, GenotypeShown());
      break;
    case 7:
      ApplyProtocolChange([P] { P->FixGenotypePeaks(); });
      break;
    case 9: ImportGenotypes(); break;
    case 21:
    case 22: {
      if (Shown < 1) break;
      if (FGenotypeDirty) StoreGenotype(Shown);
      const int Count = P->GenotypeCount();
      P->MoveGenotype(Shown - 1, Tag == 21);
      // The genotype moves with the row: wrapping at both ends.
      int Next = Tag == 21 ? Shown - 1 : Shown + 1;
      if (Next < 1) Next = Count;
      if (Next > Count) Next = 1;
      RefillList();
      ShowGenotype(Next);
      break;
    }
    default: break;
  }
}

}  // namespace qv
