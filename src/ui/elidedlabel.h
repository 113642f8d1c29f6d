// A one-line label that never draws past its own width: a text too long for it is cut with an
// ellipsis, and the whole text is then its tooltip. The accessible name holds the whole text too.
// Whatever it is given, it keeps no more than a few thousand characters, and lays out only the first
// few hundred: a value of megabytes costs it nothing.
#pragma once

#include <QLabel>

class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxShownChars = 256;
    static constexpr qsizetype MaxToolTipChars = 4096;

    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    void setText(const QString &text);
    // The text as given, up to MaxToolTipChars.
    QString fullText() const { return m_fullText; }
    // The part of the text that is drawn.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateToolTip();

    QString m_fullText;
};
