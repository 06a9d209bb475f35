#pragma once

#include <QLabel>

namespace pelkora {

// A text link: blue and underlined, with the hand-shaped pointer while the
// mouse is over it; a left click inside it emits clicked().
// Threading: GUI thread only.
class ContactLink : public QLabel {
    Q_OBJECT

  public:
    explicit ContactLink(const QString& text, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace pelkora
