#include "ui/log_box.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace varne4::ui {

LogModel::LogModel(std::size_t maxLines, QObject* parent)
    : QAbstractListModel(parent), max_(maxLines == 0 ? 1 : maxLines) {}

int LogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= lines_.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return lines_[static_cast<std::size_t>(index.row())];
    return {};
}

void LogModel::dropFront() {
    beginRemoveRows({}, 0, 0);
    lines_.pop_front();
    endRemoveRows();
}

void LogModel::dropBack() {
    const int last = static_cast<int>(lines_.size()) - 1;
    beginRemoveRows({}, last, last);
    lines_.pop_back();
    endRemoveRows();
}

void LogModel::prepend(const QString& line) {
    beginInsertRows({}, 0, 0);
    lines_.push_front(line);
    endInsertRows();
    if (lines_.size() > max_) dropBack();
}

void LogModel::append(const QString& line) {
    const int row = static_cast<int>(lines_.size());
    beginInsertRows({}, row, row);
    lines_.push_back(line);
    endInsertRows();
    if (lines_.size() > max_) dropFront();
}

void LogModel::appendOldest(const QString& line) {
    if (lines_.size() >= max_) return;
    append(line);
}

LogBox::LogBox(std::size_t maxLines, QWidget* parent)
    : QListView(parent), model_(new LogModel(maxLines, this)), max_(maxLines) {
    setModel(model_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    auto* copyAction = new QAction(tr("&Copy"), this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &LogBox::copySelection);
    auto* selectAllAction = new QAction(tr("Select &All"), this);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    connect(selectAllAction, &QAction::triggered, this, &QListView::selectAll);
    addAction(copyAction);
    addAction(selectAllAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void LogBox::prependLine(const QString& line) {
    // Keep the operator's place when reading further down.
    if (isVisible() && verticalScrollBar()->value() > verticalScrollBar()->minimum()) {
        pendingShift_ += qMax(1, sizeHintForRow(0));
        scheduleScroll();
    }
    model_->prepend(line);
}

void LogBox::appendLine(const QString& line) {
    if (isVisible() && verticalScrollBar()->value() >= verticalScrollBar()->maximum()) {
        pendingToEnd_ = true;
        scheduleScroll();
    }
    model_->append(line);
}

void LogBox::scheduleScroll() {
    if (scrollScheduled_) return;
    scrollScheduled_ = true;
    QTimer::singleShot(0, this, &LogBox::applyScroll);
}

void LogBox::applyScroll() {
    scrollScheduled_ = false;
    executeDelayedItemsLayout();
    QScrollBar* bar = verticalScrollBar();
    if (pendingToEnd_)
        bar->setValue(bar->maximum());
    else if (pendingShift_ > 0)
        bar->setValue(bar->value() + pendingShift_);
    pendingShift_ = 0;
    pendingToEnd_ = false;
}

QString LogBox::lineAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= model_->size()) return {};
    return model_->line(static_cast<std::size_t>(row));
}

QString LogBox::text() const {
    QString s;
    for (std::size_t i = 0; i < model_->size(); ++i) {
        if (i) s += QLatin1Char('\n');
        s += model_->line(i);
    }
    return s;
}

void LogBox::copySelection() const {
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& i : rows)
        lines << i.data().toString();
    if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

} // namespace varne4::ui
