// A horizontal scroll bar too short for a groove: nothing but its two arrow buttons, used as a
// spinner. The left arrow takes one step off, the right arrow adds one, within the range.
#pragma once

#include <QAbstractSlider>

class QToolButton;

class SpinArrows : public QAbstractSlider
{
    Q_OBJECT
public:
    explicit SpinArrows(QWidget *parent = nullptr);

    QToolButton *leftArrow() const { return m_left; }
    QToolButton *rightArrow() const { return m_right; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *m_left;
    QToolButton *m_right;
};
