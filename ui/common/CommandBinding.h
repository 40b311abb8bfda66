#pragma once
// The one way a control runs a command. BindCommand connects a control's activation (a click,
// a menu item, a toggle, a double-click, a list or spin box activation, a mouse click on a
// panel) to its handler, which then runs inside the command guard: refused while another
// command runs, every exception shown in a message box. Each binding is written on the control
// (CommandBindings), so a test can tell a control bound twice, bound elsewhere or not at all.
// Nothing else connects a control's activation to a handler. Change notifications of fields
// (a text edited, an editor watched for changes, the report window's font boxes) and context
// menus are not activations and connect as usual.
//
// Usage, where the control is made or by the page that owns its handler:
//   BindCommand(BtnReadFCSFile, [this] { BtnReadClick(); });                  // clicked / triggered
//   BindCommand(BtnCompensate, 4, [this](int Tag) { BtnReProcessClick(Tag); }); // with its Tag
//   BindCommand(SgMatrix, &QTableWidget::cellDoubleClicked,
//               [this](int Row, int Col) { SgMatrixDblClick(Row, Col); });     // any signal
//   BindCancel(BtnCancel, [this] { BtnCancelClick(); });                        // runs while busy
#include <QMetaMethod>
#include <QObject>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

class QAbstractButton;
class QAction;
class QWidget;

namespace qv {

// How a bound control runs its handler.
enum class TBindKind {
  Command,  // inside the command guard, refused while another command runs
  Cancel,   // stops the running command's loop: runs while it runs, exceptions still shown
};

// The bindings made on Control, one entry per binding: the signal's signature ("clicked(bool)"),
// or "mouseRelease" / "mouseDoubleClick" for a panel, with " cancel" appended for a cancel.
QStringList CommandBindings(const QObject* Control);
inline bool IsBound(const QObject* Control) { return !CommandBindings(Control).isEmpty(); }
// Records a binding that hands a control over to another command without a new connection (a
// main menu item whose command is replaced), so that it counts as a second binding.
void RecordBinding(QObject* Control, const QString& Binding, TBindKind Kind = TBindKind::Command);

namespace Detail {

void RunBound(TBindKind Kind, const std::function<void()>& Command);

template <class TCommand, class TArgs, class TSequence>
struct TTakesLeading;
template <class TCommand, class TArgs, std::size_t... I>
struct TTakesLeading<TCommand, TArgs, std::index_sequence<I...>>
    : std::is_invocable<const TCommand&, std::tuple_element_t<I, TArgs>...> {};

// The number of the signal's leading arguments Command takes (all it can).
template <class TCommand, class TArgs, std::size_t N = std::tuple_size_v<TArgs>>
constexpr std::size_t LeadingArguments() {
  if constexpr (TTakesLeading<TCommand, TArgs, std::make_index_sequence<N>>::value) {
    return N;
  } else if constexpr (N == 0) {
    static_assert(N != 0, "the command takes none of the signal's arguments");
    return 0;
  } else {
    return LeadingArguments<TCommand, TArgs, N - 1>();
  }
}

template <class TCommand, class... TArgs>
void InvokeLeading(const TCommand& Command, const TArgs&... Args) {
  using TAll = std::tuple<const TArgs&...>;
  const TAll All(Args...);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    std::invoke(Command, std::get<I>(All)...);
  }(std::make_index_sequence<LeadingArguments<TCommand, TAll>()>{});
}

}  // namespace Detail

// Binds Activation, a signal of Control, to Command, which gets as many of the signal's leading
// arguments as it takes.
template <class TControl, class TSignal, class TCommand>
  requires std::is_member_function_pointer_v<TSignal>
void BindCommand(TControl* Control, TSignal Activation, TCommand Command, TBindKind Kind = TBindKind::Command) {
  RecordBinding(Control, QString::fromLatin1(QMetaMethod::fromSignal(Activation).methodSignature()), Kind);
  QObject::connect(Control, Activation, Control, [Kind, Command = std::move(Command)](const auto&... Args) {
    Detail::RunBound(Kind, [&] { Detail::InvokeLeading(Command, Args...); });
  });
}

// The same with the control's Tag: Control's "Tag" property becomes Tag and Command gets it.
template <class TControl, class TSignal>
  requires std::is_member_function_pointer_v<TSignal>
void BindCommand(TControl* Control, TSignal Activation, int Tag, std::function<void(int Tag)> Command) {
  Control->setProperty("Tag", Tag);
  BindCommand(Control, Activation, [Tag, Command = std::move(Command)] { Command(Tag); });
}

// A button's click (push, tool, radio or check box).
void BindCommand(QAbstractButton* Button, std::function<void()> Command);
void BindCommand(QAbstractButton* Button, int Tag, std::function<void(int Tag)> Command);
// A menu or tool-bar item's trigger.
void BindCommand(QAction* Item, std::function<void()> Command);
void BindCommand(QAction* Item, int Tag, std::function<void(int Tag)> Command);

// A mouse click on a panel (a label or frame without a click signal of its own).
void BindMouseRelease(QWidget* Panel, std::function<void()> Command);
// A mouse double-click on a panel.
void BindMouseDoubleClick(QWidget* Panel, std::function<void()> Command);

// A Cancel button: Stop runs while a command runs (it clears that command's continue flag).
void BindCancel(QAbstractButton* Button, std::function<void()> Stop);

}  // namespace qv
