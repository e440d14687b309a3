#pragma once
// A read-only box of lines that grows at either end and keeps only its newest
// lines, so a station left running for weeks keeps a steady footprint. A list
// view over a deque: adding a line costs the same however long the log is (a
// text document relays out every line whenever a line is added).

#include <QAbstractListModel>
#include <QListView>
#include <QString>

#include <cstddef>
#include <deque>

namespace varne4::ui {

class LogModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit LogModel(std::size_t maxLines, QObject* parent = nullptr);

    void prepend(const QString& line);
    void append(const QString& line);
    // A line at the bottom of a newest-on-top log; past the cap it is the one that goes.
    void appendOldest(const QString& line);

    std::size_t size() const { return lines_.size(); }
    const QString& line(std::size_t i) const { return lines_[i]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void dropFront();
    void dropBack();

    std::size_t max_;
    std::deque<QString> lines_;
};

class LogBox : public QListView {
    Q_OBJECT
public:
    explicit LogBox(std::size_t maxLines, QWidget* parent = nullptr);

    // Newest on top: the line goes first; past the cap the bottom line goes.
    void prependLine(const QString& line);
    // Newest at the end: the line goes last; past the cap the top line goes.
    void appendLine(const QString& line);
    void appendOldest(const QString& line) { model_->appendOldest(line); }

    std::size_t lineCount() const { return model_->size(); }
    std::size_t maxLines() const { return max_; }
    QString lineAt(int row) const;
    // The lines as a text box would hold them, joined by line breaks.
    QString text() const;
    // The selected lines, top to bottom, to the clipboard.
    void copySelection() const;

private:
    // Scrolling waits for the next pass of the event loop, so a burst of lines
    // costs one layout, not one per line.
    void scheduleScroll();
    void applyScroll();

    LogModel* model_;
    std::size_t max_;
    int pendingShift_ = 0;
    bool pendingToEnd_ = false;
    bool scrollScheduled_ = false;
};

} // namespace varne4::ui
