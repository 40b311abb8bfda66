#include "common/CommandBinding.h"

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QWidget>
#include <exception>
#include <new>

#include "common/CommandGuard.h"
#include "common/Dialogs.h"

namespace qv {

namespace {

constexpr const char* BindingsProperty = "qvCommandBindings";

// Runs Command on a click (or double-click) of the panel it filters.
class TPanelClick : public QObject {
 public:
  TPanelClick(QWidget* Panel, QEvent::Type Type, std::function<void()> Command)
      : QObject(Panel), FType(Type), FCommand(std::move(Command)) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == FType) {
      Detail::RunBound(TBindKind::Command, FCommand);
      return true;
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  QEvent::Type FType;
  std::function<void()> FCommand;
};

}  // namespace

QStringList CommandBindings(const QObject* Control) { return Control->property(BindingsProperty).toStringList(); }

void RecordBinding(QObject* Control, const QString& Binding, TBindKind Kind) {
  QStringList Bindings = CommandBindings(Control);
  Bindings << (Kind == TBindKind::Cancel ? Binding + " cancel" : Binding);
  Control->setProperty(BindingsProperty, Bindings);
}

namespace Detail {

void RunBound(TBindKind Kind, const std::function<void()>& Command) {
  if (Kind == TBindKind::Command) {
    GuardedCommand(Command);
    return;
  }
  // A cancel only clears a flag; should it fail, the running command still ends as it would.
  std::string Failure;
  try {
    Command();
  } catch (...) {
    Failure = CurrentFailureText();
  }
  if (!Failure.empty()) ShowFailure(Failure);
}

}  // namespace Detail

void BindCommand(QAbstractButton* Button, std::function<void()> Command) {
  BindCommand(Button, &QAbstractButton::clicked, std::move(Command));
}

void BindCommand(QAbstractButton* Button, int Tag, std::function<void(int Tag)> Command) {
  BindCommand(Button, &QAbstractButton::clicked, Tag, std::move(Command));
}

void BindCommand(QAction* Item, std::function<void()> Command) {
  BindCommand(Item, &QAction::triggered, std::move(Command));
}

void BindCommand(QAction* Item, int Tag, std::function<void(int Tag)> Command) {
  BindCommand(Item, &QAction::triggered, Tag, std::move(Command));
}

void BindMouseRelease(QWidget* Panel, std::function<void()> Command) {
  RecordBinding(Panel, "mouseRelease");
  Panel->installEventFilter(new TPanelClick(Panel, QEvent::MouseButtonRelease, std::move(Command)));
}

void BindMouseDoubleClick(QWidget* Panel, std::function<void()> Command) {
  RecordBinding(Panel, "mouseDoubleClick");
  Panel->installEventFilter(new TPanelClick(Panel, QEvent::MouseButtonDblClick, std::move(Command)));
}

void BindCancel(QAbstractButton* Button, std::function<void()> Stop) {
  BindCommand(Button, &QAbstractButton::clicked, std::move(Stop), TBindKind::Cancel);
}

}  // namespace qv
