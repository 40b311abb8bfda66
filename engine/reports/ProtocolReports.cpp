// A protocol as text and as the contents of the protocol page's grids and combo boxes.
#include <algorithm>

#include "Files.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"
#include "TextUtils.h"

namespace qv {

namespace {

constexpr const char* CRLF = "\r\n";

void AppendSection(std::vector<std::string>& Lines, const char* Title) {
  Lines.emplace_back();
  Lines.emplace_back(Title);
  Lines.emplace_back(51, '-');
  Lines.emplace_back();
}

// Heading in (0, 0) and one name per row below it; a fixed row only when there are names.
void FillNameColumn(StringTable& Grid, const char* Heading, const TStringArray& Names) {
  const int32_t N = static_cast<int32_t>(Names.size());
  Grid.SetRowCount(N + 1);
  Grid.SetColCount(1);
  Grid.SetCell(0, 0, Heading);
  for (int32_t i = 0; i < N; ++i) Grid.SetCell(0, i + 1, Names[i]);
  Grid.FixedRows = N > 0 ? 1 : 0;
}

}  // namespace

void TProtocol::InformationReport(std::string& Text) const {
  std::vector<std::string> Lines{"** Protocol Information **", std::string(51, '-'), ""};
  Lines.push_back("File\t" + ExtractFileName(FileName));
  Lines.push_back("Channels\t" + IntToStr(ChannelCount()));
  Lines.push_back("Genotypes\t" + IntToStr(GenotypeCount()));
  Lines.push_back(std::string("ScoreSingles\t") + BoolText[ScoreSingles]);
  Lines.push_back(std::string("ScoreDoubles\t") + BoolText[ScoreDoubles]);
  if (GateCount() > 0) {
    AppendSection(Lines, "** Global Gates **");
    std::vector<std::string> Table;
    Gates.back()->AddToReport(Table, true);
    for (const auto& Gate : Gates) Gate->AddToReport(Table, false);
    Lines.insert(Lines.end(), Table.begin(), Table.end());
  }
  if (ChannelCount() > 0) {
    AppendSection(Lines, "** Channels **");
    // Every channel writes as many pair rows as the longest, so none runs past the labels.
    int32_t PairRows = 0;
    for (const auto& Channel : Channels) PairRows = std::max(PairRows, Channel->ReportPairCount());
    std::vector<std::string> Table;
    Channels.front()->AddToReport(Table, true, PairRows);
    for (const auto& Channel : Channels) Channel->AddToReport(Table, false, PairRows);
    Lines.insert(Lines.end(), Table.begin(), Table.end());
  }
  if (GenotypeCount() > 0) {
    AppendSection(Lines, "** Genotypes **");
    Lines.push_back(TGenotype::ComponentReportHeader());
    for (const auto& Genotype : Genotypes->Items) Lines.push_back(Genotype->ComponentReport(*this));
  }
  Lines.emplace_back();
  Lines.push_back(Notes);
  Text = JoinLines(Lines, CRLF);
}

void TProtocol::ChannelSettingsRow(bool Header, bool Extended, std::string& Text) const {
  Text.clear();
  for (int32_t c = ChannelCount() - 1; c >= 0; --c) Text += Channels[c]->CSVSummaryLine(Header, Extended);
}

void TProtocol::ClassListText(const TStringArray& List, char Separator, std::string& Text) const {
  TStringArray Lines = List;
  BuildClassNames(Lines);
  Lines.insert(Lines.begin(), "Class");
  Text.clear();
  for (const std::string& Line : Lines)
    Text += (Separator == ',' ? "\"" + Line + "\"," : Line + Separator) + CRLF;
}

void TProtocol::ChannelHeader(char Separator, std::string& Text) const {
  Text = std::string("Channel") + Separator;
  for (const auto& Channel : Channels) Text += CRLF + Channel->ChannelName + Separator;
}

void TProtocol::FillChannelGrid(StringTable& Grid) const {
  TStringArray Names;
  for (const auto& Channel : Channels) Names.push_back(Channel->ChannelName);
  FillNameColumn(Grid, "Channel", Names);
}

void TProtocol::FillGateGrid(StringTable& Grid) const {
  TStringArray Names;
  for (const auto& Gate : Gates) Names.push_back(Gate->Name);
  FillNameColumn(Grid, "Gate", Names);
}

void TProtocol::FillGenotypeCombo(TComboItems& Combo) const {
  Combo.Items.clear();
  for (const auto& Genotype : Genotypes->Items) Combo.Items.push_back(Genotype->Name);
  Combo.ItemIndex = -1;
  Combo.Text.clear();
}

void TProtocol::FillGenotypeGrid(StringTable& Grid) const { Grid = Genotypes->FillGrid(); }

void TProtocol::FillCompensationGrid(StringTable& Grid) const {
  const int32_t N = ChannelCount();
  Grid.SetRowCount(N + 1);
  Grid.SetColCount(N + 1);
  bool Square = CompensationMatrix.size() == static_cast<size_t>(N);
  for (const TSglArray& Row : CompensationMatrix) Square = Square && Row.size() == static_cast<size_t>(N);
  const TFixedFormat Percent("##0.0000");
  for (int32_t i = 0; i < N; ++i) {
    Grid.SetCell(0, i + 1, Channels[i]->ChannelName);
    for (int32_t j = 0; j < N; ++j) Grid.SetCell(j + 1, i + 1, Square ? Percent(CompensationMatrix[i][j]) : "");
  }
}

void TProtocol::FillChannelCombo(TComboItems& Combo) const {
  Combo.Items.clear();
  for (const auto& Channel : Channels) Combo.Items.push_back(Channel->ChannelName);
  Combo.ItemIndex = -1;
  Combo.Text = "<select channel>";
}

}  // namespace qv
