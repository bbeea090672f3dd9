#include "app/batch_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kw {

CBatchProgress::CBatchProgress(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("batchProgress"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("progressLabel"));
    m_label->setStyleSheet(QStringLiteral("color: #e8edf2; background: transparent;"));
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(6);
    m_bar->setStyleSheet(QStringLiteral(
        "QProgressBar { background: rgba(255, 255, 255, 40); border: none; border-radius: 3px; }"
        "QProgressBar::chunk { background: #34b3a0; border-radius: 3px; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addStretch();
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addStretch();
    clear();
}

void CBatchProgress::showRunning(int done, int total)
{
    m_done = done;
    m_total = total;
    // The photo being worked on is the one after those done.
    const int current = total == 0 ? 0 : std::min(done + 1, total);
    m_label->setText(QStringLiteral("Processing %1 of %2").arg(current).arg(total));
    m_bar->setRange(0, std::max(total, 1));
    m_bar->setValue(done);
    m_bar->setVisible(true);
    setVisible(true);
}

void CBatchProgress::showStopping()
{
    m_label->setText(QStringLiteral("Stopping after the photos in progress…"));
    setVisible(true);
}

void CBatchProgress::showSummary(const QString &text)
{
    m_label->setText(text);
    m_bar->setVisible(false);
    setVisible(true);
}

void CBatchProgress::clear()
{
    m_label->clear();
    m_bar->setVisible(false);
    setVisible(false);
}

QString CBatchProgress::text() const
{
    return m_label->text();
}

bool CBatchProgress::barVisible() const
{
    return m_bar->isVisibleTo(this) && isVisibleTo(parentWidget());
}

} // namespace kw
