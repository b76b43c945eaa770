#pragma once

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/SessionObserver.h"
#include "traffic/FrameSplitter.h"
#include "traffic/PlotSamples.h"

class PlotView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class TerminalSession;

// "波形显示": numbers in the received bytes drawn as curves against time, read from text lines
// or as a field of each binary frame (frames split by the session's frame gap). Bytes are
// parsed as they arrive and kept within the store's bound, paused or not; the view catches up
// at display rate. The curves export as CSV, the view as a PNG picture. A hidden window does
// not listen to the session.
class CPlotDlg : public QDialog, private SessionObserver {
    Q_OBJECT

public:
    enum Source { TextLines, BinaryFrames };
    static constexpr int kRefreshMs = 33;
    static constexpr int kMaxOffset = 4096;

    explicit CPlotDlg(TerminalSession& session, QWidget* parent = nullptr);
    ~CPlotDlg() override;

    // What the display-rate timer does: ends a frame once its gap has passed, shows what changed.
    void Refresh();
    void OnClear();
    void OnExportCsv();
    void OnExportPicture();

    const PlotStore& Store() const { return m_store; }
    // The curves' names as the CSV header gives them (GBK).
    std::vector<std::string> Names() const;
    std::uint64_t BadLines() const;
    PlotView* View() const { return m_view; }
    QComboBox* SourceBox() const { return m_source; }
    QSpinBox* OffsetBox() const { return m_offset; }
    QComboBox* TypeBox() const { return m_type; }
    QComboBox* OrderBox() const { return m_order; }
    QComboBox* SpanBox() const { return m_span; }
    QCheckBox* AutoScaleBox() const { return m_autoScale; }
    QLineEdit* MinimumEdit() const { return m_minimum; }
    QLineEdit* MaximumEdit() const { return m_maximum; }
    QCheckBox* PauseBox() const { return m_pause; }
    QLabel* StatusLabel() const { return m_status; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BytesReceived(const unsigned char* bytes, std::size_t count, const ReadTime& time) override;
    void Sent(const std::string&, std::int32_t) override { m_frames.Sent(); }

    QLayout* MakeControls();
    void ConnectControls();
    double SecondsOf(std::chrono::steady_clock::time_point time) const;
    std::chrono::milliseconds FrameGap() const;
    BinaryField Field() const;
    void ReceiveFramed(const unsigned char* bytes, std::size_t count, const ReadTime& time);
    void EndFrame();
    void ApplyScale();

    TerminalSession& m_session;
    const std::chrono::steady_clock::time_point m_opened = std::chrono::steady_clock::now();
    PlotStore m_store;
    NumberLineParser m_lines;
    std::vector<PlotSample> m_parsed;  // the samples of one piece of bytes, on their way to the store
    FrameSplitter m_frames;
    std::optional<double> m_frameStart;  // the seconds of the frame under way
    std::vector<unsigned char> m_frame;  // its bytes as far as the field reaches
    std::chrono::steady_clock::time_point m_lastRead;
    std::uint64_t m_badFrames = 0;
    bool m_changed = true;

    QComboBox* m_source;
    QSpinBox* m_offset;
    QComboBox* m_type;
    QComboBox* m_order;
    QComboBox* m_span;
    QCheckBox* m_autoScale;
    QLineEdit* m_minimum;
    QLineEdit* m_maximum;
    QCheckBox* m_pause;
    QLabel* m_status;
    PlotView* m_view;
    QTimer m_refreshTimer;
};
