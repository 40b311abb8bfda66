#include "pages/ProtocolPage.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <cmath>
#include <limits>

#include "common/Colours.h"
#include "common/CommandBinding.h"
#include "common/DataGridModels.h"
#include "common/Dialogs.h"
#include "Errors.h"
#include "common/ExportTargets.h"
#include "Files.h"
#include "Globals.h"
#include "common/Hints.h"
#include "common/PageContext.h"
#include "common/NumberEdit.h"
#include "NumberFormat.h"
#include "common/Pictures.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }
std::string S(const QString& Text) { return Text.toStdString(); }

int Tag(const QWidget* W) { return W->property("Tag").toInt(); }
void SetTag(QWidget* W, int Value) { W->setProperty("Tag", Value); }

QLineEdit* Edit(QWidget* Parent, const char* Name, const QString& Text = QString(), const QString& Hint = QString()) {
  auto* E = new QLineEdit(Text, Parent);
  E->setObjectName(Name);
  if (!Hint.isEmpty()) {
    E->setToolTip(Hint);
    E->setStatusTip(Hint);
  }
  return E;
}

QCheckBox* Check(QWidget* Parent, const char* Name, const QString& Caption) {
  auto* B = new QCheckBox(Caption, Parent);
  B->setObjectName(Name);
  return B;
}

QTableWidget* Grid(QWidget* Parent, const char* Name, int Cols, int Rows) {
  auto* G = new QTableWidget(Rows, Cols, Parent);
  G->setObjectName(Name);
  G->horizontalHeader()->hide();
  G->verticalHeader()->hide();
  G->verticalHeader()->setDefaultSectionSize(20);
  G->horizontalHeader()->setDefaultSectionSize(64);
  G->setSelectionMode(QAbstractItemView::SingleSelection);
  return G;
}

QLabel* Label(QWidget* Parent, const QString& Caption) { return new QLabel(Caption, Parent); }

QFrame* Shape(QWidget* Parent, const char* Name) {
  auto* F = new QFrame(Parent);
  F->setObjectName(Name);
  F->setFrameShape(QFrame::Box);
  F->setFixedSize(40, 20);
  F->setAutoFillBackground(true);
  return F;
}

