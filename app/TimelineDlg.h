#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "session/Timeline.h"

class QComboBox;
class QPushButton;
class QTableView;

// The rows of the timeline window: the frames that pass its filters, found again in the
// timeline by their time and serial (a frame dropped since shows empty until the next refresh).
class TimelineRows : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { TimeColumn, SinceColumn, PortColumn, DirectionColumn, HexColumn, TextColumn, ColumnCount };
    // The bytes of a frame its row shows; the rest is elided.
    static constexpr std::size_t kShownBytes = 64;

    explicit TimelineRows(const Timeline& timeline, QObject* parent = nullptr);

    // Takes the frames again: of `port` only unless it is 0, received, sent or both.
    void Refresh(int port, std::optional<bool> sent);
    // The frames of these rows that are still there, in order.
    std::vector<const TimelineFrame*> Frames(const std::vector<int>& rows) const;
    const std::vector<int>& PortsSeen() const { return m_ports; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        std::chrono::steady_clock::time_point time;
        std::uint64_t serial;
        int port;
    };

    const Timeline& m_timeline;
    std::vector<Row> m_rows;
    std::vector<int> m_ports;  // every port seen, in the order it was first seen: its colour
};

// "合并视图": the frames of every window's port in the order they happened, each port in a colour
// of its own, filtered by port and direction. It catches up with the timeline at display rate
// (never per frame), unless paused; it can be cleared, its selected rows copied and its rows
// exported as CSV.
class CTimelineDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 100;

    explicit CTimelineDlg(Timeline& timeline, QWidget* parent = nullptr);

    // Catches up with the timeline now.
    void Refresh();
    QTableView* List() const { return m_list; }
    TimelineRows& Rows() { return m_rows; }
    QComboBox* PortFilter() const { return m_portFilter; }
    QComboBox* DirectionFilter() const { return m_directionFilter; }
    QPushButton* PauseButton() const { return m_pause; }

    // The selected rows as lines of tab-separated fields, as "复制" puts them on the clipboard.
    QString SelectedRowsText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void RefreshIfChanged();
    void UpdatePortFilter();
    void OnClear();
    void OnCopy();
    void OnExport();

    Timeline& m_timeline;
    TimelineRows m_rows;
    QTableView* m_list;
    QComboBox* m_portFilter;
    QComboBox* m_directionFilter;
    QPushButton* m_pause;
    QTimer m_refreshTimer;
    std::uint64_t m_shownVersion = 0;
};
