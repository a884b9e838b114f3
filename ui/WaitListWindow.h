#pragma once

#include <QPixmap>
#include <QPoint>
#include <QTableWidget>
#include <QWidget>
#include <optional>
#include <string>

#include "video/WaitList.h"

// The wait-list window: a fixed dialog-style window beside the main window with one grid,
// m_grid (entry text, watch icon, remove icon). Created hidden at start; closing it only
// hides it. Attaches itself to the wait list as its view for its whole life and detaches on
// destruction, so the wait list must outlive it. The main window is not owned; it must outlive
// this window too, or be replaced with setMainWindow(nullptr) first. UI thread only.
class TWaitListWindow : public QWidget, private IWaitListView {
 public:
  TWaitListWindow(TWaitList& waitList, const QWidget* mainWindow, QWidget* parent = nullptr);
  ~TWaitListWindow() override;

  void setMainWindow(const QWidget* mainWindow);
  // Puts the window's left edge at the main window's right edge, tops aligned. Called on every
  // show and by the main window whenever it moves.
  void placeBesideMainWindow();

  QTableWidget* m_grid = nullptr;
  // The watch and remove pictures, 20 x 20, drawn at the top-left of their cells in every row.
  QPixmap m_watchIcon;
  QPixmap m_removeIcon;

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  // IWaitListView
  void showWindow() override;
  void clearEntryTexts() override;
  void setRowCount(int rows) override;
  void setEntryText(int row, const std::string& text) override;
  std::string entryText(int row) const override;

  void buildGrid();
  void titleAndPlace();
  std::optional<QPoint> placeFor() const;

  TWaitList& m_waitList;
  const QWidget* m_mainWindow;
  // Where the window was when it was last put back; a window manager that keeps it there is
  // not fought again.
  std::optional<QPoint> m_correctedFrom;
};
