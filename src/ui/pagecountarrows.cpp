#include "ui/pagecountarrows.h"

#include <QToolButton>

PageCountArrows::PageCountArrows(QWidget *parent)
    : QAbstractSlider(parent)
    , m_fewerButton(new QToolButton(this))
    , m_moreButton(new QToolButton(this))
{
    setOrientation(Qt::Horizontal);
    setRange(0, 32767);
    setSingleStep(1);
    setPageStep(1);
    setFocusPolicy(Qt::TabFocus);

    m_fewerButton->setObjectName(QStringLiteral("fewerPagesButton"));
    m_fewerButton->setArrowType(Qt::LeftArrow);
    m_fewerButton->setAccessibleName(QStringLiteral("减少页数"));
    m_fewerButton->setAutoRepeat(true);
    m_fewerButton->setFocusPolicy(Qt::NoFocus);
    m_moreButton->setObjectName(QStringLiteral("morePagesButton"));
    m_moreButton->setArrowType(Qt::RightArrow);
    m_moreButton->setAccessibleName(QStringLiteral("增加页数"));
    m_moreButton->setAutoRepeat(true);
    m_moreButton->setFocusPolicy(Qt::NoFocus);
    connect(m_fewerButton, &QToolButton::clicked, this, [this] { triggerAction(SliderSingleStepSub); });
    connect(m_moreButton, &QToolButton::clicked, this, [this] { triggerAction(SliderSingleStepAdd); });
}

void PageCountArrows::resizeEvent(QResizeEvent *event)
{
    QAbstractSlider::resizeEvent(event);
    const int half = width() / 2;
    m_fewerButton->setGeometry(0, 0, half, height());
    m_moreButton->setGeometry(half, 0, width() - half, height());
}
