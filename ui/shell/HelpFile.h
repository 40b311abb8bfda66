#pragma once
// The help window: the help file in a PDF view with a tool bar and a bookmark pane.
#include <QWidget>
#include <string>

class QPdfBookmarkModel;
class QPdfDocument;
class QPdfView;
class QToolBar;
class QTreeView;

namespace qv {

class TFmHelp : public QWidget {
  Q_OBJECT
 public:
  // 50 pixels below Owner's top edge, at its left, 1024 wide; loads FileName and shows itself.
  TFmHelp(QWidget* Owner, const std::string& FileName);
  // Shows FileName; a missing file is reported by name ("Quorvenal.PDF Not Found").
  void LoadHelpFile(const std::string& FileName);

  QPdfDocument* Document;
  QPdfView* AcroPDF;
  QPdfBookmarkModel* Bookmarks;
  QTreeView* BookmarkPane;
  QToolBar* ToolBar;
};

}  // namespace qv
