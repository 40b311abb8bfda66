#pragma once
// Data sets for the export and variability window tests: one channel "G" (FL1-H) with the value
// window 10 .. 10000, files of given values merged as files 0, 1, ...
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "DataSetFixtures.h"
#include "report/TextOutput.h"
#include "dataset/FCSData.h"

namespace qv::test {

inline std::unique_ptr<TProtocol> OneChannelProtocol() {
  auto P = MakeProtocol({}, {ChannelDef("G", "FL1-H")});
  P->GetChannel(0)->Minimum_Value_ZScore = 10;
  P->GetChannel(0)->MaximumValue_ZScore = 10000;
  return P;
}

// The set of one file read alone ("Read Single FCS File").
inline std::unique_ptr<TFCSData> SingleFileSet(const TempFolder& Folder, TProtocol& P,
                                               const std::vector<double>& Values, const std::string& Name = "a.fcs") {
  std::vector<std::vector<double>> Events;
  for (double V : Values) Events.push_back({V});
  auto File = WriteAndRead(Folder, Name, {"FL1-H"}, Events);
  return TFCSData::Create(*File, 0, false, nullptr, &P);
}

// Files[i] becomes file i of a merged, compensated and classified set.
inline std::unique_ptr<TFCSData> MergedSet(const TempFolder& Folder, TProtocol& P,
                                           const std::vector<std::vector<double>>& Files) {
  std::unique_ptr<TFCSData> Merged;
  for (size_t i = 0; i < Files.size(); ++i) {
    auto One = SingleFileSet(Folder, P, Files[i], "f" + std::to_string(i) + ".fcs");
    if (!Merged)
      Merged = TFCSData::CreateMerged(*One, {});
    else
      Merged->Merge(*One, static_cast<int32_t>(i), {});
  }
  Merged->Compensate(P, nullptr, 0);
  Merged->SetDetectors(P, nullptr, true);
  Merged->Classify(P);
  return Merged;
}

// The report windows open now.
inline std::vector<TFmTextOutput*> ReportWindows() {
  std::vector<TFmTextOutput*> Result;
  for (QWidget* W : QApplication::topLevelWidgets())
    if (auto* R = qobject_cast<TFmTextOutput*>(W)) Result.push_back(R);
  return Result;
}

inline void CloseReportWindows() {
  for (TFmTextOutput* W : ReportWindows()) delete W;
}

}  // namespace qv::test
