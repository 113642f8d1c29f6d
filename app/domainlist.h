// The domain list: a plain, unsorted list box of text entries with at most one selected.
// Long collections reach 100,000 entries and more, so entries live in a flat model and are
// appended a page at a time.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>

class DomainListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QStringList &names() const { return m_names; }
    void append(const QStringList &names);
    void clear();

private:
    QStringList m_names;
};

class DomainList : public QListView
{
    Q_OBJECT
public:
    explicit DomainList(QWidget *parent = nullptr);

    int ListCount() const;
    // The selected entry's index, -1 when none is selected.
    int ListIndex() const;
    // Selects the entry at index (-1: none).
    void setListIndex(int index);
    QString List(int index) const;
    // The selected entry's text, empty when none is selected.
    QString text() const;
    const QStringList &entries() const { return m_model->names(); }

    void Clear();
    void AddItem(const QString &name);
    // Appends a block of entries at once: one model change, one repaint.
    void AddItems(const QStringList &names);

signals:
    // A mouse button went down on the list: which one, the shift keys held, and where, in the
    // list's own coordinates.
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &position);
    void dblClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    DomainListModel *m_model;
};
