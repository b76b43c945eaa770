#include "app/FileSendDlg.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>

#include "session/TerminalSession.h"

namespace {

QString Bytes(std::uint64_t count) { return QLocale().formattedDataSize(static_cast<qint64>(count)); }

}  // namespace

CFileSendDlg::CFileSendDlg(TerminalSession& session, const QString& fileName, QWidget* parent)
    : QDialog(parent),
      m_session(session),
      m_text(new QLabel),
      m_bar(new QProgressBar),
      m_cancel(new QPushButton(QStringLiteral("取消")))
{
    setWindowTitle(QStringLiteral("发送文件 - %1").arg(fileName));
    m_bar->setRange(0, 1000);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_session.CancelFileSend(); });
    resize(420, sizeHint().height());
    m_session.AddObserver(this);
    FileSendChanged();
}

CFileSendDlg::~CFileSendDlg() { m_session.RemoveObserver(this); }

void CFileSendDlg::FileSendChanged()
{
    const FileSend* send = m_session.FileSending();
    if (send == nullptr) {
        accept();
        return;
    }
    if (m_sinceShown.isValid() && m_sinceShown.elapsed() < 100) {
        return;
    }
    m_sinceShown.start();
    const std::uint64_t size = send->Size();
    const std::uint64_t written = send->Written();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - send->Started()).count();
    const double rate = seconds > 0 ? static_cast<double>(written) / seconds : 0;
    const QString left = rate > 0 ? QStringLiteral("%1 秒").arg(static_cast<double>(size - written) / rate, 0, 'f', 1)
                                   : QStringLiteral("—");
    m_bar->setValue(size == 0 ? 1000 : static_cast<int>(written * 1000 / size));
    m_text->setText(QStringLiteral("已发送 %1 / %2（%3%），%4/秒，剩余 %5")
                        .arg(Bytes(written), Bytes(size))
                        .arg(size == 0 ? 100.0 : 100.0 * static_cast<double>(written) / static_cast<double>(size), 0, 'f', 1)
                        .arg(Bytes(static_cast<std::uint64_t>(rate)), left));
}
