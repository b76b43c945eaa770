#include "app/SerialDebugApp.h"

#include "app/SerialDebugDlg.h"
#include "platform/ProgramDir.h"

bool CSerialDebugApp::InitInstance()
{
    m_programDir = ProgramDirectory();
    CSerialDebugDlg dialog(m_programDir);
    dialog.DoModal();
    return false;
}
