#include "shell/HelpFile.h"

#include <QAction>
#include <QHeaderView>
#include <QPdfBookmarkModel>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "common/CommandBinding.h"
#include "common/Dialogs.h"
#include "Files.h"

namespace qv {

TFmHelp::TFmHelp(QWidget* Owner, const std::string& FileName) : QWidget(Owner, Qt::Window) {
  setObjectName("FmHelp");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Quorvenal Help");

  Document = new QPdfDocument(this);
  AcroPDF = new QPdfView(this);
  AcroPDF->setObjectName("AcroPDF");
  AcroPDF->setDocument(Document);
  Bookmarks = new QPdfBookmarkModel(this);
  Bookmarks->setDocument(Document);
  BookmarkPane = new QTreeView(this);
  BookmarkPane->setObjectName("BookmarkPane");
  BookmarkPane->setModel(Bookmarks);
  BookmarkPane->setHeaderHidden(true);
  BindCommand(BookmarkPane, &QTreeView::clicked, [this](const QModelIndex& Index) {
    const int Page = Index.data(int(QPdfBookmarkModel::Role::Page)).toInt();
    const QPointF Location = Index.data(int(QPdfBookmarkModel::Role::Location)).toPointF();
    AcroPDF->pageNavigator()->jump(Page, Location, 0);
  });

  ToolBar = new QToolBar(this);
  ToolBar->setObjectName("ToolBar");
  BindCommand(ToolBar->addAction("Previous"), [this] {
    QPdfPageNavigator* Nav = AcroPDF->pageNavigator();
    if (Nav->currentPage() > 0) Nav->jump(Nav->currentPage() - 1, {}, 0);
  });
  BindCommand(ToolBar->addAction("Next"), [this] {
    QPdfPageNavigator* Nav = AcroPDF->pageNavigator();
    if (Nav->currentPage() + 1 < Document->pageCount()) Nav->jump(Nav->currentPage() + 1, {}, 0);
  });
  ToolBar->addSeparator();
  BindCommand(ToolBar->addAction("Fit Width"), [this] { AcroPDF->setZoomMode(QPdfView::ZoomMode::FitToWidth); });
  BindCommand(ToolBar->addAction("Zoom In"), [this] {
    AcroPDF->setZoomMode(QPdfView::ZoomMode::Custom);
    AcroPDF->setZoomFactor(AcroPDF->zoomFactor() * 1.25);
  });
  BindCommand(ToolBar->addAction("Zoom Out"), [this] {
    AcroPDF->setZoomMode(QPdfView::ZoomMode::Custom);
    AcroPDF->setZoomFactor(AcroPDF->zoomFactor() / 1.25);
  });
  ToolBar->addSeparator();
  QAction* Pane = ToolBar->addAction("Bookmarks");
  Pane->setCheckable(true);
  Pane->setChecked(true);
  BindCommand(Pane, &QAction::toggled, [this](bool Shown) { BookmarkPane->setVisible(Shown); });

  auto* Split = new QSplitter(this);
  Split->addWidget(BookmarkPane);
  Split->addWidget(AcroPDF);
  Split->setStretchFactor(1, 1);
  Split->setSizes({220, 800});
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(ToolBar);
  Layout->addWidget(Split, 1);

  resize(557, 433);
  if (Owner) move(Owner->pos().x(), Owner->pos().y() + 50);
  resize(1024, height());
  LoadHelpFile(FileName);
  // View, tool bar and page mode, in this order, also when the file was not found.
  AcroPDF->setZoomMode(QPdfView::ZoomMode::FitToWidth);
  AcroPDF->setPageMode(QPdfView::PageMode::MultiPage);
  ToolBar->show();
  BookmarkPane->show();
  show();
}

void TFmHelp::LoadHelpFile(const std::string& FileName) {
  if (FileExists(FileName)) {
    Document->load(QString::fromStdString(FileName));
    BookmarkPane->expandAll();
    setWindowTitle(QString::fromStdString(ExtractFileName(FileName)));
  } else if (!FileName.empty()) {
    AppDialogs().Error(ExtractFileName(FileName) + " Not Found");
  }
}

}  // namespace qv
