#include "ui/elidedlabel.h"

#include "core/text/textops.h"

#include <QPainter>
#include <QStyle>

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent)
    : QLabel(parent)
{
    // Values come from web pages: never let one be taken for markup.
    setTextFormat(Qt::PlainText);
    setText(text);
}

void ElidedLabel::setText(const QString &text)
{
    m_fullText = TextOps::atMost(text, MaxToolTipChars);
    QLabel::setText(TextOps::atMost(m_fullText, MaxShownChars));
    setAccessibleName(m_fullText);
    updateToolTip();
}

QString ElidedLabel::shownText() const
{
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
    // A text cut before it reached the label ends in an ellipsis too.
    if (shown == text() && text().size() < m_fullText.size())
        return TextOps::atMost(shown, shown.size() - 1) + QChar(0x2026);
    return shown;
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip()
{
    setToolTip(shownText() == m_fullText ? QString() : m_fullText);
}
