#pragma once
// Numbers typed into edits: reading them (always with "." as decimal point, naming the field
// when the text does not convert or fit) and the key filters of numeric edits.
#include <QObject>
#include <QString>
#include <cstdint>

#include "Types.h"

class QAbstractItemView;
class QLineEdit;

namespace qv {

// The number in Text; throws EConvertError naming Field when it is not a finite number.
Extended ReadNumber(const QString& Text, const QString& Field);
// The whole number in Text; throws EConvertError naming Field when it is not a 32-bit integer.
int32_t ReadInteger(const QString& Text, const QString& Field);
// The same, from an edit: the edit is focused and its text selected before the error is thrown.
Extended ReadNumber(QLineEdit* Edit, const QString& Field);
int32_t ReadInteger(QLineEdit* Edit, const QString& Field);
// A number stored as a 32-bit float: also refused, naming Field, when it does not fit one, so no
// infinity reaches a protocol.
float ReadFloat(QLineEdit* Edit, const QString& Field);

enum class TKeyFilter {
  UnsignedDecimal,  // Backspace, ".", digits
  SignedDecimal,    // and "-"
  Integer,          // Backspace, digits
  ChannelTag,       // every key; a letter or digit, upper case, replaces the whole text
};

// Whether Filter lets the typed character through (Backspace always passes).
bool KeyAccepted(TKeyFilter Filter, QChar Key);
// Binds Filter to Edit for the edit's life.
void InstallKeyFilter(QLineEdit* Edit, TKeyFilter Filter);
// Binds Filter to the cell editors of Grid (a QTableWidget or any item view).
void InstallGridKeyFilter(QAbstractItemView* Grid, TKeyFilter Filter);
// Entering the tag (or a neighbouring) edit: an empty tag takes the first character of the name.
void ChannelTagEnter(const QLineEdit* ChannelName, QLineEdit* ChannelTag);
// Runs ChannelTagEnter each time Entered takes the focus.
void InstallChannelTagEnter(QLineEdit* Entered, const QLineEdit* ChannelName, QLineEdit* ChannelTag);

}  // namespace qv
