#include "ui/windowcommands.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <algorithm>

WindowCommands::WindowCommands(QWidget *window)
    : QObject(window)
    , m_window(window)
{ }

QAction *WindowCommands::add(const char *objectName, const QString &text, const QKeySequence &keys,
    QPushButton *button, const std::function<void()> &run)
{
    auto *action = new QAction(text, m_window);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    m_window->addAction(action);
    connect(action, &QAction::triggered, m_window, run);
    if (button) {
        const QString shortcut = keys.toString(QKeySequence::NativeText);
        button->setToolTip(QStringLiteral("%1 (%2)").arg(text, shortcut));
        button->setAccessibleDescription(QStringLiteral("快捷键 %1").arg(shortcut));
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button, [action, button] { button->setEnabled(action->isEnabled()); });
    }
    return action;
}

void WindowCommands::watchTextFields()
{
    for (QLineEdit *field : m_window->findChildren<QLineEdit *>())
        field->installEventFilter(this);
}

// A text field would take Ctrl+E (end of line), Ctrl+D, ... as editing keys: left unaccepted, the override
// lets the window's command run.
bool WindowCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence keys(static_cast<QKeyEvent *>(event)->keyCombination());
        const QList<QAction *> commands = m_window->actions();
        if (std::any_of(commands.cbegin(), commands.cend(), [this, &keys](const QAction *action) {
                return action != m_leftToFields && action->isEnabled() && action->shortcut() == keys;
            })) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
