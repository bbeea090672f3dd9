#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace kw {

// The batch run's progress, shown on the banner between the toolbar and the
// settings bar: "Processing 3 of 120" over a progress bar while a run goes
// on, a one-line summary after it. Empty (and invisible) before the first
// run.
class CBatchProgress : public QWidget
{
    Q_OBJECT
public:
    explicit CBatchProgress(QWidget *parent = nullptr);

    void showRunning(int done, int total);
    void showStopping();
    void showSummary(const QString &text);
    void clear();

    QString text() const;
    bool barVisible() const;

private:
    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    int m_done = 0;
    int m_total = 0;
};

} // namespace kw