QToolButton* Toggle(QWidget* Parent, const char* Name, const char* Glyph, const QString& Hint) {
  auto* B = new QToolButton(Parent);
  B->setObjectName(Name);
  B->setCheckable(true);
  B->setIcon(ButtonGlyph(Glyph));
  B->setToolTip(Hint);
  B->setStatusTip(Hint);
  return B;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Free helpers

void SetShapeColour(QFrame* Shape, uint32_t Colour) {
  Shape->setProperty("Colour", Colour);
  QPalette P = Shape->palette();
  P.setColor(QPalette::Window, FromPlatformColour(Colour));
  Shape->setPalette(P);
}

void ShowToggleColour(bool Down, QLineEdit* E) {
  QPalette P = E->palette();
  P.setColor(QPalette::Base, Down ? FromPlatformColour(0xF0CAA6) : E->style()->standardPalette().color(QPalette::Base));
  E->setPalette(P);
}

bool ToggleLogNative(bool Down, QLineEdit* E, const QString& Field) {
  const QString Text = E->text().trimmed();
  QString Shown = Text;
  if (!Text.isEmpty()) {
    Extended V = 0;
    if (!TryStrToFloat(S(Text), V) || !std::isfinite(static_cast<double>(V))) return false;
    if (Down) {
      const Extended Native = std::pow(10.0L, V);
      // Every field reads its text as a double: a larger value would be written here and then
      // refused by every command that reads the field.
      if (!(std::fabs(Native) <= std::numeric_limits<double>::max())) {
        E->setFocus();
        E->selectAll();
        throw EConvertError(("\"" + Text + "\" is too large a log10 value for " + Field).toStdString());
      }
      Shown = Q(FormatFloat("####0.0", Native));
    } else {
      if (V <= 0) return false;
      Shown = Q(FormatFloat("#0.0000", std::log10(V)));
    }
  }
  ShowToggleColour(Down, E);
  E->setText(Shown);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Construction

TProtocolPage::TProtocolPage(TPageContext& Main) : QObject(Main.Window()), FMain(Main) {
  setObjectName("ProtocolPage");
  BuildBar();
  BuildChannelPages();
  BuildGatePage();
  BuildFilterPage();
  BuildGenotypePage();
  BuildNotesPage();
  BindMenu();
  for (const char* Name :
       {"BtnLockGaussians", "BtnUnlockGaussians", "BtnAddGaussian", "BtnDeleteGaussian", "BtnAssignDefaultValues",
        "BtnReassignMinimumZ", "BtnReassignMaximumZ", "BtnReassignMinimumZGate", "BtnReassignMaximumZGate",
        "BtnReassignMinimumGate", "BtnReassignMaximumGate", "BtnCreateFilter", "BtnSetColor", "BtnSetGateColor",
        "BtnUpdateSpillover", "BtnAddValidation", "BtnDeleteValidation", "BtnAddGenotype", "BtnDeleteGenotype",
        "BtnImportGenotypes", "BtnGenotypeUp", "BtnGenotypeDown", "BtnAddPeak", "BtnDeletePeak", "BtnMapPeaks",
        "BtnUpdateGenotypePeaks"})
    FProtocolCommands.push_back(FMain.findChild<QPushButton*>(Name));
  FMain.Hooks.ApplyProtocolChange = [this](const std::function<void()>& Change) { ApplyProtocolChange(Change); };
  FMain.Hooks.BtnCustomMeanClick = [this](int Tag) { BtnCustomMeanClick(Tag); };
  FMain.Hooks.StoreProtocolEditors = [this] { StoreChangedEditors(); };
  FMain.Hooks.ShowChannelInEditor = [this](int Channel) {
    if (Channel >= SgChannels->rowCount()) return;
    SetCurrentRow(SgChannels, Channel);
    BtnChannelClick(3);
  };
  FMain.Hooks.ChannelListRow = [this] { return SgChannels->currentRow(); };
  FMain.Hooks.DataShownListeners.push_back([this](bool) { UpdateDataCommands(); });
  FMain.OnDataReplaced(this, [this] { UpdateDataCommands(); });
  FMain.OnProtocolReplaced(this, [this] {
    ResetCurrentItems();
    // Another protocol starts at its first items.
    for (QTableWidget* G : {SgChannels, SgGlobalGates, SgValidation, SgGenotypes}) SetCurrentRow(G, -1);
    for (QComboBox* C : {CmBxSourceChannel, CmBxSpilloverChannel}) {
      const QSignalBlocker Block(C);
      C->setCurrentIndex(-1);
    }
    Refresh();
  });
  ClearProtocolEditors();
  Refresh();
}

TProtocol* TProtocolPage::Protocol() const { return FMain.CurrentProtocol.get(); }

QPushButton* TProtocolPage::Button(QWidget* Parent, const char* Name, const QString& Caption,
                                   std::function<void()> Click, const QString& Hint) {
  auto* B = new QPushButton(Caption, Parent);
  B->setObjectName(Name);
  if (!Hint.isEmpty()) {
    B->setToolTip(Hint);
    B->setStatusTip(Hint);
  }
  BindCommand(B, std::move(Click));
  return B;
}

void TProtocolPage::Watch(QObject* Control, bool& Dirty) {
  bool* Flag = &Dirty;
  auto Mark = [this, Flag] {
    if (FLoading == 0) *Flag = true;
  };
  if (auto* E = qobject_cast<QLineEdit*>(Control)) connect(E, &QLineEdit::textChanged, this, Mark);
  else if (auto* B = qobject_cast<QCheckBox*>(Control)) connect(B, &QCheckBox::toggled, this, Mark);
  else if (auto* C = qobject_cast<QComboBox*>(Control)) connect(C, &QComboBox::currentIndexChanged, this, Mark);
  else if (auto* M = qobject_cast<QPlainTextEdit*>(Control)) connect(M, &QPlainTextEdit::textChanged, this, Mark);
  else if (auto* G = qobject_cast<QTableWidget*>(Control)) connect(G, &QTableWidget::itemChanged, this, Mark);
}

void TProtocolPage::BuildBar() {
  QWidget* Sheet = FMain.Page("TsProtocol");
  auto* Bar = new QWidget(Sheet);
  Bar->setObjectName("PnProtocolButtons");
  auto* Row = new QHBoxLayout(Bar);
  Row->setContentsMargins(2, 2, 2, 2);
  Row->addWidget(Label(Bar, "Load"));
  CmBxProtocols = new QComboBox(Bar);
  CmBxProtocols->setObjectName("CmBxProtocols");
  CmBxProtocols->setMinimumWidth(220);
  CmBxProtocols->setToolTip("Select a saved protocol to open");
  CmBxProtocols->setStatusTip("Select a saved protocol to open");
  // activated fires on the user's choice only, so refilling the list opens nothing.
  BindCommand(CmBxProtocols, &QComboBox::activated, [this] { BtnProtocolClick(5); });
  Row->addWidget(CmBxProtocols);
  BtnUpdateProtocol = Button(Bar, "BtnUpdateProtocol", "Update ", [this] { BtnProtocolClick(3); },
                             "Update current protocol using on-screen data");
  BtnSaveProtocol = Button(Bar, "BtnSaveProtocol", "Save", [this] { BtnProtocolClick(23); }, "Save current protocol");
  BtnExportProtocol = Button(Bar, "BtnExportProtocol", "Export", [this] { BtnProtocolClick(8); },
                             "Export Protocol for inspection");
  Row->addWidget(BtnUpdateProtocol);
  Row->addWidget(BtnSaveProtocol);
  Row->addWidget(BtnExportProtocol);
  ExportTargets = CreateExportTargets(Bar, "Protocol");
  Row->addWidget(ExportTargets.Text);
  Row->addWidget(ExportTargets.Excel);
  Row->addWidget(ExportTargets.Save);
  Row->addStretch(1);
  if (auto* L = qobject_cast<QBoxLayout*>(Sheet->layout())) L->insertWidget(0, Bar);
}

void TProtocolPage::BuildChannelPages() {
  // The channel list and its commands stand beside the four channel sheets.
  QWidget* Sheet = FMain.Page("TsChannel");
  QTabWidget* Pg = FMain.Pages("PgChannel");
  auto* Outer = qobject_cast<QBoxLayout*>(Sheet->layout());
  Outer->removeWidget(Pg);
  auto* Row = new QHBoxLayout;
  Outer->addLayout(Row, 1);
  auto* Side = new QWidget(Sheet);
  auto* SideL = new QVBoxLayout(Side);
  SideL->setContentsMargins(0, 0, 0, 0);
  LbChannelID = new QLabel(Side);
  LbChannelID->setObjectName("LbChannelID");
  SideL->addWidget(LbChannelID);
  SgChannels = Grid(Side, "SgChannels", 1, 1);
  SetTag(SgChannels, 3);
  SgChannels->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SgChannels->horizontalHeader()->setStretchLastSection(true);
  BindCommand(SgChannels, &QTableWidget::currentCellChanged, [this] { BtnChannelClick(3); });
  SideL->addWidget(SgChannels, 1);
  BtnUpdateChannel = Button(Side, "BtnUpdateChannel", "Update Channel", [this] { BtnChannelClick(2); },
                            "Update current Channel with on-screen data");
  BtnLockGaussians = Button(Side, "BtnLockGaussians", "Lock Gaussians", [this] { BtnProtocolClick(9); },
                            "Forces detectors to use Gaussian Peak 0");
  BtnUnlockGaussians = Button(Side, "BtnUnlockGaussians", "Unlock Gaussians", [this] { BtnProtocolClick(10); },
                              "Forces detectors to fit new Gaussians");
  for (QWidget* W : {static_cast<QWidget*>(BtnUpdateChannel), static_cast<QWidget*>(BtnLockGaussians),
                     static_cast<QWidget*>(BtnUnlockGaussians)})
    SideL->addWidget(W);
  Side->setFixedWidth(150);
  Row->addWidget(Side);
  Row->addWidget(Pg, 1);

  // Channel Data.
  QWidget* Data = FMain.Page("TsChannelData");
  auto* G = new QGridLayout(Data);
  EdChannelName = Edit(Data, "EdChannelName");
  EdChannelTag = Edit(Data, "EdChannelTag");
  EdChannelFCSName = Edit(Data, "EdChannelFCSName", "", "FCS long name ($PnS)");
  EdChannelFCSLabel = Edit(Data, "EdChannelFCSLabel", "", "FCS short name ($PnN)");
  CbChannelExactFCSName = Check(Data, "CbChannelExactFCSName", "Exact");
  CbChannelExactFCSLabel = Check(Data, "CbChannelExactFCSLabel", "Exact");
  CmBxChannelScale = new QComboBox(Data);
  CmBxChannelScale->setObjectName("CmBxChannelScale");
  CmBxChannelScale->addItems({"Log", "Linear"});
  EdDisplayMinimum = Edit(Data, "EdDisplayMinimum");
  EdDisplayMaximum = Edit(Data, "EdDisplayMaximum");
  BtnChannelDisplayMinimum = Toggle(Data, "BtnChannelDisplayMinimum", "BMCALCTOGGLE", "Toggle log / native value");
  BtnChannelDisplayMaximum = Toggle(Data, "BtnChannelDisplayMaximum", "BMCALCTOGGLE", "Toggle log / native value");
  BindCommand(BtnChannelDisplayMinimum, 4, [this](int Tag) { BtnCustomMeanClick(Tag); });
  BindCommand(BtnChannelDisplayMaximum, 5, [this](int Tag) { BtnCustomMeanClick(Tag); });
  ShChannelColor = Shape(Data, "ShChannelColor");
  BtnSetColor = Button(Data, "BtnSetColor", "Color...", [this] { BtnSetColorClick(2); });
  auto* Threshold = new QGroupBox(" Threshold Scoring ", Data);
  auto* TL = new QGridLayout(Threshold);
  EdMinGate = Edit(Threshold, "EdMinGate");
  EdMaxGate = Edit(Threshold, "EdMaxGate");
  TL->addWidget(Label(Threshold, "Minimum"), 0, 0);
  TL->addWidget(EdMinGate, 0, 1);
  TL->addWidget(Label(Threshold, "Maximum"), 1, 0);
  TL->addWidget(EdMaxGate, 1, 1);
  auto* ZScoring = new QGroupBox(" Z-Scoring ", Data);
  auto* ZL = new QGridLayout(ZScoring);
  EdMinZGate = Edit(ZScoring, "EdMinZGate");
  EdMaxZGate = Edit(ZScoring, "EdMaxZGate");
  EdMinZ = Edit(ZScoring, "EdMinZ");
  EdMaxZ = Edit(ZScoring, "EdMaxZ");
  ZL->addWidget(Label(ZScoring, "Minimum value"), 0, 0);
  ZL->addWidget(EdMinZGate, 0, 1);
  ZL->addWidget(Label(ZScoring, "Maximum value"), 1, 0);
  ZL->addWidget(EdMaxZGate, 1, 1);
  ZL->addWidget(Label(ZScoring, "Minimum Z"), 2, 0);
  ZL->addWidget(EdMinZ, 2, 1);
  ZL->addWidget(Label(ZScoring, "Maximum Z"), 3, 0);
  ZL->addWidget(EdMaxZ, 3, 1);
  for (QLineEdit* E : {EdMinGate, EdMaxGate, EdMinZGate, EdMaxZGate, EdDisplayMinimum, EdDisplayMaximum})
    InstallKeyFilter(E, TKeyFilter::UnsignedDecimal);
  for (QLineEdit* E : {EdMinZ, EdMaxZ}) InstallKeyFilter(E, TKeyFilter::SignedDecimal);
  InstallKeyFilter(EdChannelTag, TKeyFilter::ChannelTag);
  int r = 0;
  G->addWidget(Label(Data, "Name"), r, 0);
  G->addWidget(EdChannelName, r, 1);
  G->addWidget(Label(Data, "Tag"), r, 2);
  G->addWidget(EdChannelTag, r++, 3);
  G->addWidget(Label(Data, "FCS Name"), r, 0);
  G->addWidget(EdChannelFCSName, r, 1);
  G->addWidget(CbChannelExactFCSName, r++, 2);
  G->addWidget(Label(Data, "FCS Label"), r, 0);
  G->addWidget(EdChannelFCSLabel, r, 1);
  G->addWidget(CbChannelExactFCSLabel, r++, 2);
  G->addWidget(Label(Data, "Scale"), r, 0);
  G->addWidget(CmBxChannelScale, r, 1);
  G->addWidget(ShChannelColor, r, 2);
  G->addWidget(BtnSetColor, r++, 3);
  G->addWidget(Label(Data, "Display Minimum"), r, 0);
  G->addWidget(EdDisplayMinimum, r, 1);
  G->addWidget(BtnChannelDisplayMinimum, r++, 2);
  G->addWidget(Label(Data, "Display Maximum"), r, 0);
  G->addWidget(EdDisplayMaximum, r, 1);
  G->addWidget(BtnChannelDisplayMaximum, r++, 2);
  G->addWidget(Threshold, r, 0, 1, 2);
  G->addWidget(ZScoring, r++, 2, 1, 2);
  G->setRowStretch(r, 1);
  G->setColumnStretch(1, 1);
  G->setColumnStretch(3, 1);

  // Compensation.
  QWidget* Comp = FMain.Page("TsCompensation");
  auto* CL = new QVBoxLayout(Comp);
  auto AddGrid = [&](const QString& Caption, QTableWidget* Grid) {
    auto* Box = new QGroupBox(Caption, Comp);
    auto* BL = new QVBoxLayout(Box);
    BL->setContentsMargins(2, 2, 2, 2);
    BL->addWidget(Grid);
    CL->addWidget(Box, 1);
    return Box;
  };
  SgCompensations1 = Grid(Comp, "SgCompensations1", 2, 3);
  SgCompensations2 = Grid(Comp, "SgCompensations2", 2, 3);
  SgGaussian = Grid(Comp, "SgGaussian", 6, 2);
  // Spill-over percentages are never negative; a peak's clip low is.
  InstallGridKeyFilter(SgCompensations1, TKeyFilter::UnsignedDecimal);
  InstallGridKeyFilter(SgCompensations2, TKeyFilter::UnsignedDecimal);
  InstallGridKeyFilter(SgGaussian, TKeyFilter::SignedDecimal);
  for (QTableWidget* W : {SgCompensations1, SgCompensations2, SgGaussian}) W->setMinimumHeight(70);
  QGroupBox* RawBox = AddGrid(" Compensations of Raw Data ", SgCompensations1);
  AddGrid(" Compensations of Baseline Corrected Data ", SgCompensations2);
  QGroupBox* GaussBox = AddGrid(" Gaussian Curves for Z-Scoring ", SgGaussian);
  auto* GaussRow = new QHBoxLayout;
  qobject_cast<QBoxLayout*>(GaussBox->layout())->addLayout(GaussRow);
  BtnAddGaussian = Button(GaussBox, "BtnAddGaussian", "Add Gaussian", [this] { BtnChannelClick(7); });
  BtnDeleteGaussian = Button(GaussBox, "BtnDeleteGaussian", "Delete Gaussian", [this] { BtnChannelClick(8); });
  RbCompGaussian = new QRadioButton("Compensated", GaussBox);
  RbCompGaussian->setObjectName("RbCompGaussian");
  RbCompGaussian->setChecked(true);
  RbRawGaussian = new QRadioButton("Raw", GaussBox);
  RbRawGaussian->setObjectName("RbRawGaussian");
  EdCalculateChannelMean = Edit(GaussBox, "EdCalculateChannelMean", "", "Native value whose log10 becomes the mean");
  InstallKeyFilter(EdCalculateChannelMean, TKeyFilter::UnsignedDecimal);
  EdCalculateChannelMean->setMaximumWidth(80);
  BtnCalculateChannelMean = new QToolButton(GaussBox);
  BtnCalculateChannelMean->setObjectName("BtnCalculateChannelMean");
  BtnCalculateChannelMean->setIcon(ButtonGlyph("BMCALC"));
  BindCommand(BtnCalculateChannelMean, 2, [this](int Tag) { BtnCalculateChannelMeanClick(Tag); });
  BtnCreateFilter = Button(RawBox, "BtnCreateFilter", "Create Spillover Filter", [this] { BtnFilterClick(6); },
                           "Create a spill-over filter from the selected compensation cell");
  auto* RawRow = new QHBoxLayout;
  qobject_cast<QBoxLayout*>(RawBox->layout())->addLayout(RawRow);
  RawRow->addWidget(BtnCreateFilter);
  RawRow->addStretch(1);
  for (QWidget* W : std::initializer_list<QWidget*>{BtnAddGaussian, BtnDeleteGaussian, RbCompGaussian, RbRawGaussian,
                                                    EdCalculateChannelMean, BtnCalculateChannelMean})
    GaussRow->addWidget(W);
  GaussRow->addStretch(1);

  // Reassign Channel Data.
  QWidget* Re = FMain.Page("TsReassignChannelData");
  auto* RL = new QGridLayout(Re);
  BtnAssignDefaultValues = Button(Re, "BtnAssignDefaultValues", "Assign Gaussian Values from Data",
                                  [this] { BtnAssignDefaultValuesClick(1); });
  RL->addWidget(BtnAssignDefaultValues, 0, 0, 1, 2);
  struct TReassign {
    QLineEdit** Field;
    const char* EditName;
    const char* Text;
    const char* ButtonName;
    const char* Caption;
    TKeyFilter Filter;
  };
  const TReassign Rows[] = {
      {&EdReassignMinimumZ, "EdReassignMinimumZ", "-1.0", "BtnReassignMinimumZ", "Minimum Z", TKeyFilter::SignedDecimal},
      {&EdReassignMaximumZ, "EdReassignMaximumZ", "5.0", "BtnReassignMaximumZ", "Maximum Z", TKeyFilter::UnsignedDecimal},
      {&EdReassignMinimumZGate, "EdReassignMinimumZGate", "5", "BtnReassignMinimumZGate", "Minimum Z Gate",
       TKeyFilter::UnsignedDecimal},
      {&EdReassignMaximumZGate, "EdReassignMaximumZGate", "1000", "BtnReassignMaximumZGate", "Maximum Z Gate",
       TKeyFilter::UnsignedDecimal},
      {&EdReassignMinimumGate, "EdReassignMinimumGate", "5", "BtnReassignMinimumGate", "Minimum Gate",
       TKeyFilter::UnsignedDecimal},
      {&EdReassignMaximumGate, "EdReassignMaximumGate", "1000", "BtnReassignMaximumGate", "Maximum Gate",
       TKeyFilter::UnsignedDecimal},
  };
  for (int i = 0; i < 6; ++i) {
    *Rows[i].Field = Edit(Re, Rows[i].EditName, Rows[i].Text);
    InstallKeyFilter(*Rows[i].Field, Rows[i].Filter);
    const int T = i + 2;
    RL->addWidget(*Rows[i].Field, i + 1, 0);
    RL->addWidget(Button(Re, Rows[i].ButtonName, QString("Assign %1 to all").arg(Rows[i].Caption),
                         [this, T] { BtnAssignDefaultValuesClick(T); }),
                  i + 1, 1);
  }
  RL->setRowStretch(7, 1);
  RL->setColumnStretch(2, 1);

  // Channel Notes.
  QWidget* Notes = FMain.Page("TsChannelNotes");
  auto* NL = new QGridLayout(Notes);
  MeChannelNotes = new QPlainTextEdit(Notes);
  MeChannelNotes->setObjectName("MeChannelNotes");
  CbForceMean = Check(Notes, "CbForceMean", "Force Gaussian");
  EdGenotype = Edit(Notes, "EdGenotype");
  EdBaseline = Edit(Notes, "EdBaseline");
  InstallKeyFilter(EdBaseline, TKeyFilter::UnsignedDecimal);
  // Leaving the name for the tag or its neighbours gives an empty tag the name's first letter.
  for (QLineEdit* E : {EdChannelTag, EdBaseline, EdChannelFCSLabel}) InstallChannelTagEnter(E, EdChannelName, EdChannelTag);
  NL->addWidget(MeChannelNotes, 0, 0, 1, 4);
  NL->addWidget(CbForceMean, 1, 0);
  NL->addWidget(Label(Notes, "Genotype"), 1, 1);
  NL->addWidget(EdGenotype, 1, 2);
  NL->addWidget(Label(Notes, "Autofluorescence"), 2, 1);
  NL->addWidget(EdBaseline, 2, 2);
  NL->setRowStretch(0, 1);

  for (QObject* C : std::initializer_list<QObject*>{
           EdChannelName, EdChannelTag, EdChannelFCSName, EdChannelFCSLabel, CbChannelExactFCSName,
           CbChannelExactFCSLabel, CmBxChannelScale, EdDisplayMinimum, EdDisplayMaximum, EdMinGate, EdMaxGate,
           EdMinZGate, EdMaxZGate, EdMinZ, EdMaxZ, SgCompensations1, SgCompensations2, SgGaussian, MeChannelNotes,
           CbForceMean, EdGenotype, EdBaseline})
    Watch(C, FChannelDirty);
}

void TProtocolPage::BuildGatePage() {
  QWidget* Page = FMain.Page("TsGlobalGates");
  auto* Outer = new QHBoxLayout(Page);
  auto* Side = new QVBoxLayout;
  LbGateID = new QLabel(Page);
  LbGateID->setObjectName("LbGateID");
  SgGlobalGates = Grid(Page, "SgGlobalGates", 1, 1);
  SetTag(SgGlobalGates, 1);
  SgGlobalGates->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SgGlobalGates->horizontalHeader()->setStretchLastSection(true);
  SgGlobalGates->setFixedWidth(150);
  BindCommand(SgGlobalGates, &QTableWidget::currentCellChanged, [this] { BtnGateClick(1); });
  BtnUpdateGate = Button(Page, "BtnUpdateGate", "Update Gate", [this] { BtnGateClick(2); });
  Side->addWidget(LbGateID);
  Side->addWidget(SgGlobalGates, 1);
  Side->addWidget(BtnUpdateGate);
  Outer->addLayout(Side);
  auto* G = new QGridLayout;
  G->setVerticalSpacing(2);  // the seventeen rows fit the page at the window's first size
  Outer->addLayout(G, 1);
  CbActiveGate = Check(Page, "CbActiveGate", "Active");
  CbCullGate = Check(Page, "CbCullGate", "Cull Gate");
  EdGateName = Edit(Page, "EdGateName");
  EdGateFCSName = Edit(Page, "EdGateFCSName", "", "FCS long name ($PnS)");
  EdGateFCSLabel = Edit(Page, "EdGateFCSLabel", "", "FCS short name ($PnN)");
  CbGateExactFCSName = Check(Page, "CbGateExactFCSName", "Exact");
  CbGateExactFCSLabel = Check(Page, "CbGateExactFCSLabel", "Exact");
  CmBxGateScale = new QComboBox(Page);
  CmBxGateScale->setObjectName("CmBxGateScale");
  CmBxGateScale->addItems({"Log", "Linear"});
  EdGateDisplayMinimum = Edit(Page, "EdGateDisplayMinimum");
  EdGateDisplayMaximum = Edit(Page, "EdGateDisplayMaximum");
  BtnGateDisplayMinimum = Toggle(Page, "BtnGateDisplayMinimum", "BMCALCTOGGLE", "Toggle log / native value");
  BtnGateDisplayMaximum = Toggle(Page, "BtnGateDisplayMaximum", "BMCALCTOGGLE", "Toggle log / native value");
  BindCommand(BtnGateDisplayMinimum, 2, [this](int Tag) { BtnCustomMeanClick(Tag); });
  BindCommand(BtnGateDisplayMaximum, 3, [this](int Tag) { BtnCustomMeanClick(Tag); });
  ShGateColor = Shape(Page, "ShGateColor");
  BtnSetGateColor = Button(Page, "BtnSetGateColor", "Color...", [this] { BtnSetColorClick(1); });
  EdGateMinGate = Edit(Page, "EdGateMinGate");
  EdGateMaxGate = Edit(Page, "EdGateMaxGate");
  EdGateMinZ = Edit(Page, "EdGateMinZ");
  EdGateMaxZ = Edit(Page, "EdGateMaxZ");
  CbDynamicGate = Check(Page, "CbDynamicGate", "Dynamic Gate");
  EdGateZOrder = Edit(Page, "EdGateZOrder");
  EdGateClipHigh = Edit(Page, "EdGateClipHigh");
  EdGateClipLow = Edit(Page, "EdGateClipLow");
  EdGateMean = Edit(Page, "EdGateMean");
  EdGateDeviation = Edit(Page, "EdGateDeviation");
  EdCalculateGateMean = Edit(Page, "EdCalculateGateMean", "", "Native value whose log10 becomes the mean");
  BtnCalculateGateMean = new QToolButton(Page);
  BtnCalculateGateMean->setObjectName("BtnCalculateGateMean");
  BtnCalculateGateMean->setIcon(ButtonGlyph("BMCALC"));
  BindCommand(BtnCalculateGateMean, 1, [this](int Tag) { BtnCalculateChannelMeanClick(Tag); });
  for (QLineEdit* E : {EdGateMinGate, EdGateMaxGate, EdGateDisplayMinimum, EdGateDisplayMaximum, EdCalculateGateMean,
                       EdGateMinZ, EdGateMaxZ, EdGateZOrder, EdGateMean, EdGateDeviation})
    InstallKeyFilter(E, TKeyFilter::UnsignedDecimal);
  for (QLineEdit* E : {EdGateClipHigh, EdGateClipLow}) InstallKeyFilter(E, TKeyFilter::SignedDecimal);
  int r = 0;
  G->addWidget(CbActiveGate, r, 0);
  G->addWidget(CbCullGate, r, 1);
  G->addWidget(CbDynamicGate, r++, 2);
  auto Line = [&](const QString& Caption, QWidget* A, QWidget* B = nullptr, QWidget* C = nullptr) {
    G->addWidget(Label(Page, Caption), r, 0);
    G->addWidget(A, r, 1);
    if (B) G->addWidget(B, r, 2);
    if (C) G->addWidget(C, r, 3);
    ++r;
  };
  Line("Name", EdGateName);
  Line("FCS Name", EdGateFCSName, CbGateExactFCSName);
  Line("FCS Label", EdGateFCSLabel, CbGateExactFCSLabel);
  Line("Scale", CmBxGateScale, ShGateColor, BtnSetGateColor);
  Line("Display Minimum", EdGateDisplayMinimum, BtnGateDisplayMinimum);
  Line("Display Maximum", EdGateDisplayMaximum, BtnGateDisplayMaximum);
  Line("Minimum Value", EdGateMinGate);
  Line("Maximum Value", EdGateMaxGate);
  Line("Minimum Z", EdGateMinZ);
  Line("Maximum Z", EdGateMaxZ);
  Line("Z Order", EdGateZOrder);
  Line("Clip High", EdGateClipHigh);
  Line("Clip Low", EdGateClipLow);
  Line("Mean", EdGateMean, EdCalculateGateMean, BtnCalculateGateMean);
  Line("Deviation", EdGateDeviation);
  G->setRowStretch(r, 1);
  G->setColumnStretch(1, 1);
  for (QObject* C : std::initializer_list<QObject*>{
           CbActiveGate, CbCullGate, EdGateName, EdGateFCSName, EdGateFCSLabel, CbGateExactFCSName, CbGateExactFCSLabel,
           CmBxGateScale, EdGateDisplayMinimum, EdGateDisplayMaximum, EdGateMinGate, EdGateMaxGate, EdGateMinZ,
           EdGateMaxZ, CbDynamicGate, EdGateZOrder, EdGateClipHigh, EdGateClipLow, EdGateMean, EdGateDeviation})
    Watch(C, FGateDirty);
}

void TProtocolPage::BuildFilterPage() {
  QWidget* Page = FMain.Page("TsSpillovers");
  auto* Outer = new QHBoxLayout(Page);
  SgValidation = Grid(Page, "SgValidation", 1, 0);
  SetTag(SgValidation, 1);
  SgValidation->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SgValidation->horizontalHeader()->setStretchLastSection(true);
  SgValidation->setFixedWidth(200);
  BindCommand(SgValidation, &QTableWidget::currentCellChanged, [this] { BtnFilterClick(1); });
  Outer->addWidget(SgValidation);
  auto* G = new QGridLayout;
  Outer->addLayout(G, 1);
  EdFilterName = Edit(Page, "EdFilterName");
  CmBxSourceChannel = new QComboBox(Page);
  CmBxSourceChannel->setObjectName("CmBxSourceChannel");
  CmBxSpilloverChannel = new QComboBox(Page);
  CmBxSpilloverChannel->setObjectName("CmBxSpilloverChannel");
  for (QComboBox* C : {CmBxSourceChannel, CmBxSpilloverChannel}) C->setPlaceholderText("<select channel>");
  EdMaxSpillover = Edit(Page, "EdMaxSpillover");
  EdMeanSpillover = Edit(Page, "EdMeanSpillover");
  EdMinSpillover = Edit(Page, "EdMinSpillover");
  int r = 0;
  auto Line = [&](const QString& Caption, QWidget* W) {
    G->addWidget(Label(Page, Caption), r, 0);
    G->addWidget(W, r++, 1);
  };
  Line("Name", EdFilterName);
  Line("Source Channel", CmBxSourceChannel);
  Line("Spillover Channel", CmBxSpilloverChannel);
  Line("Upper Bound", EdMaxSpillover);
  Line("Mean", EdMeanSpillover);
  Line("Lower Bound", EdMinSpillover);
  auto* Buttons = new QHBoxLayout;
  Buttons->addWidget(Button(Page, "BtnUpdateSpillover", "Update Filter", [this] { BtnFilterClick(2); }));
  Buttons->addWidget(Button(Page, "BtnAddValidation", "Add Filter", [this] { BtnFilterClick(3); }));
  Buttons->addWidget(Button(Page, "BtnDeleteValidation", "Delete Filter", [this] { BtnFilterClick(4); }));
  Buttons->addStretch(1);
  G->addLayout(Buttons, r++, 0, 1, 2);
  G->setRowStretch(r, 1);
  G->setColumnStretch(1, 1);
}

void TProtocolPage::BuildGenotypePage() {
  QWidget* Page = FMain.Page("TsGenotypes");
  auto* Outer = new QHBoxLayout(Page);
  auto* Side = new QVBoxLayout;
  LbGenotypeID = new QLabel(Page);
  LbGenotypeID->setObjectName("LbGenotypeID");
  SgGenotypes = Grid(Page, "SgGenotypes", 2, 1);
  SetTag(SgGenotypes, 3);
  SetHint(SgGenotypes, "Available Genotypes");
  SgGenotypes->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SgGenotypes->horizontalHeader()->setStretchLastSection(true);
  SgGenotypes->setFixedWidth(230);
  BindCommand(SgGenotypes, &QTableWidget::currentCellChanged, [this] { BtnGenotypeClick(3); });
  Side->addWidget(LbGenotypeID);
  Side->addWidget(SgGenotypes, 1);
  auto* ListButtons = new QGridLayout;
  ListButtons->addWidget(Button(Page, "BtnAddGenotype", "Add ", [this] { BtnGenotypeClick(2); }), 0, 0);
  ListButtons->addWidget(Button(Page, "BtnDeleteGenotype", "Delete", [this] { BtnGenotypeClick(6); }), 0, 1);
  ListButtons->addWidget(Button(Page, "BtnGenotypeUp", "Up", [this] { BtnGenotypeClick(21); }), 1, 0);
  ListButtons->addWidget(Button(Page, "BtnGenotypeDown", "Down", [this] { BtnGenotypeClick(22); }), 1, 1);
  ListButtons->addWidget(Button(Page, "BtnImportGenotypes", "Import Genotypes", [this] { BtnGenotypeClick(9); },
                                "Import Genotypes from CSV"),
                         2, 0, 1, 2);
  Side->addLayout(ListButtons);
  Outer->addLayout(Side);
  auto* G = new QGridLayout;
  Outer->addLayout(G, 1);
  EdGenotypeName = Edit(Page, "EdGenotypeName");
  SgFluorPeaks = Grid(Page, "SgFluorPeaks", 4, 2);
  InstallGridKeyFilter(SgFluorPeaks, TKeyFilter::Integer);
  MeGenotypeNotes = new QPlainTextEdit(Page);
  MeGenotypeNotes->setObjectName("MeGenotypeNotes");
  EdLikelihoodThreshold = Edit(Page, "EdLikelihoodThreshold");
  InstallKeyFilter(EdLikelihoodThreshold, TKeyFilter::UnsignedDecimal);
  BtnUpdateGenotype = Button(Page, "BtnUpdateGenotype", "Update Genotype", [this] { BtnGenotypeClick(1); });
  G->addWidget(Label(Page, "Name"), 0, 0);
  G->addWidget(EdGenotypeName, 0, 1);
  G->addWidget(BtnUpdateGenotype, 0, 2);
  auto* Peaks = new QGroupBox(" Fluorophore Peaks ", Page);
  auto* PL = new QVBoxLayout(Peaks);
  PL->addWidget(SgFluorPeaks);
  auto* PeakButtons = new QHBoxLayout;
  PeakButtons->addWidget(Button(Peaks, "BtnAddPeak", "Add Peak", [this] { BtnGenotypeClick(4); }));
  PeakButtons->addWidget(Button(Peaks, "BtnDeletePeak", "Delete Peak", [this] { BtnGenotypeClick(5); }));
  PeakButtons->addWidget(Button(Peaks, "BtnMapPeaks", "Map Peaks", [this] { BtnGenotypeClick(7); },
                                "Map proper Gaussian peaks using the most recent peaks added"));
  PeakButtons->addWidget(Button(Peaks, "BtnUpdateGenotypePeaks", "Update Genotype", [this] { BtnGenotypeClick(1); }));
  PeakButtons->addStretch(1);
  PL->addLayout(PeakButtons);
  G->addWidget(Peaks, 1, 0, 1, 3);
  G->addWidget(Label(Page, "Notes"), 2, 0);
  G->addWidget(MeGenotypeNotes, 2, 1, 1, 2);
  G->addWidget(Label(Page, "Likelihood Threshold"), 3, 0);
  G->addWidget(EdLikelihoodThreshold, 3, 1);
  G->setRowStretch(1, 2);
  G->setRowStretch(2, 1);
  G->setColumnStretch(1, 1);
  for (QObject* C : std::initializer_list<QObject*>{EdGenotypeName, SgFluorPeaks, MeGenotypeNotes, EdLikelihoodThreshold})
    Watch(C, FGenotypeDirty);
}

void TProtocolPage::BuildNotesPage() {
  QWidget* Page = FMain.Page("TsProtocolNotes");
  auto* L = new QVBoxLayout(Page);
  MeNotes = new QPlainTextEdit(Page);
  MeNotes->setObjectName("MeNotes");
  MeNotes->setToolTip("Notes on this protocol");
  MeNotes->setStatusTip("Notes on this protocol");
  L->addWidget(MeNotes);
  Watch(MeNotes, FNotesDirty);
}

void TProtocolPage::BindMenu() {
  for (const char* Item : {"MnNewProtocol", "MnImportProtocol", "MnSaveProtocol", "MnClearProtocol", "MnExportProtocol",
                           "MnUpdateProtocol"})
    FMain.BindCommand(Item, [this](int T) { BtnProtocolClick(T); });
  FMain.BindCommand("MnUpdateChannel", [this](int) { BtnChannelClick(2); });
  FMain.BindCommand("MnUpdateGate", [this](int) { BtnGateClick(2); });
  FMain.BindCommand("MnUpdateGenotype", [this](int) { BtnGenotypeClick(1); });
}

// ---------------------------------------------------------------------------------------------
// Current items and refresh

int TProtocolPage::ChannelShown() const { return Tag(LbChannelID); }
int TProtocolPage::GateShown() const { return Tag(LbGateID); }
int TProtocolPage::GenotypeShown() const { return Tag(LbGenotypeID); }

void TProtocolPage::ResetCurrentItems() {
  for (QLabel* L : {LbChannelID, LbGateID, LbGenotypeID}) SetTag(L, 0);
  FChannelDirty = FGateDirty = FGenotypeDirty = FNotesDirty = false;
}

void TProtocolPage::SetCurrentRow(QTableWidget* Grid, int Row) {
  const QSignalBlocker Block(Grid);
  // A list with a heading row never selects the heading: it would read as an item of that name.
  const int First = Grid == SgValidation ? 0 : 1;
  if (Row >= First && Row < Grid->rowCount())
    Grid->setCurrentCell(Row, 0);
  else
    Grid->setCurrentCell(-1, -1);
}

void TProtocolPage::FillSourceCombos() {
  ++FLoading;
  for (QComboBox* C : {CmBxSourceChannel, CmBxSpilloverChannel}) {
    const QSignalBlocker Block(C);
    // Renamed channels are shown; the filter on screen keeps the channels it names.
    const int Selected = C->currentIndex();
    C->clear();
    if (Protocol())
      for (int i = 0; i < Protocol()->ChannelCount(); ++i) C->addItem(Q(Protocol()->GetChannel(i)->ChannelName));
    C->setCurrentIndex(Selected < C->count() ? Selected : -1);
  }
  --FLoading;
}

void TProtocolPage::Refresh() {
  TProtocol* P = Protocol();
  if (P) {
    FMain.FillChannelCombos(*P);
    StringTable T;
    P->FillChannelGrid(T);
    const int ChannelRow = std::max(1, SgChannels->currentRow());
    ShowTable(T, SgChannels);
    SetCurrentRow(SgChannels, std::min(ChannelRow, SgChannels->rowCount() - 1));
    StringTable Gates;
    P->FillGateGrid(Gates);
    const int GateRow = std::max(1, SgGlobalGates->currentRow());
    ShowTable(Gates, SgGlobalGates);
    SetCurrentRow(SgGlobalGates, std::min(GateRow, SgGlobalGates->rowCount() - 1));
    StringTable Filters;
    P->Filters->FillGrid(Filters);
    const int FilterRow = std::max(0, SgValidation->currentRow());
    ShowTable(Filters, SgValidation);
    SetCurrentRow(SgValidation, std::min(FilterRow, SgValidation->rowCount() - 1));
    StringTable Genotypes;
    P->FillGenotypeGrid(Genotypes);
    const int GenotypeRow = std::max(1, SgGenotypes->currentRow());
    ShowTable(Genotypes, SgGenotypes);
    SetCurrentRow(SgGenotypes, std::min(GenotypeRow, SgGenotypes->rowCount() - 1));
    if (!FNotesDirty) {
      TProtocolNotesView View;
      P->ShowNotes(View);
      ++FLoading;
      MeNotes->setPlainText(Q(View.Notes));
      --FLoading;
    }
    FMain.ShowProtocolName(" " + Q(ExtractFileName(P->FileName)));
    BtnChannelClick(3);
    BtnGateClick(1);
    BtnGenotypeClick(3);
    FillSourceCombos();
    BtnFilterClick(1);
  } else {
    ClearProtocolEditors();
    FillSourceCombos();
  }
  for (QWidget* W : std::initializer_list<QWidget*>{BtnSaveProtocol, BtnExportProtocol, BtnUpdateProtocol,
                                                    BtnUpdateGate, BtnUpdateChannel, BtnUpdateGenotype})
    W->setEnabled(P != nullptr);
  for (QPushButton* B : FProtocolCommands) B->setEnabled(P != nullptr);
  UpdateDataCommands();
  FMain.UpdateCommandStates();
  FMain.ShowMemoryStatus();
}

// ---------------------------------------------------------------------------------------------
// Clearing

void TProtocolPage::UpdateDataCommands() {
  // The fits come from the data set and go into the protocol.
  BtnAssignDefaultValues->setEnabled(Protocol() && FMain.CurrentData);
}

void TProtocolPage::ClearProtocolEditors() {
  ClearChannelEditor();
  ClearGateEditor();
  ClearGenotypeEditor();
  ++FLoading;
  MeNotes->clear();
  --FLoading;
  FNotesDirty = false;
  FMain.ShowProtocolName(" <no protocol>");
}

void TProtocolPage::ClearChannelEditor() {
  ++FLoading;
  const QSignalBlocker Block(SgChannels);
  SetTag(LbChannelID, 0);
  LbChannelID->clear();
  for (QLineEdit* E : {EdChannelName, EdChannelTag, EdChannelFCSName, EdChannelFCSLabel, EdGenotype}) E->clear();
  CbChannelExactFCSName->setChecked(false);
  CbChannelExactFCSLabel->setChecked(false);
  SetShapeColour(ShChannelColor, 0xFFFFFF);
  EdMinGate->setText(Q(FormatFloat("######0.0", 10)));
  EdMaxGate->setText(Q(FormatFloat("######0.0", 1000)));
  EdMinZGate->setText(Q(FormatFloat("######0.0", 5)));
  EdMaxZGate->setText(Q(FormatFloat("######0.0", 1000)));
  EdMinZ->setText(Q(FormatFloat("##0.000", -2)));
  EdMaxZ->setText(Q(FormatFloat("##0.000", 2)));
  MeChannelNotes->clear();
  CbForceMean->setChecked(false);
  EdBaseline->setText("1.00");
  CmBxChannelScale->setCurrentIndex(0);
  for (QTableWidget* G : {SgCompensations1, SgCompensations2})
    for (int r = 1; r <= 2 && r < G->rowCount(); ++r)
      for (int c = 0; c < G->columnCount(); ++c) G->setItem(r, c, new QTableWidgetItem("0"));
  SgGaussian->setRowCount(1);
  SgChannels->setRowCount(1);
  --FLoading;
  FChannelDirty = false;
}

void TProtocolPage::ClearGateEditor() {
  ++FLoading;
  const QSignalBlocker Block(SgGlobalGates);
  LbGateID->clear();
  SetTag(LbGateID, 0);
  for (QCheckBox* B : {CbActiveGate, CbCullGate, CbGateExactFCSName, CbGateExactFCSLabel, CbDynamicGate})
    B->setChecked(false);
  for (QLineEdit* E : {EdGateName, EdGateFCSName, EdGateFCSLabel}) E->clear();
  SetShapeColour(ShGateColor, 0);
  for (QLineEdit* E : {EdGateMinGate, EdGateMaxGate, EdGateMinZ, EdGateMaxZ, EdGateZOrder, EdGateClipHigh, EdGateClipLow,
                       EdGateMean, EdGateDeviation, EdGateDisplayMinimum, EdGateDisplayMaximum})
    E->setText("0");
  CmBxGateScale->setCurrentIndex(1);
  BtnGateDisplayMinimum->setChecked(false);
  BtnGateDisplayMaximum->setChecked(false);
  ShowToggleColour(false, EdGateDisplayMinimum);
  ShowToggleColour(false, EdGateDisplayMaximum);
  SgGlobalGates->setRowCount(1);
  --FLoading;
  FGateDirty = false;
}

void TProtocolPage::ClearGenotypeEditor() {
  ++FLoading;
  const QSignalBlocker Block(SgGenotypes);
  SgGenotypes->setRowCount(1);
  SetTag(LbGenotypeID, 0);
  LbGenotypeID->clear();
  EdGenotypeName->clear();
  EdLikelihoodThreshold->setText("0");
  // The row stays for the next genotype's first peak, but names no peak ("Fluor_1") meanwhile;
  // the headings say what the grid is for.
  SgFluorPeaks->setRowCount(2);
  const char* const Headings[] = {"", "Idx", "Channel", "Peak"};
  for (int c = 0; c < SgFluorPeaks->columnCount(); ++c) {
    if (c < 4) SgFluorPeaks->setItem(0, c, new QTableWidgetItem(Headings[c]));
    SgFluorPeaks->setItem(1, c, new QTableWidgetItem);
  }
  --FLoading;
  FGenotypeDirty = false;
}

// ---------------------------------------------------------------------------------------------
// Implicit stores

void TProtocolPage::StoreNotes() {
  if (!Protocol()) return;
  TProtocolNotesView View;
  View.Notes = S(MeNotes->toPlainText());
  Protocol()->ReadNotes(View);
  FNotesDirty = false;
}

void TProtocolPage::StoreChangedEditors() {
  if (!Protocol()) return;
  if (FNotesDirty) StoreNotes();
  if (FChannelDirty) StoreChannel();
  if (FGateDirty) StoreGate();
  if (FGenotypeDirty) StoreGenotype(GenotypeShown());
}

void TProtocolPage::ApplyProtocolChange(const std::function<void()>& Change) {
  if (!Protocol()) return;
  StoreChangedEditors();
  Change();
  // Nothing is pending now, so showing the protocol stores nothing over the change.
  FChannelDirty = FGateDirty = FGenotypeDirty = false;
  const int Channel = ChannelShown();
  ShowChannel(Channel);
  if (GateShown() > 0) ShowGate(GateShown());
  if (GenotypeShown() > 0) ShowGenotype(GenotypeShown());
  FMain.UpdateCommandStates();
}

}  // namespace qv
