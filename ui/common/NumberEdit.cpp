#include "common/NumberEdit.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QLineEdit>
#include <charconv>
#include <cmath>
#include <limits>

#include "Errors.h"

namespace qv {

namespace {

[[noreturn]] void NotANumber(const QString& Text, const QString& Field, const char* What) {
  throw EConvertError(("\"" + Text + "\" is not " + What + " for " + Field).toStdString());
}

class TKeyFilterObject : public QObject {
 public:
  TKeyFilterObject(QLineEdit* Edit, TKeyFilter Filter) : QObject(Edit), FEdit(Edit), FFilter(Filter) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched != FEdit || Event->type() != QEvent::KeyPress) return false;
    auto* Key = static_cast<QKeyEvent*>(Event);
    const QString Text = Key->text();
    // Only typed characters are filtered; moving, deleting and short cuts pass.
    if (Text.size() != 1 || Text[0].unicode() < 32 || Text[0].unicode() == 127) return false;
    if (FFilter == TKeyFilter::ChannelTag) {
      if (!Text[0].isLetterOrNumber()) return false;
      FEdit->setText(Text.toUpper());
      return true;
    }
    return !KeyAccepted(FFilter, Text[0]);
  }

 private:
  QLineEdit* FEdit;
  TKeyFilter FFilter;
};

class TTagEnterFilter : public QObject {
 public:
  TTagEnterFilter(QLineEdit* Entered, const QLineEdit* Name, QLineEdit* Tag)
      : QObject(Entered), FName(Name), FTag(Tag) {}

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::FocusIn) ChannelTagEnter(FName, FTag);
    return false;
  }

 private:
  const QLineEdit* FName;
  QLineEdit* FTag;
};

class TKeyFilterDelegate : public QStyledItemDelegate {
 public:
  TKeyFilterDelegate(QObject* Parent, TKeyFilter Filter) : QStyledItemDelegate(Parent), FFilter(Filter) {}
  QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QWidget* Editor = QStyledItemDelegate::createEditor(Parent, Option, Index);
    if (auto* Edit = qobject_cast<QLineEdit*>(Editor)) InstallKeyFilter(Edit, FFilter);
    return Editor;
  }

 private:
  TKeyFilter FFilter;
};

}  // namespace

Extended ReadNumber(const QString& Text, const QString& Field) {
  const std::string S = Text.trimmed().toStdString();
  double Value = 0;
  const char* End = S.data() + S.size();
  auto [Ptr, Ec] = std::from_chars(S.data(), End, Value, std::chars_format::general);
  if (S.empty() || Ec != std::errc() || Ptr != End || !std::isfinite(Value)) NotANumber(Text, Field, "a valid number");
  return Value;
}

int32_t ReadInteger(const QString& Text, const QString& Field) {
  const std::string S = Text.trimmed().toStdString();
  int64_t Value = 0;
  const char* Begin = S.data() + (!S.empty() && S[0] == '+' ? 1 : 0);
  const char* End = S.data() + S.size();
  auto [Ptr, Ec] = std::from_chars(Begin, End, Value);
  if (S.empty() || Ec != std::errc() || Ptr != End || Value < std::numeric_limits<int32_t>::min() ||
      Value > std::numeric_limits<int32_t>::max())
    NotANumber(Text, Field, "a valid integer");
  return static_cast<int32_t>(Value);
}

Extended ReadNumber(QLineEdit* Edit, const QString& Field) {
  try {
    return ReadNumber(Edit->text(), Field);
  } catch (const EConvertError&) {
    Edit->setFocus();
    Edit->selectAll();
    throw;
  }
}

float ReadFloat(QLineEdit* Edit, const QString& Field) {
  const Extended Value = ReadNumber(Edit, Field);
  if (std::fabs(Value) > std::numeric_limits<float>::max()) {
    Edit->setFocus();
    Edit->selectAll();
    NotANumber(Edit->text(), Field, "a number that fits");
  }
  return static_cast<float>(Value);
}

int32_t ReadInteger(QLineEdit* Edit, const QString& Field) {
  try {
    return ReadInteger(Edit->text(), Field);
  } catch (const EConvertError&) {
    Edit->setFocus();
    Edit->selectAll();
    throw;
  }
}

bool KeyAccepted(TKeyFilter Filter, QChar Key) {
  if (Key == QChar(8) || (Key >= '0' && Key <= '9')) return true;
  switch (Filter) {
    case TKeyFilter::UnsignedDecimal: return Key == '.';
    case TKeyFilter::SignedDecimal: return Key == '.' || Key == '-';
    case TKeyFilter::Integer: return false;
    case TKeyFilter::ChannelTag: return true;
  }
  return false;
}

void InstallKeyFilter(QLineEdit* Edit, TKeyFilter Filter) {
  Edit->installEventFilter(new TKeyFilterObject(Edit, Filter));
}

void InstallGridKeyFilter(QAbstractItemView* Grid, TKeyFilter Filter) {
  Grid->setItemDelegate(new TKeyFilterDelegate(Grid, Filter));
}

void ChannelTagEnter(const QLineEdit* ChannelName, QLineEdit* ChannelTag) {
  const QString Name = ChannelName->text();
  // The first character whole: one outside the basic plane takes two UTF-16 units.
  if (!Name.isEmpty() && ChannelTag->text().isEmpty())
    ChannelTag->setText(Name.left(Name.size() > 1 && Name.at(0).isHighSurrogate() ? 2 : 1));
}

void InstallChannelTagEnter(QLineEdit* Entered, const QLineEdit* ChannelName, QLineEdit* ChannelTag) {
  Entered->installEventFilter(new TTagEnterFilter(Entered, ChannelName, ChannelTag));
}

}  // namespace qv
