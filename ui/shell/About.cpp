#include "shell/About.h"

#include <QLabel>

#include "common/Pictures.h"
#include "shell/Splash.h"
#include "shell/Version.h"

namespace qv {

TFmAbout::TFmAbout(QWidget* Owner) : QWidget(Owner, Qt::Tool) {
  setObjectName("FmAbout");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("About Quorvenal...");
  setFixedSize(483, 362);
  if (Owner) move(Owner->geometry().center() - rect().center());

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(rect());
  Image1->setPixmap(QuorvenalPicture(size()));

  auto MakeLabel = [this](const char* Name, const QString& Text, int Top, int Pixels, bool Bold) {
    auto* L = new QLabel(Text, this);
    L->setObjectName(Name);
    QFont F = L->font();
    F.setPixelSize(Pixels);
    F.setBold(Bold);
    L->setFont(F);
    L->setStyleSheet("color: white; background: transparent;");
    L->move(16, Top);
    L->adjustSize();
    return L;
  };
  Label1 = MakeLabel("Label1", "Quorvenal", 14, 16, true);
  LbVersion = MakeLabel("LbVersion", VersionCaption(), 38, 12, false);
  LbDate = MakeLabel("LbDate", ProgramDate, 56, 12, false);
  LbCredits1 = MakeLabel("LbCredits1", "Relative fitness from flow-cytometry competition assays", 84, 11, false);
  LbCredits2 = MakeLabel("LbCredits2", "Written by the Quorvenal developers", 102, 11, false);
  show();
}

}  // namespace qv
