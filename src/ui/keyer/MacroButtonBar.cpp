#include "ui/keyer/MacroButtonBar.h"

#include <QImage>
#include <QPixmap>
#include <QResizeEvent>
#include <array>
#include <cstring>
#include <string>

#include "core/keyer/ButtonLayout.h"

namespace pelkora {

MacroButtonBar::MacroButtonBar(QWidget* parent) : QWidget(parent) {
    setObjectName("Panel1");
    for (int key = 1; key <= 12; ++key) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString("F%1").arg(key));
        button->setIcon(keyPicture(key));
        button->setIconSize(QSize(kPictureWidth, kPictureHeight));
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet("QPushButton { padding: 0px; text-align: left; }");
        connect(button, &QPushButton::clicked, this, [this, key] { emit macroClicked(key); });
        buttons_[static_cast<std::size_t>(key - 1)] = button;
    }
    layOut(1);
}

namespace {

// The key names are drawn from a pixel font of their own, two colours like
// the rest of the picture: at this size a system font either blurs or, to fit
// "F10" into 15 pixels, has to shrink. Every character is 9 pixels high with
// strokes 2 pixels wide; "F" and "1" are narrow, so that "F10" .. "F12" fit
// with a clear column at either side.
struct PixelCharacter {
    char character;
    std::array<const char*, 9> rows;
};

constexpr std::array<PixelCharacter, 11> kPixelFont{{
    {'F', {"###", "###", "##.", "##.", "###", "##.", "##.", "##.", "##."}},
    {'0', {".###.", "##.##", "##.##", "##.##", "##.##", "##.##", "##.##", "##.##", ".###."}},
    {'1', {".##", "###", ".##", ".##", ".##", ".##", ".##", ".##", ".##"}},
    {'2', {".###.", "##.##", "...##", "...##", "..##.", ".##..", "##...", "##...", "#####"}},
    {'3', {"####.", "...##", "...##", "...##", ".###.", "...##", "...##", "...##", "####."}},
    {'4', {"...##", "..###", ".####", "##.##", "##.##", "#####", "...##", "...##", "...##"}},
    {'5', {"#####", "##...", "##...", "####.", "...##", "...##", "...##", "##.##", ".###."}},
    {'6', {".###.", "##...", "##...", "####.", "##.##", "##.##", "##.##", "##.##", ".###."}},
    {'7', {"#####", "...##", "...##", "..##.", "..##.", ".##..", ".##..", ".##..", ".##.."}},
    {'8', {".###.", "##.##", "##.##", "##.##", ".###.", "##.##", "##.##", "##.##", ".###."}},
    {'9', {".###.", "##.##", "##.##", "##.##", ".####", "...##", "...##", "...##", ".###."}},
}};

constexpr int kCharacterHeight = 9;
constexpr int kCharacterGap = 1;

const PixelCharacter& pixelCharacter(char character) {
    for (const PixelCharacter& known : kPixelFont) {
        if (known.character == character) {
            return known;
        }
    }
    return kPixelFont.front();  // only key names are drawn
}

int widthOf(const PixelCharacter& character) {
    return static_cast<int>(std::strlen(character.rows.front()));
}

}  // namespace

QIcon MacroButtonBar::keyPicture(int key) {
    const std::string name = "F" + std::to_string(key);
    int width = -kCharacterGap;
    for (const char character : name) {
        width += widthOf(pixelCharacter(character)) + kCharacterGap;
    }
    QImage picture(kPictureWidth, kPictureHeight, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    const QRgb ink = qRgb(0, 0, 128);
    int left = (kPictureWidth - width + 1) / 2;
    const int top = (kPictureHeight - kCharacterHeight + 1) / 2;
    for (const char character : name) {
        const PixelCharacter& drawn = pixelCharacter(character);
        for (int row = 0; row < kCharacterHeight; ++row) {
            const char* pixels = drawn.rows[static_cast<std::size_t>(row)];
            for (int column = 0; pixels[column] != '\0'; ++column) {
                if (pixels[column] == '#') {
                    picture.setPixel(left + column, top + row, ink);
                }
            }
        }
        left += widthOf(drawn) + kCharacterGap;
    }
    return QIcon(QPixmap::fromImage(picture));
}

void MacroButtonBar::setCaption(int key, const QString& caption) {
    button(key)->setText(caption);
    button(key)->setToolTip(QString("F%1 %2").arg(key).arg(caption));
}

QString MacroButtonBar::caption(int key) const {
    return button(key)->text();
}

void MacroButtonBar::layOut(int rows) {
    const auto layout = ButtonLayout::forRows(rows, width());
    if (!layout) {
        return;
    }
    rows_ = rows;
    setFixedHeight(layout->barHeight);
    for (std::size_t k = 0; k < 12; ++k) {
        const ButtonLayout::Rect& r = layout->buttons[k];
        buttons_[k]->setGeometry(r.left, r.top, r.width, r.height);
    }
}

void MacroButtonBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) {
        layOut(rows_);
    }
}

}  // namespace pelkora
