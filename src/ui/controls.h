// Controls made the same way in every window: named for tests and screen readers, buttons that never take
// Enter for themselves, captions that lead the keyboard to their field.
#pragma once

#include <QLabel>
#include <QPushButton>

namespace Controls {

template <typename T> T *named(T *widget, const char *objectName, const QString &accessibleName)
{
    widget->setObjectName(QLatin1String(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
}

inline QPushButton *button(QWidget *parent, const char *objectName, const QString &caption)
{
    auto *pushButton = named(new QPushButton(caption, parent), objectName, caption);
    pushButton->setAutoDefault(false);
    return pushButton;
}

inline QLabel *caption(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace Controls
