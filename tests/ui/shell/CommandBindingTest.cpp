// Every control of the main window, the report window and the preferences window is bound to its
// command once, through the binding helper: a walk over their buttons, menu and tool-bar items,
// spin boxes, lists and button groups compares each activation signal's connections with the
// bindings the helper wrote on the control.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QMetaMethod>
#include <QPushButton>
#include <QTabBar>
#include <QToolBar>
#include <QtTest>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeView>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "DataSetHelpers.h"
#include "ScriptedDialogs.h"
#include "UiTestMain.h"
#include "UiTestSupport.h"
#include "common/CommandBinding.h"
#include "report/TextOutput.h"
#include "shell/MainWindow.h"
#include "shell/Preferences.h"

using namespace qv;
using namespace qv::test;

namespace {

// QObject::receivers, which is protected, through a pointer to it.
struct TReceivers : QObject {
  static int Of(const QObject* Object, const QMetaMethod& Signal) {
    const QByteArray Code = QByteArray::number(QSIGNAL_CODE) + Signal.methodSignature();
    return (Object->*(&TReceivers::receivers))(Code.constData());
  }
};

// Signals that run a command when a user acts on a control. A check box's toggle and a combo's
// index or text change are edits a page may watch; a command binds the click or the activation.
bool IsActivation(const QObject* Control, const QMetaMethod& Signal) {
  static const std::set<QByteArray> Names = {
      "clicked",      "pressed",         "released",        "toggled",          "triggered",
      "activated",    "textActivated",   "doubleClicked",   "itemActivated",    "itemClicked",
      "itemDoubleClicked", "itemPressed", "currentItemChanged", "currentRowChanged", "cellActivated",
      "cellClicked",  "cellDoubleClicked", "cellPressed",   "currentCellChanged", "idClicked",
      "idPressed",    "idReleased",      "idToggled",       "buttonClicked",    "buttonPressed",
      "buttonReleased", "buttonToggled", "valueChanged",    "DoubleClicked"};
  const QByteArray Name = Signal.name();
  if (Name == "toggled" && qobject_cast<const QCheckBox*>(Control)) return false;
  if (Name == "valueChanged") return qobject_cast<const QAbstractSpinBox*>(Control) != nullptr;
  if (Name == "currentTextChanged") return qobject_cast<const QListWidget*>(Control) != nullptr;
  return Names.count(Name) > 0;
}

// Parts Qt makes for its own widgets (tab bar arrows, a combo box's popup list, grid headers and
// corner buttons, menu and tool bar extension buttons).
bool PartOfQt(const QObject* O) {
  if (O->objectName().startsWith("qt_") || qobject_cast<const QHeaderView*>(O)) return true;
  for (const QObject* P = O->parent(); P; P = P->parent())
    if (qobject_cast<const QTabBar*>(P) || qobject_cast<const QComboBox*>(P) ||
        qobject_cast<const QAbstractSpinBox*>(P) || qobject_cast<const QAbstractItemView*>(P))
      return true;
  return false;
}

// Connections Qt makes itself to Signal of Control: those of a fresh object of its nearest Qt
// class (a tool button watches its own presses), and one per menu, menu bar or button that
// shows an action.
int ConnectionsOfQt(const QObject* Control, const QMetaMethod& Signal) {
  static const std::map<QByteArray, std::function<QObject*()>> Fresh = {
      {"QPushButton", [] { return new QPushButton; }},   {"QToolButton", [] { return new QToolButton; }},
      {"QRadioButton", [] { return new QRadioButton; }}, {"QCheckBox", [] { return new QCheckBox; }},
      {"QAction", [] { return new QAction(nullptr); }},  {"QComboBox", [] { return new QComboBox; }},
      {"QSpinBox", [] { return new QSpinBox; }},         {"QListWidget", [] { return new QListWidget; }},
      {"QTableWidget", [] { return new QTableWidget; }}, {"QTableView", [] { return new QTableView; }},
      {"QTreeView", [] { return new QTreeView; }},       {"QButtonGroup", [] { return new QButtonGroup; }}};
  int Count = 0;
  const QMetaObject* Meta = Control->metaObject();
  while (Meta && !Fresh.count(Meta->className())) Meta = Meta->superClass();
  if (Meta) {
    std::unique_ptr<QObject> Plain(Fresh.at(Meta->className())());
    Count += TReceivers::Of(Plain.get(), Signal);
  }
  if (const auto* Item = qobject_cast<const QAction*>(Control); Item && Signal.name() == "triggered")
    for (QObject* Holder : Item->associatedObjects())
      if (Holder->isWidgetType()) ++Count;
  return Count;
}

// Controls that are commands by what they are: push buttons, menu and tool-bar items, and every
// control given a Tag.
bool MustBeBound(const QObject* O) {
  if (qobject_cast<const QPushButton*>(O)) return true;
  if (const auto* Item = qobject_cast<const QAction*>(O)) {
    if (Item->isSeparator() || Item->menu() || Item->text().isEmpty()) return false;
    for (QObject* Holder : Item->associatedObjects())
      if (qobject_cast<QMenu*>(Holder) || qobject_cast<QToolBar*>(Holder)) return true;
    return false;
  }
  return O->property("Tag").isValid();
}

QString NameOf(const QObject* O) {
  QString Name = O->objectName();
  if (const auto* Item = qobject_cast<const QAction*>(O); Item && Name.isEmpty()) Name = "\"" + Item->text() + "\"";
  if (Name.isEmpty()) Name = QString::fromLatin1(O->metaObject()->className());
  const QObject* P = O->parent();
  while (P && P->objectName().isEmpty()) P = P->parent();
  return P ? P->objectName() + "/" + Name : Name;
}

// The faults of every control under Root, one line each.
QStringList BindingFaults(const QObject* Root) {
  QStringList Faults;
  QList<const QObject*> Controls;
  for (const QObject* O : Root->findChildren<QObject*>())
    if ((qobject_cast<const QAbstractButton*>(O) || qobject_cast<const QAction*>(O) ||
         qobject_cast<const QAbstractSpinBox*>(O) || qobject_cast<const QAbstractItemView*>(O) ||
         qobject_cast<const QComboBox*>(O) || qobject_cast<const QButtonGroup*>(O)) &&
        !PartOfQt(O))
      Controls << O;
  for (const QObject* O : Controls) {
    const QStringList Bindings = CommandBindings(O);
    const QString Name = NameOf(O);
    for (const QString& B : std::set<QString>(Bindings.begin(), Bindings.end()))
      if (Bindings.count(B) > 1) Faults << Name + " is bound twice (" + B + ")";
    if (Bindings.isEmpty() && MustBeBound(O)) Faults << Name + " is bound to nothing";
    const QMetaObject* Meta = O->metaObject();
    for (int i = 0; i < Meta->methodCount(); ++i) {
      const QMetaMethod Signal = Meta->method(i);
      if (Signal.methodType() != QMetaMethod::Signal || (Signal.attributes() & QMetaMethod::Cloned) ||
          !IsActivation(O, Signal))
        continue;
      const QString Signature = QString::fromLatin1(Signal.methodSignature());
      const int Bound = Bindings.count(Signature) + Bindings.count(Signature + " cancel");
      const int Outside = TReceivers::Of(O, Signal) - ConnectionsOfQt(O, Signal) - Bound;
      if (Bound == 0 && Outside > 0) Faults << Name + " " + Signature + " is connected outside the binding helper";
      else if (Bound > 0 && Outside > 0) Faults << Name + " " + Signature + " has a connection besides its binding";
    }
  }
  return Faults;
}

}  // namespace

class CommandBindingTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { CloseReportWindows(); }

  void EveryMainWindowControlBoundOnce() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    QStringList Faults = BindingFaults(&Main);
    // A data set adds the axis menus' items, the distribution list and the class lists.
    TempFolder Folder;
    auto P = OneChannelProtocol();
    auto Data = MergedSet(Folder, *P, {{20, 200, 2000}, {300}});
    Main.SetCurrentProtocol(std::move(P));
    Main.SetCurrentData(std::move(Data));
    Main.Hooks.ShowDataLoaded(true);
    QVERIFY(!Main.PopupMenu("PMXAxis")->actions().isEmpty());
    Faults << BindingFaults(&Main);
    Faults.removeDuplicates();
    QVERIFY2(Faults.isEmpty(), qPrintable(Faults.join("\n")));
  }

  void EveryReportAndPreferencesControlBoundOnce() {
    ScopedProgramHome Home;
    ScriptedDialogs Dialogs;
    TFmMain Main;
    auto* Report = new TFmTextOutput(nullptr, "Report", true);
    QStringList Faults = BindingFaults(Report);
    Main.MasterLauncher(2);
    auto* Preferences = Main.findChild<TFmPreferences*>();
    QVERIFY(Preferences);
    Faults << BindingFaults(Preferences);
    QVERIFY2(Faults.isEmpty(), qPrintable(Faults.join("\n")));
  }

  // The walk itself finds each fault it is there for.
  void WalkNamesEachKindOfFault() {
    QWidget Root;
    Root.setObjectName("Root");
    auto* Twice = new QPushButton("Twice", &Root);
    Twice->setObjectName("Twice");
    BindCommand(Twice, [] {});
    BindCommand(Twice, [] {});
    auto* Outside = new QPushButton("Outside", &Root);
    Outside->setObjectName("Outside");
    QObject::connect(Outside, &QPushButton::clicked, [] {});
    auto* Beside = new QPushButton("Beside", &Root);
    Beside->setObjectName("Beside");
    BindCommand(Beside, [] {});
    QObject::connect(Beside, &QPushButton::clicked, [] {});
    auto* Nothing = new QPushButton("Nothing", &Root);
    Nothing->setObjectName("Nothing");
    auto* Fine = new QPushButton("Fine", &Root);
    Fine->setObjectName("Fine");
    BindCommand(Fine, 3, [](int) {});
    auto* Menu = new QMenu(&Root);
    Menu->setObjectName("Menu");
    QAction* Item = Menu->addAction("Item");
    Item->setObjectName("Item");
    BindCommand(Item, [] {});
    Menu->addAction("Idle")->setObjectName("Idle");
    const QStringList Expected = {"Root/Twice is bound twice (clicked(bool))", "Root/Outside is bound to nothing",
                                  "Root/Outside clicked(bool) is connected outside the binding helper",
                                  "Root/Beside clicked(bool) has a connection besides its binding",
                                  "Root/Nothing is bound to nothing", "Menu/Idle is bound to nothing"};
    QCOMPARE(BindingFaults(&Root).join("\n"), Expected.join("\n"));
  }
};

static RegisterUiTest<CommandBindingTest> Register;
#include "CommandBindingTest.moc"
