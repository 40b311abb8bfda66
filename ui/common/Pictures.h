#pragma once
// The program's own pictures: the splash and about picture and the button glyphs, drawn in
// code so that no image files ship with the program.
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace qv {

// Gaussian peaks of three fluorophores over a scatter of events.
QPixmap QuorvenalPicture(QSize Size);
// The glyph of a button by its resource name ("BMRIGHT", "BMCALC", ...); a null icon for an
// unknown name.
QIcon ButtonGlyph(const QString& Name);

}  // namespace qv
