// The domain table's filter bar: every filter control and the count of rows they leave. It tells the
// filter as one value whenever a control changes, and keeps what the user set for the next time.
#pragma once

#include "core/filter/domainfilter.h"
#include "core/table/domaintableproxy.h"

#include <QWidget>

#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QSpinBox;
class QToolButton;

class FilterBar : public QWidget
{
    Q_OBJECT
public:
    explicit FilterBar(QWidget *parent = nullptr);

    TableFilter filter() const;
    // Every control back to "all", told once.
    void clear();
    // The keyboard to the 包含 field, its text selected.
    void focusFilter();
    void showCounts(int shown, int all);

    // In the settings' current group. A restored filter that is not empty says so, with a button that
    // clears it, until the user changes the filter.
    void restoreSettings(const QSettings &settings);
    void saveSettings(QSettings &settings) const;

signals:
    void filterChanged(const TableFilter &filter);

private:
    void tellFilter();
    bool isCleared() const;
    QStringList checkedTags() const;
    void checkTags(const QStringList &tags);
    void showTagsChosen();
    // The text fields with the settings' key of each.
    std::vector<std::pair<QLineEdit *, QString>> textFields() const;

    QLineEdit *suffixEdit = nullptr;
    QSpinBox *minLengthSpin = nullptr;
    QSpinBox *maxLengthSpin = nullptr;
    QComboBox *kindCombo = nullptr;
    QToolButton *tagButton = nullptr; // its menu: every tag, several at once
    QLineEdit *labelPatternEdit = nullptr;
    QComboBox *filingCombo = nullptr;
    QSpinBox *minAgeSpin = nullptr;
    QSpinBox *maxAgeSpin = nullptr;
    QComboBox *elsewhereCombo = nullptr;
    QLabel *restoredLabel = nullptr;
    QPushButton *clearRestoredButton = nullptr;
    QPushButton *clearFilterButton = nullptr;
    QLineEdit *containsEdit = nullptr;
    QLineEdit *startsEdit = nullptr;
    QLineEdit *endsEdit = nullptr;
    QLineEdit *excludesEdit = nullptr;
    QLineEdit *patternEdit = nullptr;
    QLabel *countLabel = nullptr;
};
