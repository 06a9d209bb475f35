#pragma once

#include <QWidget>

namespace pelkora {

// The "Volumes" tool window beside the main window. The microphone and line
// regulators need the sound mixer; until it is wired, the window holds their
// place and keeps its own placement.
class TVolForm : public QWidget {
    Q_OBJECT
  public:
    explicit TVolForm(QWidget* parent = nullptr);

  signals:
    void closedByUser();

  protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace pelkora
