// A window's commands: each an action with a shortcut that works wherever the focus is in the window,
// run by its button too when it has one, and taking its keys before a text field's own editing keys.
#pragma once

#include <QKeySequence>
#include <QObject>

#include <functional>

class QAction;
class QPushButton;
class QWidget;

class WindowCommands : public QObject
{
    Q_OBJECT
public:
    explicit WindowCommands(QWidget *window);

    // The button, if any, runs the command and is enabled with it.
    QAction *add(const char *objectName, const QString &text, const QKeySequence &keys, QPushButton *button,
        const std::function<void()> &run);
    // These keys stay the text fields' own (Ctrl+C copies a field's text).
    void leaveToFields(QAction *action) { m_leftToFields = action; }
    // The text fields of the window, as they are now, give the commands' keys to the commands.
    void watchTextFields();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *const m_window;
    QAction *m_leftToFields = nullptr;
};
