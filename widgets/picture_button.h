#pragma once

#include <QAbstractButton>
#include <QList>
#include <QPixmap>

namespace telvane::widgets {

// A button drawn entirely by one picture per state, each the size of the button.
//  - ThreeState: normal, mouse over, pressed. Disabled shows the normal picture.
//  - FourState: normal, mouse over, pressed, disabled (faded).
//  - Save: normal, highlighted, disabled (greyed). Highlighted while the mouse is over it, while it has the
//    keyboard focus and while pressed.
// Picture buttons take no keyboard focus, except the Save button, which is in the window's focus order. No kind
// turns Enter or Return into a click: those keys reach the window's own key handling. Space clicks a focused
// Save button once, as any push button.
class PictureButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Kind { ThreeState, FourState, Save };

    PictureButton(Kind kind, const QList<QPixmap>& pictures, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    // The picture the button shows in its present state.
    const QPixmap& currentPicture() const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int pictureIndex() const;

    Kind m_kind;
    QList<QPixmap> m_pictures;
    bool m_hovered = false;
};

} // namespace telvane::widgets
