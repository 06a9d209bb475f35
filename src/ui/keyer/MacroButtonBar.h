#pragma once

#include <QPushButton>
#include <QWidget>
#include <array>
#include <functional>

namespace pelkora {

// The bar of twelve macro buttons F1..F12 ("Panel1"): each shows its key
// name as a small picture followed by its caption, and the bar lays them out
// in one to four rows.
class MacroButtonBar : public QWidget {
    Q_OBJECT
  public:
    explicit MacroButtonBar(QWidget* parent = nullptr);

    QPushButton* button(int key) const { return buttons_[static_cast<std::size_t>(key - 1)]; }
    void setCaption(int key, const QString& caption);
    QString caption(int key) const;

    // Lays the buttons out for the number of rows (1..4) at the bar's
    // current width; any other number changes nothing.
    void layOut(int rows);
    int rows() const { return rows_; }

  signals:
    void macroClicked(int key);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    static constexpr int kPictureWidth = 15;
    static constexpr int kPictureHeight = 18;

    static QIcon keyPicture(int key);

    std::array<QPushButton*, 12> buttons_{};
    int rows_ = 1;
};

}  // namespace pelkora
