// The main window's commands beyond its own: the other checks, finding, sending files, the
// sending options, more windows, the timeline, the plot and the port map. Each is wired to the class that does the work.
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/FileSendDlg.h"
#include "app/FindDlg.h"
#include "app/PlotDlg.h"
#include "app/PortKeeper.h"
#include "app/PortMapDlg.h"
#include "app/SendSettingsDlg.h"
#include "app/SerialDebugDlg.h"
#include "app/WindowGroup.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

// A check of the catalogue, appended as "CRC16" appends its own.
void CSerialDebugDlg::OnCheck(const CheckDefinition& check)
{
    AppendCheckToSendText([&check](const unsigned char* bytes, std::size_t count) {
        return CheckBytes(check, bytes, count);
    });
}

void CSerialDebugDlg::AppendCheckToSendText(const CheckFunction& check)
{
    UpdateData(true);
    const CheckAppendResult result = AppendCheck(m_sendText, m_hexSendBox->isChecked(), check);
    switch (result.status) {
    case CheckAppendResult::EmptyText:
        ShowMessage(this, QStringLiteral("要发送的数据为空！不能添加校验！"));
        return;
    case CheckAppendResult::NotRepresentable: {
        QStringList bytes;
        for (const unsigned char byte : result.check) {
            bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        }
        ShowMessage(this, QStringLiteral("校验字节 %1 不是可以写在发送区里的字符，不能以字符串添加。"
                                         "请勾选“HEX发送”后再添加校验。")
                              .arg(bytes.join(QLatin1Char(' '))));
        return;
    }
    case CheckAppendResult::Appended:
        m_sendText = result.text;
        UpdateData(false);
        return;
    }
}

void CSerialDebugDlg::ShowSendCount() { m_sendCountLabel->setText(QStringLiteral("发送：%1").arg(m_session.SendCounter())); }

void CSerialDebugDlg::FileSendChanged() { ShowSendCount(); }

void CSerialDebugDlg::PassedOn() { ShowSendCount(); }

// "发送文件...": the progress shows until the send ends or is cancelled.
void CSerialDebugDlg::OnSendFile()
{
    const QString path =
        AskFilePath(this, {FileDialogKind::Open, QStringLiteral("所有文件(*)"), QString(), false});
    if (path.isEmpty() || !m_session.SendFile(path.toStdString(), m_fileSendOptions)) {
        return;
    }
    CFileSendDlg progress(m_session, QFileInfo(path).fileName(), this);
    if (m_session.FileSending() != nullptr) {
        progress.exec();
    }
}

void CSerialDebugDlg::OnSendSettings()
{
    CSendSettingsDlg dialog(m_session.SendOptions(), m_fileSendOptions, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_session.SetTextSendOptions(dialog.TextOptions());
        m_fileSendOptions = dialog.FileOptions();
    }
}

// "波形显示": one plot window per main window, of this window's received data.
void CSerialDebugDlg::OnPlot()
{
    if (m_plotDlg == nullptr) {
        m_plotDlg = new CPlotDlg(m_session, this);
    }
    m_plotDlg->show();
    m_plotDlg->raise();
    m_plotDlg->activateWindow();
}

// "端口映射": what "确定" wrote shows at once in the port list of every window.
void CSerialDebugDlg::OnPortMap()
{
    CPortMapDlg dialog(ConfigPath(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    for (CSerialDebugDlg* window : m_group.Windows()) {
        window->PortMapChanged();
    }
}

void CSerialDebugDlg::PortMapChanged() { m_portKeeper->RefreshPortList(); }

void CSerialDebugDlg::OnFind()
{
    if (m_findDlg == nullptr) {
        m_findDlg = new CFindDlg(m_session.Area(), m_receiveArea, this);
    }
    m_findDlg->show();
    m_findDlg->raise();
    m_findDlg->activateWindow();
    m_findDlg->PatternEdit()->setFocus();
    m_findDlg->PatternEdit()->selectAll();
}

// "查找下一个" (F3): the next match of the pattern, or the find window when there is none yet.
void CSerialDebugDlg::OnFindNext()
{
    if (m_findDlg == nullptr || m_findDlg->PatternEdit()->text().isEmpty()) {
        OnFind();
        return;
    }
    m_findDlg->show();
    m_findDlg->FindNext();
}

void CSerialDebugDlg::OnNewWindow()
{
    m_group.OpenWindow();
}

void CSerialDebugDlg::OnTimeline()
{
    m_group.ShowTimeline(this);
}
