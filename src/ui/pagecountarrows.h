// A horizontal scroll bar too short for a groove: nothing but its two arrow buttons, used as a
// spinner. The left arrow takes one step off, the right arrow adds one, within the range.
#pragma once

#include <QAbstractSlider>

class QToolButton;

class PageCountArrows : public QAbstractSlider
{
    Q_OBJECT
public:
    explicit PageCountArrows(QWidget *parent = nullptr);

    QToolButton *fewerButton() const { return m_fewerButton; }
    QToolButton *moreButton() const { return m_moreButton; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *m_fewerButton;
    QToolButton *m_moreButton;
};
