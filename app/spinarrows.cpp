#include "app/spinarrows.h"

#include <QToolButton>

SpinArrows::SpinArrows(QWidget *parent)
    : QAbstractSlider(parent)
    , m_left(new QToolButton(this))
    , m_right(new QToolButton(this))
{
    setOrientation(Qt::Horizontal);
    setRange(0, 32767);
    setSingleStep(1);
    setPageStep(1);
    setFocusPolicy(Qt::TabFocus);

    m_left->setArrowType(Qt::LeftArrow);
    m_left->setAccessibleName(QStringLiteral("减少页数"));
    m_left->setAutoRepeat(true);
    m_left->setFocusPolicy(Qt::NoFocus);
    m_right->setArrowType(Qt::RightArrow);
    m_right->setAccessibleName(QStringLiteral("增加页数"));
    m_right->setAutoRepeat(true);
    m_right->setFocusPolicy(Qt::NoFocus);
    connect(m_left, &QToolButton::clicked, this, [this] { triggerAction(SliderSingleStepSub); });
    connect(m_right, &QToolButton::clicked, this, [this] { triggerAction(SliderSingleStepAdd); });
}

void SpinArrows::resizeEvent(QResizeEvent *event)
{
    QAbstractSlider::resizeEvent(event);
    const int half = width() / 2;
    m_left->setGeometry(0, 0, half, height());
    m_right->setGeometry(half, 0, width() - half, height());
}
